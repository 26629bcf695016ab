#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <map>
#include <vector>

namespace velmora::test {

// One step of the scripted server's answer to a command.
struct ServerAction {
    enum class Kind {
        Send,            // bytes on the control connection
        Drip,            // bytes on the control connection, one per millisecond
        CloseControl,    // close the control connection (after what is queued,
                         // and after the reply to the data when one waits for it)
        ConnectData,     // connect to the address of the last PORT (not after EPSV, PASV)
        ReplyAfterData,  // bytes on the control connection once the data has ended
        AbortDataAfter,  // reset the data connection after `count` bytes, then send bytes
        Flood,           // bytes without a line end, without end
        ListenData,      // listen for a passive data connection, then send bytes
        SlowData,        // the data connections read `count` bytes a second
        Intruder,        // a connection to the PORT address from the address in bytes
        SwallowInput,    // take no more commands: the rest is TLS, or noise
    };
    Kind kind;
    QByteArray bytes;
    qint64 count = 0;
};

ServerAction send(const QByteArray& bytes);
ServerAction drip(const QByteArray& bytes);
ServerAction closeControl();
ServerAction connectData();
ServerAction replyAfterData(const QByteArray& bytes);
ServerAction abortDataAfter(qint64 count, const QByteArray& thenSend);
ServerAction flood();
// Listens on 127.0.0.1 and a free port, then sends `reply` with "{port}"
// replaced by the port and "{p1,p2}" by its two PASV numbers.
ServerAction listenData(const QByteArray& reply);
ServerAction slowData(qint64 bytesPerSecond);
// Before the data connection of the next ConnectData, another program
// connects to the announced port from `from`; the real connection waits
// until the client has closed that one.
ServerAction intruder(const QByteArray& from);
// Takes no more commands; the first bytes that come afterwards (a TLS
// handshake, say) are answered with `answer`.
ServerAction swallowInput(const QByteArray& answer = {});

using Actions = std::vector<ServerAction>;

// What the server does on connection and on each command verb. A verb
// without an entry gets the well-behaved answer of defaultScript().
struct ServerScript {
    Actions greeting;
    std::map<QByteArray, Actions> onCommand;
    // A session opened while another is open is held open and never
    // greeted, as by a server too busy to take it, rather than turned away.
    bool holdLaterSessions = false;
};

// 220 greeting, USER 331, PASS 230, TYPE 200, PORT 200, EPSV 229 and
// PASV 227 with a listening data port, STOR 150 with the data connection
// (connected to the PORT address in active mode) and 226 after it, MKD 257,
// QUIT 221 and close.
ServerScript defaultScript();

// An FTP server on 127.0.0.1 and a free port that follows a script, in this
// process and on this thread: the client's waits run it. It records every
// line the client sent and the bytes of every data connection.
class ScriptedFtpServer : public QObject {
public:
    explicit ScriptedFtpServer(ServerScript script = defaultScript());
    ~ScriptedFtpServer() override;

    quint16 port() const { return server_.serverPort(); }
    // Lines the client sent, without their line ends.
    const QList<QByteArray>& transcript() const { return transcript_; }
    // The bytes that arrived on each data connection, in order.
    const QList<QByteArray>& dataReceived() const { return data_; }
    int controlConnections() const { return connections_; }
    // Sessions turned away while one was open.
    int refusedConnections() const { return refused_; }
    // Whether an intruder's connection was closed by the client, and the
    // bytes that reached it.
    bool intruderClosed() const { return intruderClosed_; }
    qint64 intruderBytes() const { return intruderBytes_; }

private:
    void onControlConnection();
    void onControlReadable();
    void run(const Actions& actions);
    void write(const QByteArray& bytes);
    void dripNext();
    void floodMore();
    void connectDataSocket();
    void onDataReadable();
    void onDataEnded();
    void useDataSocket(QTcpSocket* socket);
    void finishData();
    void readSlowly();
    void connectIntruder(const QByteArray& from);

    ServerScript script_;
    ServerScript defaults_;
    QTcpServer server_;
    QTcpSocket* control_ = nullptr;
    QTcpSocket* dataSocket_ = nullptr;
    QTcpServer* dataServer_ = nullptr;
    QTcpSocket* intruder_ = nullptr;
    bool intruderClosed_ = false;
    int refused_ = 0;
    qint64 intruderBytes_ = 0;
    bool connectAfterIntruder_ = false;
    qint64 dataRate_ = 0;
    QTimer slowTimer_;
    bool swallowing_ = false;
    bool passiveMode_ = false;
    QByteArray swallowAnswer_;
    QByteArray pendingInput_;
    QByteArray dripQueue_;
    bool closeAfterDrip_ = false;
    bool flooding_ = false;
    QTimer dripTimer_;
    QHostAddress portAddress_;
    quint16 portPort_ = 0;
    QByteArray afterData_;
    bool dataEnded_ = false;
    bool afterDataPending_ = false;
    bool closeAfterData_ = false;
    qint64 abortAfter_ = -1;
    QByteArray afterAbort_;
    QList<QByteArray> transcript_;
    QList<QByteArray> data_;
    int connections_ = 0;
};

}  // namespace velmora::test
