#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <functional>
#include <memory>

#include "publish/ftp/ByteBuffer.h"
#include "publish/ftp/HandlerFailure.h"
#include "publish/ftp/ThreadTimer.h"
#include "publish/ftp/TlsSettings.h"

class QFile;
class QHostInfo;
class QSslError;
class QSslSocket;
class QTcpServer;

namespace velmora {

// One TCP connection, event-driven on the GUI thread: host lookup,
// connect, or listen for and accept one incoming connection; text lines and
// whole files out, lines and counted blocks in; TLS started on demand.
// Operations that must wait run the event loop until their condition holds
// (EventWait), so this instance's socket events, other instances' events,
// timers and the user's input are all handled inside the wait. Every wait
// also ends when the connection is lost, on a socket error, on Cancel and,
// where TimeOut is not 0, when the time-out timer expires. A name is looked
// up for its IPv4 address first, its IPv6 address only when it has none.
class TPowersock : public QObject {
public:
    using TNotifyEvent = std::function<void(TPowersock& sender)>;
    using THandlerEvent = std::function<void(bool& handled)>;
    using TOnHostResolved = std::function<void(TPowersock& sender)>;
    using TOnStatus = std::function<void(TPowersock& sender, const QString& status)>;
    using TOnErrorEvent =
        std::function<void(TPowersock& sender, quint16 Errno, const QString& Errmsg)>;

    // Received and sent bytes move in chunks of at most this size.
    static constexpr qsizetype kChunkSize = 16383;
    // A reply line without its LF after this many bytes is refused rather
    // than kept growing.
    static constexpr qsizetype kMaxLineLength = 1024 * 1024;
    // Names are refused from this length on.
    static constexpr qsizetype kMaxHostNameLength = 128;

    explicit TPowersock(QObject* owner = nullptr);
    ~TPowersock() override;

    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // Published properties and events.
    QString Host;     // name or dotted IPv4 address to connect to
    int Port = 0;     // port to connect to; for Listen the local port (0: any)
    int TimeOut = 0;  // milliseconds; 0 means no time-out timer
    int ReportLevel = 0;
    TNotifyEvent OnDisconnect;
    TNotifyEvent OnConnect;
    THandlerEvent OnInvalidHost;  // setting handled asks for one more lookup
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;

    // Published by derived components.
    TOnErrorEvent OnError;
    THandlerEvent OnConnectionRequired;  // setting handled claims a connection
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;
    QString Proxy;  // when not empty, resolved and connected to instead of Host
    int ProxyPort = 0;
    // Connections are made on a socket that can start TLS (StartTLS).
    bool CanStartTLS = false;
    // A failure raised by a handler of this instance while the event loop
    // runs it ends the operation that waits on the connection, which raises
    // it; with no operation waiting it is passed here (the application's
    // error display), or, without a receiver, raised by the next wait.
    HandlerFailure::Display OnHandlerFailure;

    virtual std::unique_ptr<QTcpSocket> Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual QByteArray Transaction(const QByteArray& command);
    virtual void Abort();

    void Close();
    void ResolveHost();
    // Listens on any local IPv4 address, or on `local` only.
    void Listen();
    void Listen(const QHostAddress& local);
    // While set, Accept takes a connection from this address only: any other
    // peer is closed at once and the wait goes on.
    void SetExpectedPeer(const QHostAddress& peer) { expectedPeer_ = peer; }
    // Makes an accepted connection this instance's socket; the listening
    // socket is closed.
    void UseSocket(std::unique_ptr<QTcpSocket> accepted);
    QByteArray GetLocalAddress() const;
    QByteArray GetPortString() const;
    // The port listened on, or else the connection's local port.
    quint16 LocalPort() const;
    void CertifyConnect();
    void Cancel();
    void StatusMessage(int level, const QString& text);
    QString ErrorManager(int toleratedError);
    QString LookupErrorMessage(int number, QString message);

    // Data transfer.
    void Writeln(QByteArrayView text);
    QByteArray ReadLn();
    QByteArray Read(quint16 count);
    // Sends a regular file, its path taken byte for byte.
    void SendFile(const QByteArray& localPath);
    void SendFile(const QString& localPath);  // a path the system gave as text

    // While set, the waits of this instance also end when `link` loses its
    // connection: a data connection gives up when its control connection
    // is gone.
    void SetLinkedConnection(const TPowersock* link) { link_ = link; }

    // TLS as the client on the connected socket (CanStartTLS must have been
    // set before the connection was made); returns once the handshake is
    // done. A certificate the settings do not accept raises
    // UntrustedServerError; nothing is sent over the connection before.
    void StartTLS(const TlsSettings& settings);
    bool Encrypted() const;
    QSslCertificate PeerCertificate() const;
    // The session of this TLS connection, to resume on another connection.
    QByteArray TlsSessionTicket() const;

    // Ends a connection over which a whole transfer went out, as the peer
    // expects: TLS close_notify when encrypted, then the end of the stream.
    // The peer may still be taking the bytes in; PendingSendBytes() keeps
    // telling how many it has not acknowledged until ReleaseSentStream().
    void CloseSending();
    qint64 PendingSendBytes() const;
    void ReleaseSentStream();

