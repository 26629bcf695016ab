#include "BrowserLauncher.h"

#include <QFile>
#include <QProcess>

namespace velmora {

void SystemBrowserLauncher::OpenInBrowser(const QByteArray& target)
{
    // The target is a path or an address in the core's bytes; decodeName turns
    // it into the file name the system knows.
    QProcess::startDetached(QStringLiteral("xdg-open"), {QFile::decodeName(target)});
}

}  // namespace velmora
