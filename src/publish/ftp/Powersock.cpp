#include "publish/ftp/Powersock.h"

#include <QHostInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

#include "base/ScopeExit.h"
#include "publish/EventWait.h"
#include "publish/FtpErrors.h"

namespace velmora {

int socketErrorNumber(int qtSocketError)
{
    switch (static_cast<QAbstractSocket::SocketError>(qtSocketError)) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::DatagramTooLargeError: return 10040;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;
    case QAbstractSocket::UnfinishedSocketOperationError: return 10036;
    case QAbstractSocket::OperationError: return 10022;
    default: return 10000 + std::max(qtSocketError, 0);
    }
}

TPowersock::TimerScope::TimerScope(TPowersock& sock) : sock_(sock), armed_(sock.timerScopes_ == 0)
{
    // Counted only once the timer runs: a refused timer leaves no scope open.
    if (armed_) sock_.TimerOn();
    ++sock_.timerScopes_;
}

TPowersock::TimerScope::~TimerScope()
{
    --sock_.timerScopes_;
    if (armed_) sock_.TimerOff();
}

TPowersock::TPowersock(QObject* owner) : QObject(owner)
{
    timer_.SetEnabled(false);
    timer_.SetOnTimer([this](TThreadTimer&) { dispatch([this] { TimerHandler(); }); });
    StatusMessage(8, QStringLiteral("Create"));
    StatusMessage(8, QStringLiteral("Initializing Winsock"));
    freshSocket();
}

TPowersock::~TPowersock()
{
    ReleaseSentStream();
    // The owner's handlers may be gone already: destruction raises no events.
    OnDisconnect = nullptr;
    OnConnect = nullptr;
    OnInvalidHost = nullptr;
    OnHostResolved = nullptr;
    OnStatus = nullptr;
    OnConnectionFailed = nullptr;
    OnError = nullptr;
    OnConnectionRequired = nullptr;
    OnPacketRecvd = nullptr;
    OnPacketSent = nullptr;
    OnHandlerFailure = nullptr;
    try {
        TPowersock::Abort();
        StatusMessage(8, QStringLiteral("Destroy"));
        // No event processing here: handlers of the owner may already be gone.
        canceled_ = true;
        destroying_ = true;
        if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
        if (server_) server_->disconnect(this);
        Close();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- sockets

void TPowersock::freshSocket()
{
    socket_ = CanStartTLS ? new QSslSocket(this) : new QTcpSocket(this);
    attach(socket_);
}

QSslSocket* TPowersock::sslSocket() const { return qobject_cast<QSslSocket*>(socket_); }

qint64 queuedBytes(const QTcpSocket& socket)
{
    qint64 queued = socket.bytesToWrite();
    if (const auto* ssl = qobject_cast<const QSslSocket*>(&socket))
        queued += ssl->encryptedBytesToWrite();
    return queued;
}

void TPowersock::attach(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::readyRead, this, [this] { dispatch([this] { ReadToStream(); }); });
    connect(socket, &QTcpSocket::bytesWritten, this,
            [this] { dispatch([this] { onBytesWritten(); }); });
    connect(socket, &QTcpSocket::connected, this, [this] { dispatch([this] { onConnected(); }); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this] { dispatch([this] { onPeerClosed(); }); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        dispatch([this, error] { onSocketError(error); });
    });
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        // Encrypted bytes reaching the system are the transfer's progress.
        connect(ssl, &QSslSocket::encryptedBytesWritten, this,
                [this] { dispatch([this] { onBytesWritten(); }); });
        connect(ssl, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
            dispatch([this, &errors] { onSslErrors(errors); });
        });
        connect(ssl, &QSslSocket::encrypted, this, [this] { dispatch([this] { onEncrypted(); }); });
    }
}

// Closes the current socket without raising any event. A socket with
// nothing left to send closes gracefully, so the peer sees the end of the
// data; one with unsent bytes (a cancelled transfer) is reset.
void TPowersock::detachSocket()
{
    if (!socket_) return;
    QTcpSocket* old = std::exchange(socket_, nullptr);
    old->disconnect(this);
    if (old->state() != QAbstractSocket::UnconnectedState) {
        if (old->bytesToWrite() == 0)
            old->disconnectFromHost();
        else
            old->abort();
    }
    old->abort();
    // Its signals may be on the stack below us; it goes with the next
    // deferred deletion, or with this instance at the latest.
    old->deleteLater();
}

void TPowersock::resetTransferState()
{
    inBuffer_.clear();
    outBuffer_.clear();
    succeeded_ = true;
    stalled_ = false;
    fileFailed_ = false;
}

void TPowersock::Close()
{
    StatusMessage(4, QStringLiteral("Request Close Socket"));
    connected_ = false;
    encrypted_ = false;
    if (server_) {
        server_->disconnect(this);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
        accepted_ = nullptr;
    }
    if (!socket_) return;
    detachSocket();
    if (!destroying_) freshSocket();
    if (OnDisconnect) OnDisconnect(*this);
}

