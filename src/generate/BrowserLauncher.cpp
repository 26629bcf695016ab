#include "BrowserLauncher.h"

#include <QFile>
#include <QProcess>

namespace velmora {

void SystemBrowserLauncher::OpenInBrowser(const QByteArray& target)
{
    // The target is a path or an address in the core's bytes; decodeName turns
    // it into the file name the system knows. A path that is not UTF-8 would
    // lose bytes on the way, so it goes as a file address whose escapes keep
    // every byte.
    QProcess::startDetached(QStringLiteral("xdg-open"), {LauncherArgument(target)});
}

QString LauncherArgument(const QByteArray& target)
{
    if (target.startsWith('/') && !QByteArrayView(target).isValidUtf8())
        return QString::fromLatin1("file://" + target.toPercentEncoding("/"));
    return QFile::decodeName(target);
}

}  // namespace velmora
