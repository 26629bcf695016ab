#pragma once

#include <QByteArrayList>

#include "generate/BrowserLauncher.h"

namespace velmora::test {

// Keeps every target instead of starting a browser.
class RecordingLauncher final : public BrowserLauncher {
public:
    bool OpenInBrowser(const QByteArray& target) override
    {
        targets.append(target);
        return starts;
    }
    bool starts = true;  // false: as on a system without a browser
    QByteArrayList targets;
};

}  // namespace velmora::test
