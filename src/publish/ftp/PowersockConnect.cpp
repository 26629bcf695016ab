// Reaching the peer: host lookup, connecting, listening for and accepting
// a connection, and the addresses and ports as FTP writes them.

#include <QHostInfo>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <utility>

#include "publish/FtpErrors.h"
#include "publish/ftp/Powersock.h"

namespace velmora {

namespace {

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

// ------------------------------------------------------------ notifications

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

}  // namespace velmora