    bool Connected() const { return connected_; }
    bool Canceled() const { return canceled_; }
    bool TimedOut() const { return timedOut_; }
    bool Succeeded() const { return succeeded_; }
    // The address connected to: IPv4 as a number (0 for IPv6), or whole.
    quint32 RemoteAddress() const { return remoteAddress_; }
    QHostAddress RemoteHostAddress() const { return remoteHost_; }
    QHostAddress PeerAddress() const { return peerAddress_; }
    QHostAddress LocalHostAddress() const;
    qint64 ReplyNumber() const { return replyNumber_; }
    const QByteArray& LastReply() const { return lastReply_; }
    qint64 BytesSent() const { return bytesSent_; }
    qint64 BytesRecvd() const { return bytesRecvd_; }
    qint64 BytesTotal() const { return bytesTotal_; }
    void SetBytesTotal(qint64 total) { bytesTotal_ = total; }
    int LastErrorNo() const { return lastErrorNo_; }
    const QString& StatusText() const { return statusText_; }
    qsizetype PendingInput() const { return inBuffer_.size(); }
    const TThreadTimer& Timer() const { return timer_; }

protected:
    // Keeps the time-out timer running from its construction to its end,
    // unless an enclosing scope runs it already: one deadline for all the
    // waits inside, such as a command and every line of its reply.
    class TimerScope {
    public:
        explicit TimerScope(TPowersock& sock);
        ~TimerScope();
        TimerScope(const TimerScope&) = delete;
        TimerScope& operator=(const TimerScope&) = delete;

    private:
        TPowersock& sock_;
        bool armed_;
    };

    void ClearCanceled() { canceled_ = false; }
    // While set, a time-out tick also lets the wait go on when this reports
    // that the transfer moved since it was last asked.
    void SetProgressProbe(std::function<bool()> probe) { progressProbe_ = std::move(probe); }
    void SetReply(const QByteArray& line, qint64 number);
    // A wait of this instance ended on a time-out or a lost connection, so
    // the peer's replies can no longer be matched to commands.
    bool Stalled() const { return stalled_; }
    // Sends what can go without waiting; for closing from a destructor.
    void WriteNow(QByteArrayView bytes);

    // The connection has been set up. The socket layer raises OnConnect;
    // a protocol on top may put its own event in its place.
    virtual void ConnectNotified();

private:
    enum class WaitEnd { Done, Canceled, TimedOut, Lost };
    enum class Lookup { Resolved, TimedOut, Canceled, Failed };

    WaitEnd waitFor(const std::function<bool()>& done, bool needsConnection);
    // Runs a handler of a socket notification, carrying its failure on.
    template <typename Handler>
    void dispatch(Handler&& handler)
    {
        failures_.run(OnHandlerFailure, std::forward<Handler>(handler));
    }
    bool connectionGone() const;
    Lookup resolve();

    void attach(QTcpSocket* socket);
    QSslSocket* sslSocket() const;
    void onSslErrors(const QList<QSslError>& errors);
    void detachSocket();
    void freshSocket();
    void resetTransferState();

    void onConnected();
    void onPeerClosed();
    void onSocketError(int qtError);
    void onBytesWritten();
    void onLookupDone(const QHostInfo& info);
    void onNewConnection();
    void onEncrypted();
    void onAcceptError(int qtError);

    void ReadToStream();
    void WriteFromStream();
    void postRead();
    void postWrite();
    void postOnce(bool& posted, void (TPowersock::*step)());
    bool hasWriteWork() const;

    void TimerOn();
    void TimerOff();
    void TimerHandler();

    TThreadTimer timer_;
    HandlerFailure failures_;
    QTcpSocket* socket_ = nullptr;  // a child of this instance
    QTcpServer* server_ = nullptr;  // while listening; a child of this instance
    QTcpSocket* accepted_ = nullptr;  // the expected peer's connection, until Accept
    QHostAddress expectedPeer_;
    const TPowersock* link_ = nullptr;
    int lookupId_ = -1;

    quint32 remoteAddress_ = 0;
    QHostAddress remoteHost_;
    QHostAddress lookedUp_;
    QHostAddress peerAddress_;
    ByteBuffer inBuffer_;
    ByteBuffer outBuffer_;
    QFile* file_ = nullptr;  // during SendFile, in place of outBuffer_
    QByteArray fileChunk_;   // one chunk of it, kept between chunks
    qint64 fileSize_ = 0;

    bool connected_ = false;
    bool canceled_ = false;
    bool timedOut_ = false;
    bool succeeded_ = true;
    bool eventSeen_ = false;
    bool sendDone_ = false;
    bool sendingFile_ = false;
    bool fileFailed_ = false;
    bool counting_ = false;
    bool busy_ = false;
    bool writing_ = false;
    bool destroying_ = false;
    int timerScopes_ = 0;
    bool progressRestartsTimer_ = false;  // during SendFile: time-outs count idle time
    bool progressSinceTick_ = false;
    bool stalled_ = false;
    std::function<bool()> progressProbe_;
    // TLS handshake state.
    bool encrypted_ = false;
    TlsSettings tls_;
    QByteArray rejectedFingerprint_;
    QString rejectedReasons_;
    // A second descriptor of a closed sending connection, held so that its
    // unacknowledged bytes can be counted (CloseSending).
    int sentStream_ = -1;
    bool readPosted_ = false;
    bool writePosted_ = false;
    bool readMissed_ = false;
    bool writeMissed_ = false;

    qint64 bytesSent_ = 0;
    qint64 bytesRecvd_ = 0;
    qint64 bytesTotal_ = 0;
    int lastErrorNo_ = 0;
    qint64 replyNumber_ = 0;
    QByteArray lastReply_;
    QString statusText_;
};

// ",4,26" for port 1050: the port's high byte, then its low byte, as PORT
// writes them.
QByteArray portText(quint16 port);
// "10,0,0,7" for 10.0.0.7.
QByteArray addressText(quint32 ipv4);

// Bytes a socket holds that have not gone out to the system yet, in the
// clear and, for TLS, encrypted.
qint64 queuedBytes(const QTcpSocket& socket);

// The error number of a socket failure, numbered as the sockets interface
// numbers them (10061 for a refused connection, ...).
int socketErrorNumber(int qtSocketError);

}  // namespace velmora
