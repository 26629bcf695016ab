#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <functional>
#include <list>
#include <vector>

#include "publish/Publishing.h"
#include "publish/UploadOrder.h"
#include "publish/sftp/SftpRequests.h"
#include "publish/sftp/SftpWire.h"

namespace velmora {

class SftpSession;

// What an upload reports as it goes, on the thread that runs it.
struct SftpUploadEvents {
    std::function<void(const QString&)> status;
    std::function<void(int index, int count)> fileStarted;
    std::function<void(int index, qint64 bytes)> fileBytesSent;
    std::function<void(int index)> fileConfirmed;
    std::function<void(const QByteArray& remoteName)> fileRemoved;
};

// Carries out an upload plan over an open SFTP session. Each missing level
// of a file's folder is created first; in a folder that was there already,
// the temporary files an upload cut off earlier left behind are removed
// first. Each file is written under a temporary name in its folder and
// renamed over its final name once the server has confirmed every byte and
// holds the file at its full size, so the final name never shows a part of
// a file; a failure or a stop removes the temporary files again.
//
// Up to `filesInFlight` files go at once, their requests pipelined on the
// one connection (open, writes, size and close, rename), so that a distant
// server is not waited for file by file, in the order UploadOrder allows.
class SftpUploader {
public:
    SftpUploader(SftpSession& session, SftpUploadEvents events, int filesInFlight = 1);
    ~SftpUploader();

    // Uploads each file of `plan` that `order` holds unconfirmed, confirming
    // each in `order` as the server confirms it; the first failure ends it
    // and propagates.
    void upload(const std::vector<UploadItem>& plan, UploadOrder& order);
    // Removes files from the server; a name that is gone already counts as
    // removed.
    void remove(const QByteArrayList& remoteNames);

    // The size of one write request and the bytes kept on their way.
    quint32 chunkSize() const { return chunk_; }
    static constexpr qint64 kBytesInFlight = 2 * 1024 * 1024;

private:
    struct Transfer;

    void startFiles(const std::vector<UploadItem>& plan, const UploadOrder& order,
                    std::list<Transfer>& active);
    void begin(Transfer& transfer, int count);
    void feed(Transfer& transfer);
    void onWritten(Transfer& transfer, quint32 bytes, const sftp::Packet& reply);
    // Moves a transfer on once its replies are in; throws its failure.
    // True when it is confirmed.
    bool advance(Transfer& transfer);
    void tidy(std::list<Transfer>& active) noexcept;

    void ensureFolder(const QByteArray& folder);
    void removeLeftovers(const QByteArray& folder);
    QByteArrayList listFolder(const QByteArray& folder);
    // Stats a path: its attributes, or the status that said why not.
    std::optional<sftp::Attributes> stat(const QByteArray& path, sftp::StatusReply* failure);
    sftp::StatusReply simpleRequest(const SftpRequests::Build& build);
    void replaceTarget(const QByteArray& temp, const QByteArray& target, const QByteArray& folder);
    // After a failed write: the words for it, naming a full disk when the
    // folder's file system has less room left than the file still needed.
    QString writeFailure(const sftp::StatusReply& status, const QByteArray& folder,
                         const QByteArray& target, qint64 stillNeeded);
    void reportBytes(int index, qint64 bytes, bool final);

    SftpSession& session_;
    SftpRequests requests_;
    SftpUploadEvents events_;
    int filesInFlight_ = 1;
    QSet<QByteArray> folders_;  // known to exist
    QSet<QByteArray> tidied_;   // folders without leftovers of ours
    quint32 chunk_ = 32768;
    qint64 bytesInFlight_ = 0;
    bool posixRename_ = false;
    bool statvfs_ = false;
    QElapsedTimer sinceReport_;
};

// The folder part of a remote name ("" for a bare name, "/" for the root).
QByteArray remoteFolderOf(const QByteArray& remoteName);
// The levels of a remote folder from the top, each a path on its own:
// "a/b" gives "a", "a/b"; "/x//y/" gives "/x", "/x/y".
QList<QByteArray> remoteFolderLevels(const QByteArray& folder);
// The words for an SFTP status, as short as a user needs them.
QString describeStatus(const sftp::StatusReply& status);
// Whether a name is one this uploader gives its temporary files
// (".velmora-" and 16 hexadecimal digits, ".part").
bool isTemporaryUploadName(const QByteArray& name);

}  // namespace velmora
