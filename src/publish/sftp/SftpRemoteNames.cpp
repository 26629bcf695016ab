// The remote folders and names an SFTP upload works with.

#include <QRegularExpression>

#include "publish/sftp/SftpUploader.h"

namespace velmora {

QByteArray remoteFolderOf(const QByteArray& remoteName)
{
    const qsizetype slash = remoteName.lastIndexOf('/');
    if (slash < 0) return {};
    if (slash == 0) return "/";
    return remoteName.left(slash);
}

QList<QByteArray> remoteFolderLevels(const QByteArray& folder)
{
    QList<QByteArray> levels;
    QByteArray path = folder.startsWith('/') ? QByteArray("/") : QByteArray();
    for (const QByteArray& part : folder.split('/')) {
        if (part.isEmpty()) continue;
        if (!path.isEmpty() && !path.endsWith('/')) path += '/';
        path += part;
        levels.append(path);
    }
    return levels;
}

bool isTemporaryUploadName(const QByteArray& name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.velmora-[0-9a-f]{16}\\.part$"));
    return pattern.match(QString::fromLatin1(name)).hasMatch();
}

}  // namespace velmora
