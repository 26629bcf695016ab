// TLS over a TPowersock connection: the client side of the handshake with
// the checks of the server's certificate, and the close of a sending
// connection that TLS and a slow peer both need.

#include <QSslConfiguration>
#include <QSslEllipticCurve>
#include <QSslSocket>

#include "publish/FtpErrors.h"
#include "publish/ftp/Powersock.h"

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace velmora {

namespace {

// The errors of a certificate whose issuers are unknown, and nothing else.
bool isChainError(QSslError::SslError error)
{
    switch (error) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted: return true;
    default: return false;
    }
}

QString untrustedText(const QString& reasons, const QByteArray& fingerprint)
{
    return QStringLiteral("The server's certificate is not trusted (%1). Its SHA-256 fingerprint "
                          "is %2")
        .arg(reasons, QString::fromLatin1(fingerprint));
}

}  // namespace

bool TPowersock::Encrypted() const
{
    const QSslSocket* ssl = sslSocket();
    return ssl && ssl->isEncrypted();
}

QSslCertificate TPowersock::PeerCertificate() const
{
    const QSslSocket* ssl = sslSocket();
    return ssl ? ssl->peerCertificate() : QSslCertificate();
}

QByteArray TPowersock::TlsSessionTicket() const
{
    const QSslSocket* ssl = sslSocket();
    return ssl ? ssl->sslConfiguration().sessionTicket() : QByteArray();
}

void TPowersock::onEncrypted() { encrypted_ = true; }

void TPowersock::onSslErrors(const QList<QSslError>& errors)
{
    QSslSocket* ssl = sslSocket();
    if (!ssl) return;
    const QSslCertificate leaf = ssl->peerCertificate();
    const QByteArray fingerprint = certificateFingerprint(leaf);
    if (!fingerprint.isEmpty() && fingerprint == tls_.trustedFingerprint) {
        // The user looked at this very certificate and chose to trust it.
        ssl->ignoreSslErrors(errors);
        return;
    }
    // A certificate the user listed as trusted is an anchor of its own,
    // whoever issued it; its name and dates are still checked.
    const bool listed = !leaf.isNull() && tls_.caCertificates.contains(leaf);
    QStringList reasons;
    for (const QSslError& error : errors)
        if (!listed || !isChainError(error.error())) reasons << error.errorString();
    if (reasons.isEmpty()) {
        ssl->ignoreSslErrors(errors);
        return;
    }
    rejectedFingerprint_ = fingerprint;
    rejectedReasons_ = reasons.join(QStringLiteral("; "));
}

void TPowersock::StartTLS(const TlsSettings& settings)
{
    StatusMessage(8, QStringLiteral("Start TLS"));
    QSslSocket* ssl = sslSocket();
    if (!ssl || !connected_) throw ESockError(QStringLiteral("Not Connected"));
    tls_ = settings;
    encrypted_ = false;
    rejectedFingerprint_.clear();
    rejectedReasons_.clear();

    QSslConfiguration config = ssl->sslConfiguration();
    // Kept so that the data connections can resume this session.
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    config.setSessionTicket(settings.sessionTicket);
    // The first group is the one the hello carries a key for. P-256 is the
    // one every TLS 1.3 server takes (many FTP servers take no other), so
    // leading with it spares a retried hello, a round trip, per data
    // connection.
    QList<QSslEllipticCurve> groups;
    for (const char* name : {"prime256v1", "X25519", "secp384r1"}) {
        const QSslEllipticCurve group = QSslEllipticCurve::fromShortName(QString::fromLatin1(name));
        if (group.isValid()) groups.append(group);
    }
    if (!groups.isEmpty()) config.setEllipticCurves(groups);
    if (!settings.pinned.isNull()) {
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
    } else {
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!settings.caCertificates.isEmpty())
            config.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                                     settings.caCertificates);
    }
    ssl->setSslConfiguration(config);
    ssl->setPeerVerifyName(settings.peerName);
    ssl->startClientEncryption();

    WaitEnd end;
    {
        TimerScope timer(*this);
        end = waitFor([this] { return encrypted_; }, true);
    }
    if (end == WaitEnd::Done) {
        if (!settings.pinned.isNull() && ssl->peerCertificate() != settings.pinned) {
            const QByteArray fingerprint = certificateFingerprint(ssl->peerCertificate());
            Close();
            throw UntrustedServerError(
                untrustedText(QStringLiteral("it is not the certificate of the control "
                                             "connection"),
                              fingerprint),
                fingerprint);
        }
        return;
    }
    const bool refused = !rejectedReasons_.isEmpty();
    const QString failure = ssl->errorString();
    Close();
    if (refused && !rejectedFingerprint_.isEmpty())
        throw UntrustedServerError(untrustedText(rejectedReasons_, rejectedFingerprint_),
                                   rejectedFingerprint_);
    switch (end) {
    case WaitEnd::Canceled: throw EAbortError(QStringLiteral("TLS handshake aborted"));
    case WaitEnd::TimedOut: throw ESockError(QStringLiteral("TLS Handshake Timed Out"));
    default: break;
    }
    throw ESockError(QStringLiteral("TLS Handshake Failed: ") +
                     (refused ? rejectedReasons_ : failure));
}

// ------------------------------------------------------------ closing

void TPowersock::CloseSending()
{
    ReleaseSentStream();
    if (socket_ && connected_ && socket_->socketDescriptor() >= 0) {
#ifdef Q_OS_LINUX
        // Our own descriptor of the connection: once Qt has let go of its
        // one, this ends the stream and still counts what the peer has not
        // taken in.
        sentStream_ = ::fcntl(static_cast<int>(socket_->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
#endif
        if (QSslSocket* ssl = sslSocket(); ssl && ssl->isEncrypted()) {
            // close_notify, so that the peer knows the file is whole; it has
            // to reach the system before the socket may go.
            ssl->disconnectFromHost();
            TimerScope timer(*this);
            waitFor([ssl] { return ssl->state() == QAbstractSocket::UnconnectedState; }, false);
        }
    }
    Close();
#ifdef Q_OS_LINUX
    if (sentStream_ >= 0) ::shutdown(sentStream_, SHUT_WR);
#endif
}

qint64 TPowersock::PendingSendBytes() const
{
    qint64 pending = 0;
    qintptr descriptor = sentStream_;
    if (descriptor < 0 && socket_) {
        pending = queuedBytes(*socket_);
        descriptor = socket_->socketDescriptor();
    }
#ifdef Q_OS_LINUX
    int unacknowledged = 0;
    if (descriptor >= 0 &&
        ::ioctl(static_cast<int>(descriptor), SIOCOUTQ, &unacknowledged) == 0)
        pending += unacknowledged;
#endif
    return pending;
}

void TPowersock::ReleaseSentStream()
{
#ifdef Q_OS_LINUX
    if (sentStream_ >= 0) ::close(sentStream_);
#endif
    sentStream_ = -1;
}

}  // namespace velmora
