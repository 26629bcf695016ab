#include "publish/ftp/FtpSessionWorker.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QThread>

#include "publish/FtpErrors.h"
#include "publish/Retries.h"
#include "base/ScopeExit.h"
#include "publish/ftp/FtpUploadQueue.h"
#include "publish/ftp/TlsSettings.h"
#include "publish/ftp/VexFTP.h"

namespace velmora {

namespace {

// A retry's wait looks at a stop this often.
constexpr int kPauseSliceMs = 20;

QString textOf(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const VelmoraError& e) {
        return e.text();
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

// Logged out politely where the server still answers; a stalled server is
// not waited for (Disconnect knows), and after a stop nothing is asked.
void endSession(TVexFTP& ftp, bool stopped)
{
    try {
        if (!stopped) ftp.Disconnect();
    } catch (...) {
        // Dropped below.
    }
    try {
        if (ftp.Connected() || stopped) ftp.Drop();
    } catch (...) {
        // Gone either way.
    }
}

}  // namespace

FtpSessionWorker::FtpSessionWorker(const PublishDestination& destination,
                                   const std::vector<UploadItem>& plan, const QByteArrayList& removals,
                                   FtpUploadQueue& queue, int number)
    : destination_(destination), plan_(plan), removals_(removals), queue_(queue), number_(number)
{
}

FtpSessionWorker::~FtpSessionWorker() = default;

FtpPlace FtpSessionWorker::place() const
{
    return {destination_.host, destination_.port, destination_.timeOutMs};
}

void FtpSessionWorker::configure(TVexFTP& ftp) const
{
    ftp.Host = destination_.host;
    ftp.Port = destination_.port;
    ftp.UserID = destination_.user;
    ftp.Password = destination_.password;
    ftp.TimeOut = destination_.timeOutMs;
    ftp.ReportLevel = 0;
    ftp.Passive = destination_.passive;
    ftp.ExplicitTLS = destination_.protocol == PublishProtocol::Ftps;
    ftp.ImplicitTLS = destination_.protocol == PublishProtocol::FtpsImplicit;
    if (ftp.ExplicitTLS || ftp.ImplicitTLS) {
        if (!destination_.caFile.isEmpty())
            ftp.TLS.caCertificates = readCertificateFile(destination_.caFile);
        ftp.TLS.trustedFingerprint = destination_.trustedFingerprint;
    }
}

void FtpSessionWorker::bindEvents(TVexFTP& ftp)
{
    const auto say = [this](const char* text) {
        return [this, text](auto&&...) { emit status(QString::fromLatin1(text)); };
    };
    ftp.OnConnect = say("Connected...");
    ftp.OnDisconnect = say("Disconnected...");
    ftp.OnHostResolved = say("Host resolved...");
    // The three handlers that may claim `handled` leave it false: the
    // client gives up, and its failure ends the session.
    ftp.OnInvalidHost = say("Invalid Host...");
    ftp.OnConnectionFailed = say("Connection failed...");
    ftp.OnError = say("Unknown error...");
    ftp.OnConnectionRequired = say("Connection required...");
    ftp.OnTransactionStart = say("Transaction start...");
    ftp.OnTransactionStop = say("Transaction stop...");
    ftp.OnFailure = say("Failure...");
    ftp.OnSuccess = say("Success!");
    ftp.OnPacketSent = [this](TPowersock& data) { emit fileBytesSent(current_, data.BytesSent()); };
}

void FtpSessionWorker::cancel()
{
    canceled_.store(true);
    QMutexLocker lock(&sessionMutex_);
    if (!session_) return;
    // Run on the session's own thread, inside whatever it waits for; dropped
    // if the session is gone by then.
    QMetaObject::invokeMethod(
        session_,
        [ftp = session_] {
            ftp->Cancel();
            ftp->Abort();
        },
        Qt::QueuedConnection);
}

void FtpSessionWorker::withdraw()
{
    QMutexLocker lock(&sessionMutex_);
    if (!session_) return;
    // Decided on the session's own thread, where it knows what it is doing.
    QMetaObject::invokeMethod(
        session_,
        [this, ftp = session_] {
            if (!loggingIn_) return;
            withdrawn_ = true;
            ftp->Cancel();
        },
        Qt::QueuedConnection);
}

void FtpSessionWorker::run()
{
    RetrySchedule retries;
    try {
        for (;;) {
            TVexFTP ftp;
            configure(ftp);
            bindEvents(ftp);
            {
                QMutexLocker lock(&sessionMutex_);
                session_ = &ftp;
            }
            const ScopeExit forget([this] {
                QMutexLocker lock(&sessionMutex_);
                session_ = nullptr;
            });
            try {
                if (canceled_) throw EAbortError(QStringLiteral("Send stopped"));
                // Looked at once the session is known to withdraw(): a later
                // session that comes too late has nothing to do.
                if (number_ > 0 && queue_.finished()) break;
                logIn(ftp);
                sendFiles(ftp);
                removeDropped(ftp);
                if (number_ == 0) emit status(QStringLiteral("Disconnecting..."));
                ftp.Disconnect();
                break;
            } catch (...) {
                const std::exception_ptr failure = std::current_exception();
                if (current_ >= 0) queue_.giveBack(std::exchange(current_, -1));
                endSession(ftp, canceled_ || withdrawn_);
                // A stop, or another session's failure: that one is reported.
                // With every file confirmed and the removals done, a late
                // failure costs nothing.
                if (canceled_ || withdrawn_ || queue_.finished()) break;
                // The server takes fewer sessions than asked for: the others go on.
                if (!everLoggedIn_ && number_ > 0) break;
                const std::optional<int> delay = everLoggedIn_ && isWorthRetrying(failure)
                                                     ? retries.nextDelayMs(queue_.confirmedCount())
                                                     : std::nullopt;
                if (!delay) std::rethrow_exception(failure);
                emit status(retries.statusText(textOf(failure)));
                if (!pause(*delay)) break;
            }
        }
    } catch (...) {
        failure_ = std::current_exception();
        queue_.end();
    }
    // Last, so that every report before it has reached the publisher.
    emit ended();
}

bool FtpSessionWorker::pause(int milliseconds)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < milliseconds) {
        if (canceled_ || queue_.finished()) return false;
        QThread::msleep(kPauseSliceMs);
    }
    return true;
}

