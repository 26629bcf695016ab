#include "publish/ftp/Powersock.h"

#include <QHostInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

#include "publish/EventWait.h"
#include "publish/FtpErrors.h"

namespace velmora {

namespace {

// Socket signals run inside the waits, deep in the event loop: a failure
// raised by a handler there must not unwind through Qt.
template <typename Handler>
void dispatch(Handler&& handler)
{
    try {
        handler();
    } catch (...) {
    }
}

// A host written as an address, IPv4 or IPv6, needs no lookup.
bool readLiteralAddress(const QString& name, QHostAddress& address)
{
    QHostAddress parsed;
    if (!parsed.setAddress(name)) return false;
    if (parsed.protocol() != QAbstractSocket::IPv4Protocol &&
        parsed.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    address = parsed;
    return true;
}

bool isNullAddress(const QHostAddress& address)
{
    return address.isNull() || (address.protocol() == QAbstractSocket::IPv4Protocol &&
                                address.toIPv4Address() == 0);
}

// Hands out accepted connections on sockets that can start TLS when asked.
class AcceptingServer : public QTcpServer {
public:
    AcceptingServer(bool tls, QObject* parent) : QTcpServer(parent), tls_(tls) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        addPendingConnection(socket);
    }

private:
    bool tls_;
};

quint16 checkedPort(int port)
{
    if (port < 0 || port > 65535) throw ESockError(QStringLiteral("Invalid Port"));
    return static_cast<quint16>(port);
}

}  // namespace

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
    timer_.SetOnTimer([this](TThreadTimer&) { TimerHandler(); });
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

void TPowersock::onLookupDone(const QHostInfo& info)
{
    lookupId_ = -1;
    lookedUp_.clear();
    if (info.error() == QHostInfo::NoError) {
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                lookedUp_ = address;
                break;
            }
            if (address.protocol() == QAbstractSocket::IPv6Protocol && lookedUp_.isNull())
                lookedUp_ = address;
        }
    }
    succeeded_ = !lookedUp_.isNull();
    eventSeen_ = true;
}

void TPowersock::onNewConnection()
{
    while (QTcpSocket* next = server_ ? server_->nextPendingConnection() : nullptr) {
        const bool expected =
            expectedPeer_.isNull() ||
            next->peerAddress().isEqual(expectedPeer_, QHostAddress::ConvertV4MappedToIPv4);
        if (accepted_ || !expected) {
            // Someone else, or a second connection: not the transfer's.
            StatusMessage(4, QStringLiteral("Refusing ") + next->peerAddress().toString());
            next->abort();
            next->deleteLater();
            continue;
        }
        accepted_ = next;
    }
    if (!accepted_) return;
    succeeded_ = true;
    eventSeen_ = true;
    connected_ = true;
}

void TPowersock::onAcceptError(int qtError)
{
    succeeded_ = false;
    eventSeen_ = true;
    lastErrorNo_ = socketErrorNumber(qtError);
}

// ---------------------------------------------------------------- waiting

