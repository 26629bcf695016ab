#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// Hands a file path or web address to the desktop's program for HTML files
// and returns at once: false when that program could not be started. Tests
// put a recording launcher in its place.
class BrowserLauncher {
public:
    virtual ~BrowserLauncher() = default;
    virtual bool OpenInBrowser(const QByteArray& target) = 0;
};

// Opens the target, or raises "No web browser could be started to show %1."
// so that a command which shows nothing says why.
void ShowInBrowser(BrowserLauncher& launcher, const QByteArray& target);

// The one argument `xdg-open` gets for a target: the text itself, or for a
// path that is not UTF-8 a file address with every byte escaped.
QString LauncherArgument(const QByteArray& target);

// Starts `xdg-open` detached with the target as its one argument, never
// through a shell.
class SystemBrowserLauncher final : public BrowserLauncher {
public:
    bool OpenInBrowser(const QByteArray& target) override;
};

}  // namespace velmora
