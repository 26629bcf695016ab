#pragma once

#include <QByteArrayList>

#include "generate/BrowserLauncher.h"

namespace velmora::test {

// Keeps every target instead of starting a browser.
class RecordingLauncher final : public BrowserLauncher {
public:
    void OpenInBrowser(const QByteArray& target) override { targets.append(target); }
    QByteArrayList targets;
};

}  // namespace velmora::test
