#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

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

// "No web browser could be started to show TARGET."
QString NoBrowserMessage(const QByteArray& target);

// The one argument `xdg-open` gets for a target: the text itself, or for a
// path that is not UTF-8 a file address with every byte escaped.
QString LauncherArgument(const QByteArray& target);

// Starts `xdg-open` with the target as its one argument, never through a
// shell. `xdg-open` may start but find no browser; its exit code says so
// later, and `onNoBrowser` is then told NoBrowserMessage(target), from the
// event loop.
class SystemBrowserLauncher final : public BrowserLauncher {
public:
    explicit SystemBrowserLauncher(std::function<void(const QString&)> onNoBrowser = {});
    bool OpenInBrowser(const QByteArray& target) override;
    // Whether an `xdg-open` started here has not ended yet.
    bool busy() const;

private:
    std::function<void(const QString&)> onNoBrowser_;
    // The parent of the `xdg-open` runs not yet ended. Going with the
    // launcher ends such a run, but not a browser it started.
    QObject runs_;
};

}  // namespace velmora
