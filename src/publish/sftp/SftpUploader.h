#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QString>
#include <functional>
#include <vector>

#include "publish/Publishing.h"
#include "publish/sftp/SftpWire.h"

namespace velmora {

class SftpSession;

// What an upload reports as it goes, on the thread that runs it.
struct SftpUploadEvents {
    std::function<void(const QString&)> status;
    std::function<void(int index, int count)> fileStarted;
    std::function<void(qint64 bytes)> fileBytesSent;
    std::function<void(int index)> fileConfirmed;
};

// Carries out an upload plan over an open SFTP session. Each missing level
// of a file's folder is created first. Each file is written under a
// temporary name in its folder and renamed over its final name once the
// server has confirmed every byte, so the final name never shows a part of
// a file; a failure or a stop removes the temporary file again. Writes are
// pipelined: several requests are on their way before the first reply.
class SftpUploader {
public:
    SftpUploader(SftpSession& session, SftpUploadEvents events);

    void upload(const std::vector<UploadItem>& plan);

    // The size of one write request and the bytes kept on their way.
    quint32 chunkSize() const { return chunk_; }
    static constexpr qint64 kBytesInFlight = 2 * 1024 * 1024;

private:
    void uploadFile(const UploadItem& item);
    void ensureFolder(const QByteArray& folder);
    // Stats a path: its attributes, or the status that said why not.
    std::optional<sftp::Attributes> stat(const QByteArray& path, sftp::StatusReply* failure);
    sftp::StatusReply simpleRequest(quint32 id, const QByteArray& packet);
    void sendFileData(const UploadItem& item, QFile& file, const QByteArray& handle,
                      const QByteArray& folder);
    void replaceTarget(const QByteArray& temp, const QByteArray& target, const QByteArray& folder);
    // After a failed write: the words for it, naming a full disk when the
    // folder's file system has less room left than the file still needed.
    QString writeFailure(const sftp::StatusReply& status, const QByteArray& folder,
                         const QByteArray& target, qint64 stillNeeded);
    void removeQuietly(const QByteArray& handle, const QByteArray& temp);
    void reportBytes(qint64 bytes, bool final);

    SftpSession& session_;
    SftpUploadEvents events_;
    QSet<QByteArray> folders_;  // known to exist
    quint32 chunk_ = 32768;
    bool posixRename_ = false;
    bool statvfs_ = false;
    bool handleOpen_ = false;  // the temporary file's handle, not yet closed
    QElapsedTimer sinceReport_;
};

// The folder part of a remote name ("" for a bare name, "/" for the root).
QByteArray remoteFolderOf(const QByteArray& remoteName);
// The levels of a remote folder from the top, each a path on its own:
// "a/b" gives "a", "a/b"; "/x//y/" gives "/x", "/x/y".
QList<QByteArray> remoteFolderLevels(const QByteArray& folder);
// The words for an SFTP status, as short as a user needs them.
QString describeStatus(const sftp::StatusReply& status);

}  // namespace velmora
