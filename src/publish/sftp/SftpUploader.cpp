#include "publish/sftp/SftpUploader.h"

#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "publish/FtpErrors.h"
#include "publish/sftp/SftpSession.h"

namespace velmora {

namespace {

// OpenSSH takes packets up to 256 KiB; a write leaves room for its fields.
constexpr quint32 kLargestChunk = 255 * 1024;
// Every server takes writes of this size.
constexpr quint32 kSmallestChunk = 32 * 1024;
// How long a stopped upload may still spend removing its temporary file.
constexpr int kTidyAfterStopMs = 500;
// Progress goes to the window at most this often.
constexpr int kReportEveryMs = 20;

QString shown(const QByteArray& remote) { return QString::fromUtf8(remote); }

QString folderShown(const QByteArray& folder)
{
    return folder.isEmpty() ? QStringLiteral("the login folder") : QStringLiteral("'%1'").arg(shown(folder));
}

// A name in the same folder that no page or image uses; dotted so that a
// listing hides it.
QByteArray temporaryNameIn(const QByteArray& folder)
{
    const quint64 random = QRandomGenerator::global()->generate64();
    QByteArray name = ".velmora-" + QByteArray::number(random, 16).rightJustified(16, '0') + ".part";
    if (folder.isEmpty()) return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

void checkRemoteName(const QByteArray& remoteName)
{
    const QByteArray name = remoteName.mid(remoteName.lastIndexOf('/') + 1);
    // A NUL would end the name early at the server; CR and LF have no place
    // in a file name.
    const bool control = remoteName.contains('\0') || remoteName.contains('\r') ||
                         remoteName.contains('\n');
    if (control || name.isEmpty() || name == "." || name == "..")
        throw SftpError(QStringLiteral("'%1' is not a valid name for a file on the server")
                            .arg(shown(remoteName)));
}

}  // namespace

// ------------------------------------------------------------- helpers

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

QString describeStatus(const sftp::StatusReply& status)
{
    switch (status.code) {
    case sftp::kPermissionDenied: return QStringLiteral("permission denied");
    case sftp::kNoSuchFile: return QStringLiteral("no such file or folder");
    case sftp::kNoSpaceOnFilesystem: return QStringLiteral("the server's disk is full");
    case sftp::kQuotaExceeded: return QStringLiteral("your disk quota on the server is used up");
    case sftp::kOpUnsupported: return QStringLiteral("the server does not support this");
    default: break;
    }
    const QString message = QString::fromUtf8(status.message).trimmed();
    // OpenSSH sends "Failure" for everything it has no code for.
    if (message.isEmpty() || message.compare(QLatin1String("Failure"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("the server refused (SFTP status %1)").arg(status.code);
    return QStringLiteral("the server said: %1").arg(message.left(200));
}

// ------------------------------------------------------------ uploader

SftpUploader::SftpUploader(SftpSession& session, SftpUploadEvents events)
    : session_(session), events_(std::move(events))
{
    posixRename_ = session_.hasExtension("posix-rename@openssh.com", "1");
    statvfs_ = session_.hasExtension("statvfs@openssh.com", "2");
    if (session_.hasExtension("limits@openssh.com", "1")) {
        const quint32 id = session_.nextId();
        const std::optional<sftp::Limits> limits =
            sftp::parseLimits(session_.request(id, sftp::limitsRequest(id)));
        if (limits && limits->maxWriteLength > 0)
            chunk_ = static_cast<quint32>(
                std::clamp<quint64>(limits->maxWriteLength, kSmallestChunk, kLargestChunk));
    }
}

void SftpUploader::upload(const std::vector<UploadItem>& plan)
{
    const int count = static_cast<int>(plan.size());
    for (int i = 0; i < count; ++i) {
        const UploadItem& item = plan[static_cast<std::size_t>(i)];
        events_.fileStarted(i, count);
        events_.status(shown(item.remoteName));
        uploadFile(item);
        events_.fileConfirmed(i);
    }
}

sftp::StatusReply SftpUploader::simpleRequest(quint32 id, const QByteArray& packet)
{
    const std::optional<sftp::StatusReply> status = sftp::parseStatus(session_.request(id, packet));
    if (!status) throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
    return *status;
}

std::optional<sftp::Attributes> SftpUploader::stat(const QByteArray& path, sftp::StatusReply* failure)
{
    const quint32 id = session_.nextId();
    const sftp::Packet reply = session_.request(id, sftp::pathRequest(sftp::kStat, id, path));
    if (std::optional<sftp::Attributes> attributes = sftp::parseAttrs(reply)) return attributes;
    const std::optional<sftp::StatusReply> status = sftp::parseStatus(reply);
    if (!status || status->code == sftp::kOk)
        throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
    *failure = *status;
    return std::nullopt;
}

void SftpUploader::ensureFolder(const QByteArray& folder)
{
    if (folder.isEmpty() || folders_.contains(folder)) return;
    sftp::StatusReply failure;
    // Mostly the folder is there already, and one look settles it.
    if (std::optional<sftp::Attributes> attributes = stat(folder, &failure);
        attributes && attributes->isDirectory()) {
        folders_.insert(folder);
        return;
    }
    for (const QByteArray& level : remoteFolderLevels(folder)) {
        if (folders_.contains(level)) continue;
        std::optional<sftp::Attributes> attributes = stat(level, &failure);
        if (!attributes && failure.code == sftp::kNoSuchFile) {
            events_.status(QStringLiteral("Creating folder %1").arg(shown(level)));
            const quint32 id = session_.nextId();
            const sftp::StatusReply made = simpleRequest(id, sftp::mkdirRequest(id, level));
            if (made.code == sftp::kPermissionDenied)
                throw SftpError(QStringLiteral("Permission denied: cannot create folder %1 on the server")
                                    .arg(folderShown(level)));
            // Someone else may have made it meanwhile.
            attributes = stat(level, &failure);
            if (!attributes)
                throw SftpError(QStringLiteral("Cannot create folder %1 on the server: %2")
                                    .arg(folderShown(level), describeStatus(made)));
        }
        if (!attributes) {
            if (failure.code == sftp::kPermissionDenied)
                throw SftpError(QStringLiteral("Permission denied: cannot reach folder %1 on the server")
                                    .arg(folderShown(level)));
            throw SftpError(QStringLiteral("Cannot reach folder %1 on the server: %2")
                                .arg(folderShown(level), describeStatus(failure)));
        }
        // Without permissions in the reply the server is taken at its word.
        if (attributes->hasPermissions() && !attributes->isDirectory())
            throw SftpError(QStringLiteral("%1 on the server is a file, not a folder")
                                .arg(folderShown(level)));
        folders_.insert(level);
    }
    folders_.insert(folder);
}

void SftpUploader::uploadFile(const UploadItem& item)
{
    checkRemoteName(item.remoteName);
    QFile file;
    if (!openRegularFile(file, item.localPath, QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError::cannotOpen(QFile::decodeName(item.localPath));

    const QByteArray folder = remoteFolderOf(item.remoteName);
    ensureFolder(folder);

    const QByteArray temp = temporaryNameIn(folder);
    const quint32 openId = session_.nextId();
    const sftp::Packet opened = session_.request(
        openId, sftp::openRequest(openId, temp,
                                  sftp::kOpenWrite | sftp::kOpenCreate | sftp::kOpenTruncate |
                                      sftp::kOpenExclusive));
    const std::optional<QByteArray> handle = sftp::parseHandle(opened);
    if (!handle) {
        const std::optional<sftp::StatusReply> status = sftp::parseStatus(opened);
        if (!status) throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
        if (status->code == sftp::kPermissionDenied)
            throw SftpError(QStringLiteral("Permission denied: cannot write in folder %1 on the server")
                                .arg(folderShown(folder)));
        throw SftpError(QStringLiteral("Cannot store %1 in folder %2 on the server: %3")
                            .arg(shown(item.remoteName), folderShown(folder), describeStatus(*status)));
    }

    handleOpen_ = true;
    try {
        sendFileData(item, file, *handle, folder);
        replaceTarget(temp, item.remoteName, folder);
    } catch (const EAbortError&) {
        session_.allowTidyingAfterStop(kTidyAfterStopMs);
        removeQuietly(*handle, temp);
        throw;
    } catch (const SftpError&) {
        removeQuietly(*handle, temp);
        throw;
    } catch (const FileError&) {
        removeQuietly(*handle, temp);
        throw;
    }
}

void SftpUploader::sendFileData(const UploadItem& item, QFile& file, const QByteArray& handle,
                                const QByteArray& folder)
{
    const qint64 size = file.size();
    QMap<quint32, quint32> pending;  // write id -> bytes
    qint64 inFlight = 0, offset = 0, confirmed = 0;
    bool endOfFile = false, closeAnswered = false;
    std::optional<quint32> closeId;
    std::optional<sftp::StatusReply> failure;
    qint64 failedAt = 0;
    sinceReport_.invalidate();
    reportBytes(0, false);

    for (;;) {
        // Keep the pipe full while there is data and nothing went wrong.
        while (!failure && !endOfFile && inFlight + chunk_ <= kBytesInFlight) {
            const quint32 id = session_.nextId();
            QByteArray packet = sftp::writeRequestHead(id, handle, static_cast<quint64>(offset), chunk_);
            const qsizetype head = packet.size();
            packet.resize(head + chunk_);
            const qint64 read = file.read(packet.data() + head, chunk_);
            if (read < 0) throw FileError::cannotOpen(QFile::decodeName(item.localPath));
            if (read == 0) {
                endOfFile = true;
                break;
            }
            if (read < chunk_) {
                // A shorter last piece: both lengths in the head shrink.
                packet.resize(head + read);
                qToBigEndian(static_cast<quint32>(packet.size() - 4), packet.data());
                qToBigEndian(static_cast<quint32>(read), packet.data() + head - 4);
            }
            session_.send(packet);
            pending.insert(id, static_cast<quint32>(read));
            inFlight += read;
            offset += read;
        }
        // The close follows the last write at once: one wait for both.
        if ((endOfFile || failure) && !closeId) {
            closeId = session_.nextId();
            session_.send(sftp::closeRequest(*closeId, handle));
            handleOpen_ = false;
        }
        if (pending.isEmpty() && closeAnswered) break;

        const std::optional<sftp::StatusReply> status = sftp::parseStatus(session_.receive());
        if (!status) throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
        if (closeId && status->id == *closeId) {
            closeAnswered = true;
            // Some file systems report a full disk only when the file closes.
            if (status->code != sftp::kOk && !failure) {
                failure = *status;
                failedAt = confirmed;
            }
            continue;
        }
        const auto found = pending.find(status->id);
        if (found == pending.end()) continue;  // a late reply to something else
        inFlight -= found.value();
        if (status->code == sftp::kOk) {
            confirmed += found.value();
            reportBytes(confirmed, false);
        } else if (!failure) {
            failure = *status;
            failedAt = confirmed;
        }
        pending.erase(found);
    }
    if (failure)
        throw SftpError(writeFailure(*failure, folder, item.remoteName, size - failedAt));
    reportBytes(confirmed, true);
}

QString SftpUploader::writeFailure(const sftp::StatusReply& status, const QByteArray& folder,
                                   const QByteArray& target, qint64 stillNeeded)
{
    const QString prefix = QStringLiteral("Cannot store %1 on the server: ").arg(shown(target));
    if (status.code == sftp::kFailure && statvfs_) {
        const QByteArray where = folder.isEmpty() ? QByteArray(".") : folder;
        const quint32 id = session_.nextId();
        try {
            const std::optional<sftp::FileSystemSpace> space =
                sftp::parseStatvfs(session_.request(id, sftp::statvfsRequest(id, where)));
            if (space && space->bytesAvailable() < static_cast<quint64>(std::max<qint64>(stillNeeded, 1)))
                return prefix + QStringLiteral("the server's disk is full");
        } catch (const SftpError&) {
            // The failure itself is what the user needs to hear.
        }
    }
    return prefix + describeStatus(status);
}

void SftpUploader::replaceTarget(const QByteArray& temp, const QByteArray& target,
                                 const QByteArray& folder)
{
    quint32 id = session_.nextId();
    sftp::StatusReply renamed;
    if (posixRename_) {
        renamed = simpleRequest(id, sftp::posixRenameRequest(id, temp, target));
    } else {
        // Plain SFTP rename refuses an existing target: the old file goes
        // first, leaving the name missing (never half written) for a moment.
        renamed = simpleRequest(id, sftp::renameRequest(id, temp, target));
        if (renamed.code != sftp::kOk) {
            id = session_.nextId();
            simpleRequest(id, sftp::pathRequest(sftp::kRemove, id, target));
            id = session_.nextId();
            renamed = simpleRequest(id, sftp::renameRequest(id, temp, target));
        }
    }
    if (renamed.code == sftp::kOk) return;
    if (renamed.code == sftp::kPermissionDenied)
        throw SftpError(QStringLiteral("Permission denied: cannot replace %1 in folder %2 on the server")
                            .arg(shown(target), folderShown(folder)));
    throw SftpError(QStringLiteral("Cannot store %1 on the server: %2")
                        .arg(shown(target), describeStatus(renamed)));
}

void SftpUploader::removeQuietly(const QByteArray& handle, const QByteArray& temp)
{
    try {
        quint32 id;
        if (handleOpen_) {
            handleOpen_ = false;
            id = session_.nextId();
            session_.request(id, sftp::closeRequest(id, handle));
        }
        id = session_.nextId();
        session_.request(id, sftp::pathRequest(sftp::kRemove, id, temp));
    } catch (const VelmoraError&) {
        // The connection is gone or the time is up: the first failure counts.
    }
}

void SftpUploader::reportBytes(qint64 bytes, bool final)
{
    if (!final && sinceReport_.isValid() && sinceReport_.elapsed() < kReportEveryMs) return;
    sinceReport_.start();
    events_.fileBytesSent(bytes);
}

}  // namespace velmora
