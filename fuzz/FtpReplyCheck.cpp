// The FTP client's reply handling against a peer that sends arbitrary
// bytes: an in-process server on 127.0.0.1 writes the input and closes.
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "FuzzChecks.h"
#include "base/Errors.h"
#include "publish/ftp/DataChannel.h"
#include "publish/ftp/ReplyLines.h"
#include "publish/ftp/VexFTP.h"

namespace velmora::fuzz {

namespace {

// Serves every connection with the current input, then closes it.
class StreamServer {
public:
    StreamServer()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "fuzz";
            static char* argv[] = {name, nullptr};
            app_ = std::make_unique<QCoreApplication>(argc, argv);
        }
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* peer = server_.nextPendingConnection()) {
                QObject::connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
                peer->write(stream_);
                peer->disconnectFromHost();
            }
        });
    }

    void serve(const QByteArray& stream) { stream_ = stream; }
    quint16 port() const { return server_.serverPort(); }

private:
    std::unique_ptr<QCoreApplication> app_;
    QTcpServer server_;
    QByteArray stream_;
};

StreamServer& server()
{
    static StreamServer instance;
    return instance;
}

template <typename Socket>
void aimAt(Socket& socket)
{
    socket.Host = QStringLiteral("127.0.0.1");
    socket.Port = server().port();
    socket.TimeOut = 5000;  // the peer closes at once; this only bounds a fault
}

// Every line ReadLn gives back ends in LF, and together they are the
// stream up to its last LF.
QString checkLines(const QByteArray& stream)
{
    TPowersock sock;
    aimAt(sock);
    QByteArray lines;
    try {
        sock.Connect();
        for (;;) {
            const QByteArray line = sock.ReadLn();
            if (!line.endsWith('\n') || line.left(line.size() - 1).contains('\n'))
                return QStringLiteral("a line that is not one line");
            lines += line;
        }
    } catch (const VelmoraError&) {
        // The peer closed: the only way this loop ends.
    }
    const qsizetype lastLf = stream.lastIndexOf('\n');
    if (lines != stream.left(lastLf + 1)) return QStringLiteral("lines differ from the stream");
    return {};
}

// A login ends in success or in one of the client's failures. A success
// rests on a TYPE reply that is no error, whose number is that of its line.
QString checkLogin()
{
    TVexFTP ftp;
    aimAt(ftp);
    ftp.UserID = "user";
    ftp.Password = "secret";
    bool loggedIn = false;
    ftp.OnConnect = [&](TPowersock&) { loggedIn = true; };
    try {
        ftp.Connect();
    } catch (const VelmoraError&) {
        if (loggedIn) return QStringLiteral("a failure after the login was reported");
    }
    if (ftp.ReplyNumber() < 0 || ftp.ReplyNumber() > 9999999999LL)
        return QStringLiteral("reply number out of range");
    if (loggedIn) {
        if (ftp.ReplyNumber() != replyNumberOf(ftp.LastReply()))
            return QStringLiteral("reply number and reply line disagree");
        if (isErrorReply(ftp.ReplyNumber())) return QStringLiteral("logged in on an error reply");
    }
    return {};
}

// The ports read from passive mode replies are ports, and the port a 229
// gave is the number written between its delimiters.
QString checkPassiveReplies(const QByteArray& stream)
{
    for (const QByteArray& line : stream.split('\n')) {
        if (const std::optional<quint16> port = extendedPassivePort(line)) {
            if (*port == 0) return QStringLiteral("port 0 from a 229");
            const qsizetype open = line.indexOf('(');
            const qsizetype end = line.indexOf(line[open + 1], open + 4);
            bool ok = false;
            if (end < 0 || line.mid(open + 4, end - open - 4).toInt(&ok) != *port || !ok)
                return QStringLiteral("a 229 port that is not the number written");
        }
        if (const std::optional<quint16> port = passivePort(line)) {
            if (*port == 0) return QStringLiteral("port 0 from a 227");
        }
    }
    return {};
}

}  // namespace

QString checkFtpReplies(const QByteArray& stream)
{
    if (const QString failure = checkPassiveReplies(stream); !failure.isEmpty()) return failure;
    server().serve(stream);
    if (const QString failure = checkLines(stream); !failure.isEmpty()) return failure;
    return checkLogin();
}

}  // namespace velmora::fuzz
