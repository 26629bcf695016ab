#include "BrowserLauncher.h"

#include <QFile>
#include <QProcess>

#include "base/Errors.h"
#include "base/FolderFile.h"

namespace velmora {

bool SystemBrowserLauncher::OpenInBrowser(const QByteArray& target)
{
    // The target is a path or an address in the core's bytes; decodeName turns
    // it into the file name the system knows. A path that is not UTF-8 would
    // lose bytes on the way, so it goes as a file address whose escapes keep
    // every byte.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {LauncherArgument(target)});
}

void ShowInBrowser(BrowserLauncher& launcher, const QByteArray& target)
{
    if (!launcher.OpenInBrowser(target))
        throw VelmoraError(QStringLiteral("No web browser could be started to show %1.")
                               .arg(visibleName(target)));
}

QString LauncherArgument(const QByteArray& target)
{
    if (target.startsWith('/') && !QByteArrayView(target).isValidUtf8())
        return QString::fromLatin1("file://" + target.toPercentEncoding("/"));
    return QFile::decodeName(target);
}

}  // namespace velmora
