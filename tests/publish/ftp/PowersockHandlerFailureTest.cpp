#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "publish/ftp/Powersock.h"
#include "support/QtPrint.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

template <typename Done>
bool eventually(Done done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return done() || clock.elapsed() >= ms; });
    return done();
}

QString failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const VelmoraError& e) {
        return e.text();
    }
    return QStringLiteral("no failure");
}

// A connected pair: the instance under test and the peer's end on
// 127.0.0.1.
struct Connection {
    Connection()
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        sock.Host = QStringLiteral("127.0.0.1");
        sock.Port = server.serverPort();
        sock.Connect();
        EXPECT_TRUE(eventually([this] { return server.hasPendingConnections(); }));
        peer = server.nextPendingConnection();
    }
    QTcpServer server;
    TPowersock sock;
    QTcpSocket* peer = nullptr;
};

// A protocol whose abort fails, as one on top may when the time-out
// timer stops its transfer.
class FailingAbort : public TPowersock {
public:
    void Abort() override { throw FTPException(QByteArray("426 abort refused")); }
};

const QString kHandlerText = QStringLiteral("handler failed");

void throwHandlerFailure() { throw VelmoraError(kHandlerText); }

TEST(PowersockHandlerFailureTest, AFailingHandlerEndsTheWaitingOperationWithItsFailure)
{
    struct Case {
        const char* name;
        std::function<void(Connection&, test::TempDir&)> arrange;
        std::function<void(TPowersock&, test::TempDir&)> operation;
    };
    const Case cases[] = {
        {"a sent chunk's handler during SendFile",
         [](Connection& c, test::TempDir& dir) {
             dir.write(QStringLiteral("page.htm"), QByteArray(50000, 'p'));
             c.sock.OnPacketSent = [](TPowersock&) { throwHandlerFailure(); };
         },
         [](TPowersock& s, test::TempDir& dir) { s.SendFile(dir.file(QStringLiteral("page.htm"))); }},
        {"the close handler while a line is awaited",
         [](Connection& c, test::TempDir&) {
             c.sock.OnDisconnect = [](TPowersock&) { throwHandlerFailure(); };
             c.peer->disconnectFromHost();
         },
         [](TPowersock& s, test::TempDir&) { s.ReadLn(); }},
        {"the connect handler of a second connection",
         [](Connection& c, test::TempDir&) {
             c.sock.Close();
             c.sock.OnConnect = [](TPowersock&) { throwHandlerFailure(); };
         },
         [](TPowersock& s, test::TempDir&) { s.Connect(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        Connection connection;
        connection.sock.TimeOut = 5000;
        QStringList shown;
        connection.sock.OnHandlerFailure = [&](const QString& text) { shown << text; };
        c.arrange(connection, dir);
        EXPECT_EQ(failureOf([&] { c.operation(connection.sock, dir); }), kHandlerText);
        EXPECT_TRUE(shown.isEmpty()) << "the waiting caller reports it, not the display";
    }
}

TEST(PowersockHandlerFailureTest, TheTimeOutsFailureReachesTheWaitingOperation)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    FailingAbort sock;
    sock.Host = QStringLiteral("127.0.0.1");
    sock.Port = server.serverPort();
    sock.Connect();
    sock.TimeOut = 100;
    EXPECT_EQ(failureOf([&] { sock.ReadLn(); }), QStringLiteral("426 abort refused"));
}

TEST(PowersockHandlerFailureTest, WithNothingWaitingTheFailureGoesToTheDisplayOnce)
{
    Connection connection;
    QStringList shown;
    connection.sock.OnHandlerFailure = [&](const QString& text) { shown << text; };
    connection.sock.OnDisconnect = [](TPowersock&) { throwHandlerFailure(); };
    connection.peer->disconnectFromHost();
    ASSERT_TRUE(eventually([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, QStringList{kHandlerText});
    // Shown once: the next operation meets the lost connection only.
    connection.sock.OnDisconnect = nullptr;
    EXPECT_EQ(failureOf([&] { connection.sock.ReadLn(); }), QStringLiteral("Connection Lost"));
}

TEST(PowersockHandlerFailureTest, WithoutADisplayTheNextWaitRaisesTheFailure)
{
    Connection connection;
    bool closed = false;
    connection.sock.OnDisconnect = [&](TPowersock&) {
        closed = true;
        throwHandlerFailure();
    };
    connection.peer->disconnectFromHost();
    ASSERT_TRUE(eventually([&] { return closed; }));
    connection.sock.OnDisconnect = nullptr;
    EXPECT_EQ(failureOf([&] { connection.sock.ReadLn(); }), kHandlerText);
    EXPECT_EQ(failureOf([&] { connection.sock.ReadLn(); }), QStringLiteral("Connection Lost"));
}

}  // namespace
}  // namespace velmora
