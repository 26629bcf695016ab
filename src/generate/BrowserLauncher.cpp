#include "BrowserLauncher.h"

#include <QFile>
#include <QProcess>
#include <algorithm>

#include "base/Errors.h"
#include "base/FolderFile.h"

namespace velmora {

SystemBrowserLauncher::SystemBrowserLauncher(std::function<void(const QString&)> onNoBrowser)
    : onNoBrowser_(std::move(onNoBrowser))
{
}

bool SystemBrowserLauncher::OpenInBrowser(const QByteArray& target)
{
    auto* run = new QProcess(&runs_);
    run->setProgram(QStringLiteral("xdg-open"));
    // The target is a path or an address in the core's bytes; decodeName turns
    // it into the file name the system knows. A path that is not UTF-8 would
    // lose bytes on the way, so it goes as a file address whose escapes keep
    // every byte.
    run->setArguments({LauncherArgument(target)});
    run->setStandardOutputFile(QProcess::nullDevice());
    run->setStandardErrorFile(QProcess::nullDevice());
    run->start();
    if (!run->waitForStarted()) {
        delete run;
        return false;
    }
    QObject::connect(run, &QProcess::finished, &runs_,
                     [this, run, target](int exitCode, QProcess::ExitStatus status) {
                         run->deleteLater();
                         // Any exit but success means nothing is shown: no
                         // program for the target (3), or the one found failed.
                         if (status == QProcess::NormalExit && exitCode != 0 && onNoBrowser_)
                             onNoBrowser_(NoBrowserMessage(target));
                     });
    return true;
}

bool SystemBrowserLauncher::busy() const
{
    const QList<QProcess*> running = runs_.findChildren<QProcess*>();
    return std::any_of(running.begin(), running.end(),
                       [](const QProcess* run) { return run->state() != QProcess::NotRunning; });
}

QString NoBrowserMessage(const QByteArray& target)
{
    return QStringLiteral("No web browser could be started to show %1.").arg(visibleName(target));
}

void ShowInBrowser(BrowserLauncher& launcher, const QByteArray& target)
{
    if (!launcher.OpenInBrowser(target)) throw VelmoraError(NoBrowserMessage(target));
}

QString LauncherArgument(const QByteArray& target)
{
    if (target.startsWith('/') && !QByteArrayView(target).isValidUtf8())
        return QString::fromLatin1("file://" + target.toPercentEncoding("/"));
    return QFile::decodeName(target);
}

}  // namespace velmora