TPowersock::WaitEnd TPowersock::waitFor(const std::function<bool()>& done, bool needsConnection)
{
    EventWait wait;
    for (;;) {
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

// ------------------------------------------------------------ host lookup

TPowersock::Lookup TPowersock::resolve()
{
    StatusMessage(8, QStringLiteral("Resolve Host"));
    const QString name = Proxy.isEmpty() ? Host : Proxy;
    // Longer names are no host names; refused outright rather than cut.
    if (name.toUtf8().size() >= kMaxHostNameLength)
        throw ESockError(QStringLiteral("Host Name Too Long"));
    QHostAddress literal;
    if (readLiteralAddress(name, literal)) {
        remoteHost_ = literal;
        remoteAddress_ = literal.toIPv4Address();
        return Lookup::Resolved;
    }

    remoteAddress_ = 0;
    remoteHost_.clear();
    {
        TimerScope timer(*this);
        eventSeen_ = false;
        lookupId_ = QHostInfo::lookupHost(name, this, [this](const QHostInfo& info) {
            dispatch([this, &info] { onLookupDone(info); });
        });
        waitFor([this] { return eventSeen_; }, false);
    }
    if (lookupId_ >= 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    if (timedOut_) return Lookup::TimedOut;
    if (canceled_) return Lookup::Canceled;
    if (!succeeded_ || !eventSeen_) return Lookup::Failed;
    remoteHost_ = lookedUp_;
    remoteAddress_ = lookedUp_.toIPv4Address();
    if (OnHostResolved) OnHostResolved(*this);
    return Lookup::Resolved;
}

void TPowersock::ResolveHost()
{
    switch (resolve()) {
    case Lookup::Resolved: return;
    case Lookup::TimedOut: throw ESockError(QStringLiteral("Host Lookup Timed Out"));
    case Lookup::Canceled: throw ESockError(QStringLiteral("Host Lookup Canceled"));
    case Lookup::Failed: throw ESockError(QStringLiteral("Host Lookup Failed"));
    }
}

// ---------------------------------------------------------------- connect

void TPowersock::Connect()
{
    canceled_ = false;
    if (connected_) throw ESockError(QStringLiteral("Already connected"));
    // A connection the peer closed leaves its socket and any unread bytes
    // behind; the new connection starts on a fresh socket with empty buffers,
    // one that can start TLS when that is asked for.
    const bool tlsSocket = sslSocket() != nullptr;
    if (socket_ &&
        (socket_->state() != QAbstractSocket::UnconnectedState || tlsSocket != CanStartTLS)) {
        detachSocket();
        freshSocket();
    }
    resetTransferState();
    lastErrorNo_ = 0;

    for (int pass = 0;; ++pass) {
        switch (resolve()) {
        case Lookup::TimedOut: throw ESockError(QStringLiteral("Host Lookup Timed Out"));
        case Lookup::Canceled: throw ESockError(QStringLiteral("Host Lookup Canceled"));
        case Lookup::Failed: remoteAddress_ = 0; break;
        case Lookup::Resolved: break;
        }
        if (!isNullAddress(remoteHost_)) break;
        if (pass == 0 && OnInvalidHost) {
            bool handled = false;
            OnInvalidHost(handled);
            if (handled) continue;
        }
        throw ESockError(QStringLiteral("Null Remote Address"));
    }

    StatusMessage(8, QStringLiteral("Connecting"));
    const quint16 port = checkedPort(Proxy.isEmpty() ? Port : ProxyPort);
    eventSeen_ = false;
    succeeded_ = true;
    socket_->connectToHost(remoteHost_, port);
    {
        TimerScope timer(*this);
        waitFor([this] { return connected_ || !succeeded_; }, false);
    }
    if (!timedOut_ && !canceled_ && succeeded_ && connected_) {
        stalled_ = false;
        return;
    }

    const bool timedOut = timedOut_;
    const bool canceled = canceled_;
    // Stop the attempt; a later Connect starts on a fresh socket.
    connected_ = false;
    detachSocket();
    freshSocket();
    if (OnConnectionFailed) OnConnectionFailed(*this);
    if (timedOut) throw ESockError(QStringLiteral("Connection Timed Out"));
    if (canceled) throw ESockError(QStringLiteral("Connection Canceled"));
    throw ESockError(QStringLiteral("Connection Failed"));
}

// ------------------------------------------------------- listen and accept

void TPowersock::Listen() { Listen(QHostAddress(QHostAddress::AnyIPv4)); }

void TPowersock::Listen(const QHostAddress& local)
{
    StatusMessage(8, QStringLiteral("Listening"));
    eventSeen_ = false;
    succeeded_ = true;
    lastErrorNo_ = 0;
    if (server_) {
        server_->disconnect(this);
        server_->deleteLater();
    }
    accepted_ = nullptr;
    server_ = new AcceptingServer(CanStartTLS, this);
    server_->setMaxPendingConnections(1);
    server_->setListenBacklogSize(1);
    connect(server_, &QTcpServer::newConnection, this,
            [this] { dispatch([this] { onNewConnection(); }); });
    connect(server_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        dispatch([this, error] { onAcceptError(error); });
    });
    if (!server_->listen(local, checkedPort(Port))) {
        lastErrorNo_ = socketErrorNumber(server_->serverError());
        const QString message = LookupErrorMessage(lastErrorNo_, server_->errorString());
        if (OnError) OnError(*this, static_cast<quint16>(lastErrorNo_), message);
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    }
}

std::unique_ptr<QTcpSocket> TPowersock::Accept()
{
    if (!server_) throw ESockError(QStringLiteral("Error creating Data Connection"));
    WaitEnd end;
    {
        TimerScope timer(*this);
        end = waitFor([this] { return eventSeen_; }, false);
    }
    switch (end) {
    case WaitEnd::Done: break;
    case WaitEnd::Canceled: throw EAbortError(QStringLiteral("Socket accept aborted"));
    case WaitEnd::TimedOut: throw ESockError(QStringLiteral("Data Connection Timed Out"));
    case WaitEnd::Lost: throw ESockError(QStringLiteral("Connection Lost"));
    }
    if (!succeeded_) throw ESockError(QStringLiteral("Error creating Data Connection"));
    StatusMessage(4, QStringLiteral("Accepting"));
    QTcpSocket* accepted = std::exchange(accepted_, nullptr);
    if (!accepted) throw ESockError(QStringLiteral("Error creating Data Connection"));
    accepted->setParent(nullptr);
    peerAddress_ = accepted->peerAddress();
    return std::unique_ptr<QTcpSocket>(accepted);
}

void TPowersock::UseSocket(std::unique_ptr<QTcpSocket> accepted)
{
    if (server_) {
        server_->disconnect(this);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
        accepted_ = nullptr;
    }
    detachSocket();
    encrypted_ = false;
    socket_ = accepted.release();
    socket_->setParent(this);
    attach(socket_);
    connected_ = socket_->state() == QAbstractSocket::ConnectedState;
    succeeded_ = true;
    if (socket_->bytesAvailable() > 0) postRead();
}

QByteArray portText(quint16 port)
{
    return ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
}

QByteArray addressText(quint32 ipv4)
{
    return QByteArray::number((ipv4 >> 24) & 0xff) + ',' + QByteArray::number((ipv4 >> 16) & 0xff) +
           ',' + QByteArray::number((ipv4 >> 8) & 0xff) + ',' + QByteArray::number(ipv4 & 0xff);
}

QHostAddress TPowersock::LocalHostAddress() const
{
    return socket_ ? socket_->localAddress() : QHostAddress();
}

QByteArray TPowersock::GetLocalAddress() const
{
    bool ok = false;
    const quint32 address = socket_ ? socket_->localAddress().toIPv4Address(&ok) : 0;
    return addressText(ok ? address : 0);
}

quint16 TPowersock::LocalPort() const
{
    if (server_ && server_->isListening()) return server_->serverPort();
    return socket_ ? socket_->localPort() : 0;
}

QByteArray TPowersock::GetPortString() const { return portText(LocalPort()); }

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
