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
        CloseControl,    // close the control connection (after what is queued)
        ConnectData,     // connect to the address of the last PORT
        ReplyAfterData,  // bytes on the control connection once the data has ended
        AbortDataAfter,  // reset the data connection after `count` bytes, then send bytes
        Flood,           // bytes without a line end, without end
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

using Actions = std::vector<ServerAction>;

// What the server does on connection and on each command verb. A verb
// without an entry gets the well-behaved answer of defaultScript().
struct ServerScript {
    Actions greeting;
    std::map<QByteArray, Actions> onCommand;
};

// 220 greeting, USER 331, PASS 230, TYPE 200, PORT 200, STOR 150 with the
// data connection and 226 after it, QUIT 221 and close.
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

    ServerScript script_;
    ServerScript defaults_;
    QTcpServer server_;
    QTcpSocket* control_ = nullptr;
    QTcpSocket* dataSocket_ = nullptr;
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
    qint64 abortAfter_ = -1;
    QByteArray afterAbort_;
    QList<QByteArray> transcript_;
    QList<QByteArray> data_;
    int connections_ = 0;
};

}  // namespace velmora::test
