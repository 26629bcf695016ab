#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// Hands a file path or web address to the desktop's program for HTML files
// and returns at once, reporting nothing. Tests put a recording launcher in
// its place.
class BrowserLauncher {
public:
    virtual ~BrowserLauncher() = default;
    virtual void OpenInBrowser(const QByteArray& target) = 0;
};

// The one argument `xdg-open` gets for a target: the text itself, or for a
// path that is not UTF-8 a file address with every byte escaped.
QString LauncherArgument(const QByteArray& target);

// Starts `xdg-open` detached with the target as its one argument, never
// through a shell.
class SystemBrowserLauncher final : public BrowserLauncher {
public:
    void OpenInBrowser(const QByteArray& target) override;
};

}  // namespace velmora
