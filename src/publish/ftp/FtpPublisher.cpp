#include "publish/ftp/FtpPublisher.h"

#include "base/ScopeExit.h"
#include "publish/FtpErrors.h"
#include "publish/ftp/TlsSettings.h"
#include "publish/ftp/VexFTP.h"

namespace velmora {

FtpPublisher::FtpPublisher(PublishDestination destination, QObject* parent)
    : Publisher(parent), destination_(std::move(destination))
{
}

FtpPublisher::~FtpPublisher() = default;

void FtpPublisher::configure(TVexFTP& ftp) const
{
    ftp.Host = destination_.host;
    ftp.Port = destination_.port;
    ftp.UserID = destination_.user;
    ftp.Password = destination_.password;
    ftp.TimeOut = destination_.timeOutMs;
    ftp.ReportLevel = 0;
    ftp.Passive = destination_.passive;
    ftp.ExplicitTLS = destination_.protocol == PublishProtocol::Ftps;
    if (ftp.ExplicitTLS) {
        if (!destination_.caFile.isEmpty())
            ftp.TLS.caCertificates = readCertificateFile(destination_.caFile);
        ftp.TLS.trustedFingerprint = destination_.trustedFingerprint;
    }
}

void FtpPublisher::bindEvents(TVexFTP& ftp)
{
    const auto say = [this](const char* text) {
        return [this, text](auto&&...) { emit status(QString::fromLatin1(text)); };
    };
    ftp.OnConnect = say("Connected...");
    ftp.OnDisconnect = say("Disconnected...");
    ftp.OnHostResolved = say("Host resolved...");
    // The three handlers that may claim `handled` leave it false: the
    // client gives up, and its failure ends the publish.
    ftp.OnInvalidHost = say("Invalid Host...");
    ftp.OnConnectionFailed = say("Connection failed...");
    ftp.OnError = say("Unknown error...");
    ftp.OnConnectionRequired = say("Connection required...");
    ftp.OnTransactionStart = say("Transaction start...");
    ftp.OnTransactionStop = say("Transaction stop...");
    ftp.OnFailure = say("Failure...");
    ftp.OnSuccess = say("Success!");
    ftp.OnPacketSent = [this](TPowersock& data) { emit fileBytesSent(data.BytesSent()); };
}

void FtpPublisher::throwIfStopped() const
{
    if (stopRequested_) throw EAbortError(QStringLiteral("Send stopped"));
}

void FtpPublisher::publish(const std::vector<UploadItem>& plan)
{
    if (ftp_) throw VelmoraError(QStringLiteral("A Send is running already"));
    stopRequested_ = false;
    TVexFTP ftp;
    configure(ftp);
    bindEvents(ftp);
    ftp_ = &ftp;
    const ScopeExit forget([this] { ftp_ = nullptr; });
    try {
        run(ftp, plan);
    } catch (...) {
        if (stopRequested_) {
            ftp.Drop();
            throw EAbortError(QStringLiteral("Send stopped"));
        }
        // Logged out politely where the server still answers; a stalled
        // server is not waited for (Disconnect knows).
        try {
            ftp.Disconnect();
        } catch (const VelmoraError&) {
        }
        if (ftp.Connected()) ftp.Drop();
        throw;
    }
}

void FtpPublisher::run(TVexFTP& ftp, const std::vector<UploadItem>& plan)
{
    throwIfStopped();
    emit status(QStringLiteral("Connecting..."));
    ftp.Connect();
    if (!plan.empty()) {
        for (const QByteArray& folder :
             RemoteDirectoryLevels(NormalisedRemoteDirectory(destination_.directory))) {
            throwIfStopped();
            ftp.MakeDirectory(folder);
        }
    }
    const int count = static_cast<int>(plan.size());
    for (int i = 0; i < count; ++i) {
        const UploadItem& item = plan[static_cast<std::size_t>(i)];
        throwIfStopped();
        emit fileStarted(i, count);
        emit status(QString::fromUtf8(item.remoteName));
        ftp.Upload(item.localPath, item.remoteName);
        emit fileConfirmed(i);
    }
    throwIfStopped();
    emit status(QStringLiteral("Disconnecting..."));
    ftp.Disconnect();
}

void FtpPublisher::stop()
{
    stopRequested_ = true;
    if (!ftp_) return;
    ftp_->Cancel();
    ftp_->Abort();
}

}  // namespace velmora