void FtpSessionWorker::logIn(TVexFTP& ftp)
{
    loggingIn_ = true;
    const ScopeExit loggedInOrFailed([this] { loggingIn_ = false; });
    emit status(QStringLiteral("Connecting..."));
    try {
        ftp.Connect();
    } catch (...) {
        rethrowConnectFailure(std::current_exception(), place(), ftp.LastErrorNo());
    }
    if (!everLoggedIn_ && number_ == 0 && !plan_.empty()) {
        for (const QByteArray& folder :
             RemoteDirectoryLevels(NormalisedRemoteDirectory(destination_.directory))) {
            if (canceled_) throw EAbortError(QStringLiteral("Send stopped"));
            ftp.MakeDirectory(folder);
        }
    }
    everLoggedIn_ = true;
    emit loggedIn();
}

void FtpSessionWorker::sendFiles(TVexFTP& ftp)
{
    while (const std::optional<int> index = queue_.take()) {
        current_ = *index;
        if (canceled_) throw EAbortError(QStringLiteral("Send stopped"));
        sendFile(ftp, *index);
        current_ = -1;
        // Reported before the queue lets the files that wait for it go, so
        // that the reports keep the plan's order.
        emit fileConfirmed(*index);
        queue_.confirm(*index);
    }
}

void FtpSessionWorker::sendFile(TVexFTP& ftp, int index)
{
    const UploadItem& item = plan_[std::size_t(index)];
    emit fileStarted(index, static_cast<int>(plan_.size()));
    emit status(QString::fromUtf8(item.remoteName));
    try {
        ftp.Upload(item.localPath, item.remoteName);
    } catch (...) {
        rethrowFileFailure(std::current_exception(), place(), item.remoteName);
    }
    // A server that stopped taking the file early may still say 226.
    const std::optional<qint64> held = ftp.RemoteSize(item.remoteName);
    if (held && *held != ftp.BytesTotal()) throw IncompleteFileError(item.remoteName, *held, ftp.BytesTotal());
}

void FtpSessionWorker::removeDropped(TVexFTP& ftp)
{
    if (removals_.isEmpty() || (!removalsMine_ && !(removalsMine_ = queue_.claimRemovals()))) return;
    emit status(QStringLiteral("Removing %1 files no longer in the project...").arg(removals_.size()));
    for (const QByteArray& name : removals_) {
        if (canceled_) throw EAbortError(QStringLiteral("Send stopped"));
        if (ftp.DeleteFile(name)) {
            emit fileRemoved(name);
            continue;
        }
        const QByteArray refusal = ftp.LastReply();
        // vsftpd says the same for a file that is gone and one it may not
        // remove: a file the server no longer holds counts as removed.
        if (!ftp.RemoteSize(name)) {
            emit fileRemoved(name);
            continue;
        }
        throw FTPException(QStringLiteral("Cannot remove %1 from %2 port %3")
                               .arg(QString::fromUtf8(name), destination_.host)
                               .arg(destination_.port),
                           refusal);
    }
    queue_.removalsDone();
}

}  // namespace velmora