void TPowersock::Disconnect()
{
    StatusMessage(8, QStringLiteral("Disconnecting"));
    Close();
}

// ------------------------------------------------------------ notifications

void TPowersock::onConnected()
{
    succeeded_ = true;
    connected_ = true;
    ConnectNotified();
}

void TPowersock::ConnectNotified()
{
    if (OnConnect) OnConnect(*this);
}

void TPowersock::onPeerClosed()
{
    connected_ = false;
    // Bytes that came before the close are still to be taken.
    if (socket_ && socket_->bytesAvailable() > 0) postRead();
    if (OnDisconnect) OnDisconnect(*this);
}

void TPowersock::onSocketError(int qtError)
{
    // The peer's close is no error; the close notification follows.
    if (qtError == QAbstractSocket::RemoteHostClosedError) return;
    succeeded_ = false;
    lastErrorNo_ = socketErrorNumber(qtError);
    // A failed connection set-up is reported by Connect itself.
    if (!connected_ || !socket_) return;
    const QString message = LookupErrorMessage(lastErrorNo_, socket_->errorString());
    if (OnError) OnError(*this, static_cast<quint16>(lastErrorNo_), message);
}

// ---------------------------------------------------------------- waiting

TPowersock::WaitEnd TPowersock::waitFor(const std::function<bool()>& done, bool needsConnection)
{
    EventWait wait;
    failures_.enterWait();
    const ScopeExit left([this] { failures_.leaveWait(); });
    for (;;) {
        // A handler's failure is this operation's failure; the replies
        // still to come can no longer be matched to commands.
        if (failures_.pending()) {
            stalled_ = true;
            failures_.raisePending();
        }
        if (done()) return WaitEnd::Done;
        // A stop of the control connection stops its data connection too.
        if (canceled_ || (link_ && link_->canceled_)) return WaitEnd::Canceled;
        if (timedOut_) {
            stalled_ = true;
            return WaitEnd::TimedOut;
        }
        if ((needsConnection && connectionGone()) || (link_ && !link_->connected_)) {
            stalled_ = true;
            return WaitEnd::Lost;
        }
        wait.step();
    }
}

// Gone once closed or failed and every byte that came before has been taken.
bool TPowersock::connectionGone() const
{
    if (connected_ && succeeded_) return false;
    return !socket_ || (socket_->bytesAvailable() == 0 && !readPosted_);
}

// ------------------------------------------------------------------ misc

void TPowersock::CertifyConnect()
{
    if (connected_) return;
    if (!OnConnectionRequired) throw ESockError(QStringLiteral("Not Connected"));
    bool handled = false;
    OnConnectionRequired(handled);
    if (!handled || !connected_) throw ESockError(QStringLiteral("Not Connected"));
}

void TPowersock::Cancel()
{
    StatusMessage(8, QStringLiteral("Canceling"));
    canceled_ = true;
    processPendingEvents();
}

void TPowersock::Abort() {}

void TPowersock::StatusMessage(int level, const QString& text)
{
    if (level > ReportLevel) return;
    statusText_ = text;
    if (OnStatus) OnStatus(*this, text);
}

QString TPowersock::ErrorManager(int toleratedError)
{
    StatusMessage(16, QStringLiteral("Checking Error In Error Manager"));
    // lastErrorNo_ holds the error of the last failed socket notification.
    if (lastErrorNo_ == toleratedError) return {};
    const QString message = LookupErrorMessage(lastErrorNo_, {});
    if (OnError) OnError(*this, static_cast<quint16>(lastErrorNo_), message);
    throw ESockError(message);
}

QString TPowersock::LookupErrorMessage(int number, QString message)
{
    if (number != 0 && message.isEmpty())
        message = QStringLiteral("Unknown Error No. ") + QString::number(number);
    StatusMessage(8, QStringLiteral("Looking Up Error Message") + message);
    return message;
}

void TPowersock::SetReply(const QByteArray& line, qint64 number)
{
    lastReply_ = line;
    replyNumber_ = number;
}

// ------------------------------------------------------------- time-out

void TPowersock::TimerOn()
{
    StatusMessage(8, QStringLiteral("Timer On"));
    timedOut_ = false;
    timer_.SetInterval(static_cast<unsigned>(std::max(TimeOut, 0)));
    timer_.SetEnabled(true);
}

void TPowersock::TimerOff()
{
    StatusMessage(8, QStringLiteral("Timer Off"));
    timer_.SetEnabled(false);
}

void TPowersock::TimerHandler()
{
    // A transfer that moved since the last tick has not timed out: it stalls
    // only after between one and two TimeOuts without progress.
    if (progressRestartsTimer_ && std::exchange(progressSinceTick_, false)) return;
    if (progressProbe_ && progressProbe_()) return;
    TimerOff();
    timedOut_ = true;
    Abort();
    StatusMessage(8, QStringLiteral("Timer Triggered"));
}

}  // namespace velmora