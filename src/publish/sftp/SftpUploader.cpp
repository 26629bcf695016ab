#include "publish/sftp/SftpUploader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "publish/FtpErrors.h"
#include "base/ScopeExit.h"
#include "publish/sftp/SftpSession.h"

namespace velmora {

namespace {

// OpenSSH takes packets up to 256 KiB; a write leaves room for its fields.
constexpr quint32 kLargestChunk = 255 * 1024;
// Every server takes writes of this size.
constexpr quint32 kSmallestChunk = 32 * 1024;
// How far past the first file not confirmed a file may start.
constexpr int kLookAhead = 256;
// How long a stopped upload may still spend removing its temporary file.
constexpr int kTidyAfterStopMs = 500;
// Progress goes to the window at most this often.
constexpr int kReportEveryMs = 20;

QString shown(const QByteArray& remote) { return QString::fromUtf8(remote); }

QString folderShown(const QByteArray& folder)
{
    return folder.isEmpty() ? QStringLiteral("the login folder") : QStringLiteral("'%1'").arg(shown(folder));
}

QByteArray pathIn(const QByteArray& folder, const QByteArray& name)
{
    if (folder.isEmpty()) return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// A name in the same folder that no page or image uses; dotted so that a
// listing hides it.
QByteArray temporaryNameIn(const QByteArray& folder)
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return pathIn(folder, ".velmora-" + QByteArray::number(random, 16).rightJustified(16, '0') + ".part");
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

// One file on its way: its requests and what their replies said.
struct SftpUploader::Transfer {
    enum class Stage { Opening, Writing, Closing, Renaming, Done };

    int index = 0;
    const UploadItem* item = nullptr;
    QFile file;
    QByteArray folder;
    QByteArray temp;
    QByteArray handle;
    Stage stage = Stage::Opening;
    bool failed = false;  // for itself: its failure is the upload's
    bool tempMayExist = false;
    bool handleOpen = false;
    qint64 sent = 0;       // bytes read and on their way
    qint64 confirmed = 0;  // bytes the server took
    int writesPending = 0;
    bool endOfFile = false;
    bool statAnswered = false;
    bool closeAnswered = false;
    std::optional<quint64> heldSize;  // as the server reports it
    std::optional<sftp::StatusReply> refusal;  // of the open or of a write or the close
    qint64 refusedAt = 0;
    std::optional<sftp::StatusReply> renamed;
};

SftpUploader::SftpUploader(SftpSession& session, SftpUploadEvents events, int filesInFlight)
    : session_(session),
      requests_(session),
      events_(std::move(events)),
      filesInFlight_(std::max(1, filesInFlight))
{
    posixRename_ = session_.hasExtension("posix-rename@openssh.com", "1");
    statvfs_ = session_.hasExtension("statvfs@openssh.com", "2");
    if (session_.hasExtension("limits@openssh.com", "1")) {
        const std::optional<sftp::Limits> limits = sftp::parseLimits(
            requests_.request([](quint32 id) { return sftp::limitsRequest(id); }));
        if (limits && limits->maxWriteLength > 0)
            chunk_ = static_cast<quint32>(
                std::clamp<quint64>(limits->maxWriteLength, kSmallestChunk, kLargestChunk));
    }
}

SftpUploader::~SftpUploader() = default;

void SftpUploader::upload(const std::vector<UploadItem>& plan, UploadOrder& order)
{
    std::list<Transfer> active;
    // Handlers refer to the transfers: they go first.
    const ScopeExit forget([this] {
        requests_.forgetAll();
        bytesInFlight_ = 0;
    });
    // A file that fails for itself (a refusal, a missing local file) ends
    // the upload, but the files on their way beside it still arrive; a
    // stop or a lost connection ends everything at once.
    std::exception_ptr failure;
    const auto failed = [&failure](Transfer& transfer) {
        if (!failure) failure = std::current_exception();
        transfer.failed = true;
    };
    try {
        for (;;) {
            if (!failure) {
                try {
                    startFiles(plan, order, active);
                } catch (const SftpConnectionError&) {
                    throw;
                } catch (const EAbortError&) {
                    throw;
                } catch (const VelmoraError&) {
                    failed(active.back());
                }
            }
            bool moved = false;
            for (auto it = active.begin(); it != active.end();) {
                try {
                    if (!it->failed) feed(*it);
                    if (it->failed || !advance(*it)) {
                        ++it;
                        continue;
                    }
                } catch (const SftpConnectionError&) {
                    throw;
                } catch (const EAbortError&) {
                    throw;
                } catch (const VelmoraError&) {
                    failed(*it);
                    ++it;
                    continue;
                }
                order.confirm(it->index);
                events_.fileConfirmed(it->index);
                it = active.erase(it);
                moved = true;
            }
            if (moved) continue;
            if (std::all_of(active.begin(), active.end(), [](const Transfer& t) { return t.failed; })) break;
            requests_.receiveOne();
        }
    } catch (const EAbortError&) {
        session_.allowTidyingAfterStop(kTidyAfterStopMs);
        tidy(active);
        throw;
    } catch (const VelmoraError&) {
        tidy(active);
        throw;
    }
    if (!failure) return;
    tidy(active);
    std::rethrow_exception(failure);
}

void SftpUploader::startFiles(const std::vector<UploadItem>& plan, const UploadOrder& order,
                              std::list<Transfer>& active)
{
    const int count = order.size();
    // Far ahead of the first open file there is rarely one that may go.
    const int end = std::min(count, order.firstOpen() + kLookAhead);
    for (int i = order.firstOpen(); i < end && static_cast<int>(active.size()) < filesInFlight_; ++i) {
        if (!order.canStart(i)) continue;
        const bool onItsWay = std::any_of(active.begin(), active.end(),
                                          [i](const Transfer& transfer) { return transfer.index == i; });
        if (onItsWay) continue;
        Transfer& transfer = active.emplace_back();
        transfer.index = i;
        transfer.item = &plan[std::size_t(i)];
        begin(transfer, count);
    }
}

void SftpUploader::begin(Transfer& transfer, int count)
{
    const UploadItem& item = *transfer.item;
    events_.fileStarted(transfer.index, count);
    events_.status(shown(item.remoteName));
    checkRemoteName(item.remoteName);
    if (!openRegularFile(transfer.file, item.localPath, QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError::cannotOpen(QFile::decodeName(item.localPath));
    transfer.folder = remoteFolderOf(item.remoteName);
    ensureFolder(transfer.folder);
    removeLeftovers(transfer.folder);

    transfer.temp = temporaryNameIn(transfer.folder);
    transfer.tempMayExist = true;
    const QByteArray temp = transfer.temp;
    requests_.send(
        [&temp](quint32 id) {
            return sftp::openRequest(id, temp,
                                     sftp::kOpenWrite | sftp::kOpenCreate | sftp::kOpenTruncate |
                                         sftp::kOpenExclusive);
        },
        [this, &transfer](const sftp::Packet& reply) {
            if (std::optional<QByteArray> handle = sftp::parseHandle(reply)) {
                transfer.handle = std::move(*handle);
                transfer.handleOpen = true;
                transfer.stage = Transfer::Stage::Writing;
                sinceReport_.invalidate();
                reportBytes(transfer.index, 0, false);
                return;
            }
            const std::optional<sftp::StatusReply> status = sftp::parseStatus(reply);
            transfer.refusal = status.value_or(sftp::StatusReply{0, sftp::kBadMessage, {}});
            // An exclusive open that failed made no file.
            transfer.tempMayExist = false;
        });
}

void SftpUploader::feed(Transfer& transfer)
{
    if (transfer.stage != Transfer::Stage::Writing) return;
    // Keep the pipe full while there is data and nothing went wrong.
    while (!transfer.refusal && !transfer.endOfFile && bytesInFlight_ + chunk_ <= kBytesInFlight) {
        QByteArray packet = sftp::writeRequestHead(0, transfer.handle,
                                                   static_cast<quint64>(transfer.sent), chunk_);
        const qsizetype head = packet.size();
        packet.resize(head + chunk_);
        const qint64 read = transfer.file.read(packet.data() + head, chunk_);
        if (read < 0) throw FileError::cannotOpen(QFile::decodeName(transfer.item->localPath));
        if (read == 0) {
            transfer.endOfFile = true;
            break;
        }
        if (read < chunk_) {
            // A shorter last piece: both lengths in the head shrink.
            packet.resize(head + read);
            qToBigEndian(static_cast<quint32>(packet.size() - 4), packet.data());
            qToBigEndian(static_cast<quint32>(read), packet.data() + head - 4);
        }
        const auto bytes = static_cast<quint32>(read);
        requests_.send(
            [&packet](quint32 id) {
                qToBigEndian(id, packet.data() + 5);  // after the length and the type
                return packet;
            },
            [this, &transfer, bytes](const sftp::Packet& reply) { onWritten(transfer, bytes, reply); });
        ++transfer.writesPending;
        bytesInFlight_ += read;
        transfer.sent += read;
    }
    if (!transfer.endOfFile && !transfer.refusal) return;
    // The size and the close follow the last write at once: a server takes
    // the requests of one file in order, so one wait covers them all.
    if (!transfer.refusal)
        requests_.send([&transfer](quint32 id) { return sftp::handleRequest(sftp::kFstat, id, transfer.handle); },
                       [&transfer](const sftp::Packet& reply) {
                           transfer.statAnswered = true;
                           if (const std::optional<sftp::Attributes> held = sftp::parseAttrs(reply);
                               held && (held->flags & sftp::kAttrSize))
                               transfer.heldSize = held->size;
                       });
    else
        transfer.statAnswered = true;
    requests_.send([&transfer](quint32 id) { return sftp::closeRequest(id, transfer.handle); },
                   [&transfer](const sftp::Packet& reply) {
                       transfer.closeAnswered = true;
                       const std::optional<sftp::StatusReply> status = sftp::parseStatus(reply);
                       // Some file systems report a full disk only when the file closes.
                       if ((!status || status->code != sftp::kOk) && !transfer.refusal) {
                           transfer.refusal = status.value_or(sftp::StatusReply{0, sftp::kBadMessage, {}});
                           transfer.refusedAt = transfer.confirmed;
                       }
                   });
    transfer.handleOpen = false;
    transfer.stage = Transfer::Stage::Closing;
}

void SftpUploader::onWritten(Transfer& transfer, quint32 bytes, const sftp::Packet& reply)
{
    --transfer.writesPending;
    bytesInFlight_ -= bytes;
    const std::optional<sftp::StatusReply> status = sftp::parseStatus(reply);
    if (status && status->code == sftp::kOk) {
        transfer.confirmed += bytes;
        reportBytes(transfer.index, transfer.confirmed, false);
    } else if (!transfer.refusal) {
        transfer.refusal = status.value_or(sftp::StatusReply{0, sftp::kBadMessage, {}});
        transfer.refusedAt = transfer.confirmed;
    }
}

bool SftpUploader::advance(Transfer& transfer)
{
    const UploadItem& item = *transfer.item;
    switch (transfer.stage) {
    case Transfer::Stage::Opening:
        if (!transfer.refusal) return false;
        if (transfer.refusal->code == sftp::kBadMessage)
            throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
        if (transfer.refusal->code == sftp::kPermissionDenied)
            throw SftpError(QStringLiteral("Permission denied: cannot write in folder %1 on the server")
                                .arg(folderShown(transfer.folder)));
        throw SftpError(QStringLiteral("Cannot store %1 in folder %2 on the server: %3")
                            .arg(shown(item.remoteName), folderShown(transfer.folder),
                                 describeStatus(*transfer.refusal)));
    case Transfer::Stage::Writing: return false;
    case Transfer::Stage::Closing:
        if (transfer.writesPending > 0 || !transfer.statAnswered || !transfer.closeAnswered) return false;
        if (transfer.refusal)
            throw SftpError(writeFailure(*transfer.refusal, transfer.folder, item.remoteName,
                                         transfer.file.size() - transfer.refusedAt));
        // A server that took only a part of the file must not see it renamed.
        if (transfer.heldSize && *transfer.heldSize != quint64(transfer.sent))
            throw IncompleteFileError(item.remoteName, qint64(*transfer.heldSize), transfer.sent);
        reportBytes(transfer.index, transfer.confirmed, true);
        transfer.stage = Transfer::Stage::Renaming;
        if (!posixRename_) {
            replaceTarget(transfer.temp, item.remoteName, transfer.folder);
            transfer.stage = Transfer::Stage::Done;
            return true;
        }
        requests_.send(
            [&transfer](quint32 id) {
                return sftp::posixRenameRequest(id, transfer.temp, transfer.item->remoteName);
            },
            [&transfer](const sftp::Packet& reply) {
                transfer.renamed = sftp::parseStatus(reply).value_or(sftp::StatusReply{0, sftp::kBadMessage, {}});
            });
        return false;
    case Transfer::Stage::Renaming:
        if (!transfer.renamed) return false;
        if (transfer.renamed->code == sftp::kPermissionDenied)
            throw SftpError(QStringLiteral("Permission denied: cannot replace %1 in folder %2 on the server")
                                .arg(shown(item.remoteName), folderShown(transfer.folder)));
        if (transfer.renamed->code != sftp::kOk)
            throw SftpError(QStringLiteral("Cannot store %1 on the server: %2")
                                .arg(shown(item.remoteName), describeStatus(*transfer.renamed)));
        transfer.stage = Transfer::Stage::Done;
        return true;
    case Transfer::Stage::Done: return true;
    }
    return false;
}

void SftpUploader::tidy(std::list<Transfer>& active) noexcept
{
    const auto closeAndRemove = [this](Transfer& transfer) {
        if (transfer.handleOpen) {
            transfer.handleOpen = false;
            requests_.send([&transfer](quint32 id) { return sftp::closeRequest(id, transfer.handle); },
                           [](const sftp::Packet&) {});
        }
        if (transfer.tempMayExist && transfer.stage != Transfer::Stage::Opening &&
            transfer.stage != Transfer::Stage::Done) {
            transfer.tempMayExist = false;
            requests_.send(
                [&transfer](quint32 id) { return sftp::pathRequest(sftp::kRemove, id, transfer.temp); },
                [](const sftp::Packet&) {});
        }
    };
    try {
        // Behind whatever is still on its way, in one wait; a file still
        // opening is tidied once its handle is known.
        for (Transfer& transfer : active) closeAndRemove(transfer);
        requests_.drain();
        for (Transfer& transfer : active) closeAndRemove(transfer);
        requests_.drain();
    } catch (const VelmoraError&) {
        // The connection is gone or the time is up: the first failure counts.
    }
}

void SftpUploader::remove(const QByteArrayList& remoteNames)
{
    const ScopeExit forget([this] { requests_.forgetAll(); });
    std::optional<QString> failure;
    for (const QByteArray& name : remoteNames) {
        checkRemoteName(name);
        requests_.send([&name](quint32 id) { return sftp::pathRequest(sftp::kRemove, id, name); },
                       [this, &name, &failure](const sftp::Packet& reply) {
                           const std::optional<sftp::StatusReply> status = sftp::parseStatus(reply);
                           if (status && (status->code == sftp::kOk || status->code == sftp::kNoSuchFile)) {
                               events_.fileRemoved(name);
                           } else if (!failure) {
                               failure = QStringLiteral("Cannot remove %1 from the server: %2")
                                             .arg(shown(name),
                                                  status ? describeStatus(*status)
                                                         : QStringLiteral("the reply is not SFTP"));
                           }
                       });
    }
    requests_.drain();
    if (failure) throw SftpError(*failure);
}

sftp::StatusReply SftpUploader::simpleRequest(const SftpRequests::Build& build)
{
    const std::optional<sftp::StatusReply> status = sftp::parseStatus(requests_.request(build));
    if (!status) throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
    return *status;
}

std::optional<sftp::Attributes> SftpUploader::stat(const QByteArray& path, sftp::StatusReply* failure)
{
    const sftp::Packet reply =
        requests_.request([&path](quint32 id) { return sftp::pathRequest(sftp::kStat, id, path); });
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
            const sftp::StatusReply made =
                simpleRequest([&level](quint32 id) { return sftp::mkdirRequest(id, level); });
            if (made.code == sftp::kPermissionDenied)
                throw SftpError(QStringLiteral("Permission denied: cannot create folder %1 on the server")
                                    .arg(folderShown(level)));
            // Someone else may have made it meanwhile.
            attributes = stat(level, &failure);
            if (!attributes)
                throw SftpError(QStringLiteral("Cannot create folder %1 on the server: %2")
                                    .arg(folderShown(level), describeStatus(made)));
            if (made.code == sftp::kOk) tidied_.insert(level);  // new: nothing left in it
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

void SftpUploader::removeLeftovers(const QByteArray& folder)
{
    if (tidied_.contains(folder)) return;
    tidied_.insert(folder);
    QByteArrayList leftovers;
    for (const QByteArray& name : listFolder(folder))
        if (isTemporaryUploadName(name)) leftovers.append(pathIn(folder, name));
    if (leftovers.isEmpty()) return;
    events_.status(QStringLiteral("Removing %1 temporary files left in %2")
                       .arg(leftovers.size())
                       .arg(folderShown(folder)));
    for (const QByteArray& path : leftovers)
        requests_.send([&path](quint32 id) { return sftp::pathRequest(sftp::kRemove, id, path); },
                       [](const sftp::Packet&) {});
    requests_.drain();
}

QByteArrayList SftpUploader::listFolder(const QByteArray& folder)
{
    const QByteArray where = folder.isEmpty() ? QByteArray(".") : folder;
    const std::optional<QByteArray> handle = sftp::parseHandle(
        requests_.request([&where](quint32 id) { return sftp::pathRequest(sftp::kOpendir, id, where); }));
    // A folder that cannot be listed holds nothing we could tidy.
    if (!handle) return {};
    QByteArrayList names;
    // A server that never ends its listing is not read forever.
    constexpr int kMaxEntries = 1000000;
    for (;;) {
        const std::optional<QList<sftp::NameEntry>> entries = sftp::parseName(
            requests_.request([&handle](quint32 id) { return sftp::handleRequest(sftp::kReaddir, id, *handle); }));
        if (!entries || entries->isEmpty() || names.size() > kMaxEntries) break;
        for (const sftp::NameEntry& entry : *entries)
            if (!entry.attributes.hasPermissions() || (entry.attributes.permissions & 0170000) == 0100000)
                names.append(entry.name);
    }
    requests_.request([&handle](quint32 id) { return sftp::closeRequest(id, *handle); });
    return names;
}
QString SftpUploader::writeFailure(const sftp::StatusReply& status, const QByteArray& folder,
                                   const QByteArray& target, qint64 stillNeeded)
{
    const QString prefix = QStringLiteral("Cannot store %1 on the server: ").arg(shown(target));
    if (status.code == sftp::kFailure && statvfs_) {
        const QByteArray where = folder.isEmpty() ? QByteArray(".") : folder;
        try {
            const std::optional<sftp::FileSystemSpace> space = sftp::parseStatvfs(
                requests_.request([&where](quint32 id) { return sftp::statvfsRequest(id, where); }));
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
    const auto rename = [&](quint32 id) { return sftp::renameRequest(id, temp, target); };
    // Plain SFTP rename refuses an existing target: the old file goes
    // first, leaving the name missing (never half written) for a moment.
    sftp::StatusReply renamed = simpleRequest(rename);
    if (renamed.code != sftp::kOk) {
        simpleRequest([&](quint32 id) { return sftp::pathRequest(sftp::kRemove, id, target); });
        renamed = simpleRequest(rename);
    }
    if (renamed.code == sftp::kOk) return;
    if (renamed.code == sftp::kPermissionDenied)
        throw SftpError(QStringLiteral("Permission denied: cannot replace %1 in folder %2 on the server")
                            .arg(shown(target), folderShown(folder)));
    throw SftpError(QStringLiteral("Cannot store %1 on the server: %2")
                        .arg(shown(target), describeStatus(renamed)));
}

void SftpUploader::reportBytes(int index, qint64 bytes, bool final)
{
    if (!final && sinceReport_.isValid() && sinceReport_.elapsed() < kReportEveryMs) return;
    sinceReport_.start();
    events_.fileBytesSent(index, bytes);
}

}  // namespace velmora
