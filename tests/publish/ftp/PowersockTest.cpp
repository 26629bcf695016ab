#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTimer>
#include <map>

#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "publish/ftp/Powersock.h"
#include "support/QtPrint.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

// Runs events until `done` holds or `ms` have passed; true when it holds.
template <typename Done>
bool eventually(Done done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return done() || clock.elapsed() >= ms; });
    return done();
}

// The far end of a test connection: a listening socket on 127.0.0.1 and
// the connection it accepted, with everything that arrived on it.
class LocalPeer {
public:
    LocalPeer()
    {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            socket_ = server_.nextPendingConnection();
            QObject::connect(socket_, &QTcpSocket::readyRead,
                             [this] { received += socket_->readAll(); });
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QTcpSocket* socket()
    {
        EXPECT_TRUE(eventually([this] { return socket_ != nullptr; }));
        return socket_;
    }
    void send(const QByteArray& bytes) { socket()->write(bytes); }

    QByteArray received;

private:
    QTcpServer server_;
    QTcpSocket* socket_ = nullptr;
};

// A port on 127.0.0.1 that nobody listens on.
quint16 closedPort()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return probe.serverPort();
}

void connectTo(TPowersock& sock, LocalPeer& peer)
{
    sock.Host = QStringLiteral("127.0.0.1");
    sock.Port = peer.port();
    sock.Connect();
    ASSERT_TRUE(sock.Connected());
    ASSERT_NE(peer.socket(), nullptr);
}

template <typename Failure, typename Operation>
QString failureOf(Operation&& operation)
{
    try {
        operation();
    } catch (const Failure& e) {
        return e.text();
    } catch (const VelmoraError& e) {
        return QStringLiteral("other failure: ") + e.text();
    }
    return QStringLiteral("no failure");
}

// ------------------------------------------------------------ formatting

TEST(PortTextTest, HighByteThenLowByte)
{
    EXPECT_EQ(portText(1050), QByteArray(",4,26"));
    EXPECT_EQ(portText(255), QByteArray(",0,255"));
    EXPECT_EQ(portText(256), QByteArray(",1,0"));
    EXPECT_EQ(portText(65535), QByteArray(",255,255"));
    EXPECT_EQ(addressText(0x0a000007), QByteArray("10,0,0,7"));
    EXPECT_EQ(addressText(0xc0a80105), QByteArray("192,168,1,5"));
}

// --------------------------------------------------------------- connect

TEST(PowersockConnectTest, ADottedAddressConnectsWithoutALookup)
{
    LocalPeer peer;
    TPowersock sock;
    int resolved = 0, connected = 0;
    sock.OnHostResolved = [&](TPowersock&) { ++resolved; };
    sock.OnConnect = [&](TPowersock&) { ++connected; };
    connectTo(sock, peer);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(sock.RemoteAddress(), 0x7f000001u);
    EXPECT_EQ(sock.GetLocalAddress(), QByteArray("127,0,0,1"));
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }), QStringLiteral("Already connected"));
}

TEST(PowersockConnectTest, AHostNameIsLookedUpFirst)
{
    LocalPeer peer;
    TPowersock sock;
    int resolved = 0;
    sock.OnHostResolved = [&](TPowersock&) { ++resolved; };
    sock.Host = QStringLiteral("localhost");
    sock.Port = peer.port();
    sock.TimeOut = 10000;
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(sock.RemoteAddress(), 0x7f000001u);
}

TEST(PowersockConnectTest, AnUnknownHostGetsOneRetryThroughOnInvalidHost)
{
    TPowersock sock;
    int asked = 0;
    sock.OnInvalidHost = [&](bool&) { ++asked; };
    sock.Host = QString();  // resolves to nothing, without any network traffic
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }),
              QStringLiteral("Null Remote Address"));
    EXPECT_EQ(asked, 1);

    LocalPeer peer;
    sock.Port = peer.port();
    sock.OnInvalidHost = [&](bool& handled) {
        ++asked;
        sock.Host = QStringLiteral("127.0.0.1");
        handled = true;
    };
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(asked, 2);

    TPowersock stubborn;
    int tries = 0;
    stubborn.OnInvalidHost = [&](bool& handled) {
        ++tries;
        handled = true;
    };
    EXPECT_EQ(failureOf<ESockError>([&] { stubborn.Connect(); }),
              QStringLiteral("Null Remote Address"));
    EXPECT_EQ(tries, 1) << "one retry only";
}

TEST(PowersockConnectTest, NamesOf128CharactersOrMoreAreRefused)
{
    TPowersock sock;
    int asked = 0;
    sock.OnInvalidHost = [&](bool&) { ++asked; };
    sock.Host = QString(128, u'a');
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }), QStringLiteral("Host Name Too Long"));
    sock.Host = QStringLiteral("127.0.0.1");
    sock.Proxy = QString(200, u'p');
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }), QStringLiteral("Host Name Too Long"));
    EXPECT_EQ(asked, 0);

    // 127 characters go to the lookup like any other name (here one that
    // cannot resolve: a label longer than 63 characters).
    sock.Proxy.clear();
    sock.Host = QString(127, u'a');
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }),
              QStringLiteral("Null Remote Address"));
    EXPECT_EQ(asked, 1);
}

TEST(PowersockConnectTest, ARefusedConnectionFailsAndTheInstanceStaysUsable)
{
    TPowersock sock;
    QStringList events;
    sock.OnConnectionFailed = [&](TPowersock&) { events << QStringLiteral("failed"); };
    sock.Host = QStringLiteral("127.0.0.1");
    sock.Port = closedPort();
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }), QStringLiteral("Connection Failed"));
    EXPECT_EQ(events, QStringList{QStringLiteral("failed")});
    EXPECT_FALSE(sock.Connected());
    EXPECT_EQ(sock.LastErrorNo(), 10061);

    LocalPeer peer;
    connectTo(sock, peer);
    EXPECT_TRUE(sock.Connected());
}

TEST(PowersockErrorTest, ErrorManagerToleratesOneNumberAndRaisesTheRest)
{
    TPowersock sock;
    EXPECT_EQ(sock.LookupErrorMessage(0, {}), QString());
    EXPECT_EQ(sock.LookupErrorMessage(5, {}), QStringLiteral("Unknown Error No. 5"));
    EXPECT_EQ(sock.LookupErrorMessage(5, QStringLiteral("given")), QStringLiteral("given"));

    sock.Host = QStringLiteral("127.0.0.1");
    sock.Port = closedPort();
    EXPECT_THROW(sock.Connect(), ESockError);
    ASSERT_EQ(sock.LastErrorNo(), 10061);
    QList<std::pair<int, QString>> errors;
    sock.OnError = [&](TPowersock&, quint16 number, const QString& message) {
        errors.append({number, message});
    };
    EXPECT_EQ(sock.ErrorManager(10061), QString());
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(failureOf<ESockError>([&] { sock.ErrorManager(10035); }),
              QStringLiteral("Unknown Error No. 10061"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].first, 10061);
    EXPECT_EQ(errors[0].second, QStringLiteral("Unknown Error No. 10061"));
}

// A listening socket whose one-place queue is taken: further connection
// attempts get no answer at all.
class SilentHost {
public:
    SilentHost()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(listener_, 0), 0);
        EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
        filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(filler_, reinterpret_cast<sockaddr*>(&address), length), 0);
    }
    ~SilentHost()
    {
        ::close(filler_);
        ::close(listener_);
    }
    quint16 port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    quint16 port_ = 0;
};

TEST(PowersockConnectTest, AHostThatNeverAnswersTimesOut)
{
    SilentHost host;
    TPowersock sock;
    QStringList events;
    sock.OnConnectionFailed = [&](TPowersock&) { events << QStringLiteral("failed"); };
    sock.Host = QStringLiteral("127.0.0.1");
    sock.Port = host.port();
    sock.TimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }),
              QStringLiteral("Connection Timed Out"));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(events, QStringList{QStringLiteral("failed")});
    EXPECT_TRUE(sock.TimedOut());
    EXPECT_FALSE(sock.Connected());
}

TEST(PowersockConnectTest, CancelEndsAConnectionAttempt)
{
    SilentHost host;
    TPowersock sock;
    sock.Host = QStringLiteral("127.0.0.1");
    sock.Port = host.port();
    QTimer::singleShot(50, [&] { sock.Cancel(); });
    EXPECT_EQ(failureOf<ESockError>([&] { sock.Connect(); }),
              QStringLiteral("Connection Canceled"));
}

TEST(PowersockConnectTest, CloseRaisesOnDisconnectAndLeavesAFreshSocket)
{
    LocalPeer peer;
    TPowersock sock;
    int disconnects = 0;
    sock.OnDisconnect = [&](TPowersock&) { ++disconnects; };
    connectTo(sock, peer);
    sock.Close();
    EXPECT_FALSE(sock.Connected());
    EXPECT_EQ(disconnects, 1);
    EXPECT_TRUE(eventually(
        [&] { return peer.socket()->state() != QAbstractSocket::ConnectedState; }));

    LocalPeer second;
    connectTo(sock, second);
    EXPECT_TRUE(sock.Connected());
}

TEST(PowersockConnectTest, ThePeersCloseClearsConnectedAndAReconnectStartsClean)
{
    LocalPeer peer;
    TPowersock sock;
    int disconnects = 0;
    sock.OnDisconnect = [&](TPowersock&) { ++disconnects; };
    connectTo(sock, peer);
    peer.send("stale line\r\npartial");
    peer.socket()->disconnectFromHost();
    EXPECT_TRUE(eventually([&] { return !sock.Connected(); }));
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(sock.ReadLn(), QByteArray("stale line\r\n")) << "bytes sent before the close";

    LocalPeer second;
    connectTo(sock, second);
    second.send("fresh\r\n");
    EXPECT_EQ(sock.ReadLn(), QByteArray("fresh\r\n"));
}

TEST(PowersockConnectTest, StatusTextsAreReportedUpToReportLevel)
{
    LocalPeer peer;
    std::map<int, QStringList> seen;
    for (int level : {8, 4, 0}) {
        TPowersock sock;
        QStringList log;
        sock.ReportLevel = level;
        sock.OnStatus = [&log](TPowersock&, const QString& text) { log << text; };
        connectTo(sock, peer);
        sock.Disconnect();
        EXPECT_EQ(sock.StatusText(), log.isEmpty() ? QString() : log.last());
        seen[level] = log;
    }
    for (const char* text : {"Resolve Host", "Connecting", "Disconnecting", "Request Close Socket"})
        EXPECT_TRUE(seen[8].contains(QLatin1String(text))) << text;
    EXPECT_EQ(seen[4], QStringList{QStringLiteral("Request Close Socket")});
    EXPECT_TRUE(seen[0].isEmpty());
}

// ----------------------------------------------------------- lines in

TEST(PowersockReadTest, ALineInPiecesComesWholeOnceItsLineFeedArrives)
{
    LocalPeer peer;
    TPowersock sock;
    connectTo(sock, peer);
    QTimer::singleShot(5, [&] { peer.send("220 Ser"); });
    QTimer::singleShot(30, [&] { peer.send("vice re"); });
    QTimer::singleShot(60, [&] { peer.send("ady\r"); });
    QTimer::singleShot(90, [&] { peer.send("\nnext\r\nlast"); });
    EXPECT_EQ(sock.ReadLn(), QByteArray("220 Service ready\r\n"));
    EXPECT_EQ(sock.PendingInput(), 10) << "the second line is already here";
    EXPECT_EQ(sock.ReadLn(), QByteArray("next\r\n"));
    EXPECT_EQ(sock.Read(0), QByteArray("last"));
}

TEST(PowersockReadTest, ReadTakesACountOrAllThatIsPresent)
{
    LocalPeer peer;
    TPowersock sock;
    connectTo(sock, peer);
    QTimer::singleShot(20, [&] { peer.send("abc"); });
    QTimer::singleShot(40, [&] { peer.send("defg"); });
    EXPECT_EQ(sock.Read(5), QByteArray("abcde"));
    EXPECT_EQ(sock.Read(0), QByteArray("fg"));
    EXPECT_EQ(sock.PendingInput(), 0);
}

TEST(PowersockReadTest, TransactionSendsTheLineAndNumbersTheReply)
{
    LocalPeer peer;
    TPowersock sock;
    QStringList protocol;
    sock.ReportLevel = 1;
    sock.OnStatus = [&](TPowersock&, const QString& text) { protocol << text; };
    connectTo(sock, peer);
    struct Case {
        QByteArray reply;
        qint64 number;
    };
    const Case cases[] = {{"220 ready\r\n", 220},
                          {"no digits\r\n", 0},
                          {"12345678901 eleven\r\n", 1234567890},
                          {"65957 wide\r\n", 65957}};
    for (const Case& c : cases) {
        QObject::connect(peer.socket(), &QTcpSocket::readyRead, peer.socket(),
                         [&] { peer.socket()->write(c.reply); }, Qt::SingleShotConnection);
        EXPECT_EQ(sock.Transaction("NOOP"), c.reply);
        EXPECT_EQ(sock.ReplyNumber(), c.number) << c.reply.constData();
        EXPECT_EQ(sock.LastReply(), c.reply);
    }
    EXPECT_TRUE(eventually([&] { return peer.received.size() == 4 * 6; }));
    EXPECT_EQ(peer.received, QByteArray("NOOP\r\n").repeated(4));
    EXPECT_EQ(protocol.size(), 4);
    EXPECT_EQ(protocol[0], QStringLiteral("220 ready\r\n"));
}

TEST(PowersockReadTest, WritelnOfNothingSendsCrLfAlone)
{
    LocalPeer peer;
    TPowersock sock;
    connectTo(sock, peer);
    sock.Writeln("");
    sock.Writeln("USER x");
    EXPECT_TRUE(eventually([&] { return peer.received.size() >= 10; }));
    EXPECT_EQ(peer.received, QByteArray("\r\nUSER x\r\n"));
}

TEST(PowersockReadTest, EveryReadWaitEnds)
{
    struct Case {
        const char* name;
        std::function<void(TPowersock&, LocalPeer&)> arrange;
        std::function<void(TPowersock&)> wait;
        QString failure;
    };
    const Case cases[] = {
        {"peer closes mid-line",
         [](TPowersock&, LocalPeer& peer) {
             peer.send("220 half a li");
             peer.socket()->disconnectFromHost();
         },
         [](TPowersock& s) { s.ReadLn(); }, QStringLiteral("Connection Lost")},
        {"peer closes before a block is whole",
         [](TPowersock&, LocalPeer& peer) {
             peer.send("abc");
             peer.socket()->disconnectFromHost();
         },
         [](TPowersock& s) { s.Read(10); }, QStringLiteral("Connection Lost")},
        {"silence", [](TPowersock& s, LocalPeer&) { s.TimeOut = 200; },
         [](TPowersock& s) { s.ReadLn(); }, QStringLiteral("Socket readln timed out")},
        {"a line without end",
         [](TPowersock& s, LocalPeer& peer) {
             s.TimeOut = 20000;
             peer.send(QByteArray(TPowersock::kMaxLineLength + 5000, 'x'));
         },
         [](TPowersock& s) { s.ReadLn(); }, QStringLiteral("Reply line too long")},
        {"silent block", [](TPowersock& s, LocalPeer&) { s.TimeOut = 200; },
         [](TPowersock& s) { s.Read(4); }, QStringLiteral("Socket read timed out")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalPeer peer;
        TPowersock sock;
        connectTo(sock, peer);
        c.arrange(sock, peer);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(failureOf<ESockError>([&] { c.wait(sock); }), c.failure);
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST(PowersockReadTest, CancelAbortsReadLnAndTheConnectionStaysUsable)
{
    LocalPeer peer;
    TPowersock sock;
    connectTo(sock, peer);
    QTimer::singleShot(30, [&] { sock.Cancel(); });
    EXPECT_EQ(failureOf<EAbortError>([&] { sock.ReadLn(); }),
              QStringLiteral("Socket readln aborted"));
    EXPECT_TRUE(sock.Canceled());
    EXPECT_TRUE(sock.Connected());
    // A cancelled Read returns without taking anything.
    peer.send("kept\r\n");
    EXPECT_TRUE(eventually([&] { return peer.socket()->bytesToWrite() == 0; }));
    EXPECT_EQ(sock.Read(100), QByteArray());

    // The next connection starts uncancelled.
    sock.Close();
    LocalPeer second;
    connectTo(sock, second);
    second.send("after\r\n");
    EXPECT_EQ(sock.ReadLn(), QByteArray("after\r\n"));
}

// ------------------------------------------------------- listen, accept

TEST(PowersockAcceptTest, AcceptTakesTheIncomingConnection)
{
    TPowersock data;
    data.Port = 0;
    data.Listen();
    const QByteArray port = data.GetPortString();
    const QList<QByteArray> bytes = port.mid(1).split(',');
    ASSERT_EQ(bytes.size(), 2);
    const int number = bytes[0].toInt() * 256 + bytes[1].toInt();
    ASSERT_GT(number, 0);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(number));
    data.UseSocket(data.Accept());
    EXPECT_TRUE(data.Connected());
    EXPECT_EQ(data.PeerAddress(), QHostAddress(QHostAddress::LocalHost));
    client.write("hello\r\n");
    EXPECT_EQ(data.ReadLn(), QByteArray("hello\r\n"));
}

TEST(PowersockAcceptTest, AcceptEndsOnTimeOutCancelAndALostControlConnection)
{
    {
        TPowersock data;
        data.TimeOut = 200;
        data.Listen();
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(failureOf<ESockError>([&] { data.Accept(); }),
                  QStringLiteral("Data Connection Timed Out"));
        EXPECT_LT(clock.elapsed(), 3000);
    }
    {
        TPowersock data;
        data.Listen();
        QTimer::singleShot(30, [&] { data.Cancel(); });
        EXPECT_EQ(failureOf<EAbortError>([&] { data.Accept(); }),
                  QStringLiteral("Socket accept aborted"));
    }
    {
        LocalPeer peer;
        TPowersock control;
        connectTo(control, peer);
        TPowersock data;
        data.SetLinkedConnection(&control);
        data.Listen();
        QTimer::singleShot(30, [&] { peer.socket()->disconnectFromHost(); });
        EXPECT_EQ(failureOf<ESockError>([&] { data.Accept(); }), QStringLiteral("Connection Lost"));
    }
}

// A data port that listens where the control connection runs and takes
// the server only: another program on the machine can neither reach it
// through another address nor slip in first.
TEST(PowersockAcceptTest, ListensOnOneAddressAndAcceptsTheExpectedPeerOnly)
{
    TPowersock data;
    data.Listen(QHostAddress(QStringLiteral("127.0.0.1")));
    data.SetExpectedPeer(QHostAddress(QStringLiteral("127.0.0.1")));
    const quint16 port = data.LocalPort();
    ASSERT_GT(port, 0);

    QTcpSocket elsewhere;
    elsewhere.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), port);
    EXPECT_FALSE(elsewhere.waitForConnected(2000)) << "reachable on another address";

    QTcpSocket intruder;
    ASSERT_TRUE(intruder.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    intruder.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), port);
    bool intruderClosed = false;
    QObject::connect(&intruder, &QTcpSocket::disconnected, [&] { intruderClosed = true; });
    QTcpSocket server;
    // The server connects once the intruder has been turned away; Accept
    // must still be waiting for it.
    QObject::connect(&intruder, &QTcpSocket::disconnected, [&] {
        server.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), port);
    });
    data.UseSocket(data.Accept());
    EXPECT_TRUE(intruderClosed);
    EXPECT_EQ(data.PeerAddress(), QHostAddress(QStringLiteral("127.0.0.1")));
    EXPECT_TRUE(eventually([&] { return server.state() == QAbstractSocket::ConnectedState; }));
    server.write("from the server\r\n");
    EXPECT_EQ(data.ReadLn(), QByteArray("from the server\r\n"));
}

TEST(PowersockAcceptTest, AStopOfTheLinkedControlConnectionEndsTheWait)
{
    LocalPeer peer;
    TPowersock control;
    connectTo(control, peer);
    TPowersock data;
    data.SetLinkedConnection(&control);
    data.Listen();
    QTimer::singleShot(30, [&] { control.Cancel(); });
    EXPECT_EQ(failureOf<EAbortError>([&] { data.Accept(); }),
              QStringLiteral("Socket accept aborted"));
}

// ------------------------------------------------------------- files out

class SendFileTest : public ::testing::Test {
protected:
    // A data connection: `data` sends, `receiver` gets the bytes.
    void SetUp() override
    {
        data.Listen();
        const QList<QByteArray> bytes = data.GetPortString().mid(1).split(',');
        receiver.connectToHost(QHostAddress::LocalHost,
                               static_cast<quint16>(bytes[0].toInt() * 256 + bytes[1].toInt()));
        data.UseSocket(data.Accept());
        QObject::connect(&receiver, &QTcpSocket::readyRead,
                         [this] { received += receiver.readAll(); });
    }

    test::TempDir dir;
    TPowersock data;
    QTcpSocket receiver;
    QByteArray received;
};

TEST_F(SendFileTest, ALargeFileGoesInChunksAndArrivesWhole)
{
    QByteArray content(200000, '\0');
    QRandomGenerator generator(7);
    for (char& c : content) c = static_cast<char>(generator.bounded(256));
    dir.write(QStringLiteral("big.bin"), content);

    std::vector<qint64> progress;
    data.OnPacketSent = [&](TPowersock& sender) { progress.push_back(sender.BytesSent()); };
    data.SendFile(dir.file(QStringLiteral("big.bin")));
    EXPECT_EQ(data.BytesSent(), content.size());
    EXPECT_EQ(data.BytesTotal(), content.size());
    ASSERT_GE(progress.size(), std::size_t(13)) << "200000 bytes need 13 chunks";
    qint64 before = 0;
    for (qint64 sent : progress) {
        EXPECT_GT(sent, before);
        EXPECT_LE(sent - before, TPowersock::kChunkSize);
        before = sent;
    }
    data.Close();
    EXPECT_TRUE(eventually([&] { return received.size() == content.size(); }));
    EXPECT_EQ(received, content);
}

TEST_F(SendFileTest, AnEmptyFileCompletesAtOnce)
{
    dir.write(QStringLiteral("empty"), {});
    int packets = 0;
    data.OnPacketSent = [&](TPowersock&) { ++packets; };
    data.SendFile(dir.file(QStringLiteral("empty")));
    EXPECT_EQ(data.BytesSent(), 0);
    EXPECT_EQ(packets, 0);
}

TEST_F(SendFileTest, AMissingFileFailsBeforeAnythingIsSent)
{
    const QString path = dir.file(QStringLiteral("missing.htm"));
    EXPECT_EQ(failureOf<FileError>([&] { data.SendFile(path); }),
              QStringLiteral("Cannot open file ") + path);
    data.Writeln("still usable");
    data.Close();
    EXPECT_TRUE(eventually([&] { return received == "still usable\r\n"; }));
}

TEST_F(SendFileTest, AReceiverThatStopsReadingEndsInATimeOut)
{
    dir.write(QStringLiteral("huge.bin"), QByteArray(48 * 1024 * 1024, 'z'));
    receiver.setReadBufferSize(1);
    QObject::disconnect(&receiver, &QTcpSocket::readyRead, nullptr, nullptr);
    data.TimeOut = 400;
    EXPECT_EQ(failureOf<ESockError>([&] { data.SendFile(dir.file(QStringLiteral("huge.bin"))); }),
              QStringLiteral("Socket send timed out"));
    EXPECT_GT(data.BytesSent(), 0);
    EXPECT_LT(data.BytesSent(), 48 * 1024 * 1024);
}

TEST_F(SendFileTest, CancelAbortsTheSend)
{
    dir.write(QStringLiteral("huge.bin"), QByteArray(48 * 1024 * 1024, 'z'));
    receiver.setReadBufferSize(1);
    QObject::disconnect(&receiver, &QTcpSocket::readyRead, nullptr, nullptr);
    QTimer::singleShot(100, [&] { data.Cancel(); });
    EXPECT_EQ(failureOf<EAbortError>([&] { data.SendFile(dir.file(QStringLiteral("huge.bin"))); }),
              QStringLiteral("Socket send aborted"));
    EXPECT_FALSE(data.Canceled()) << "cleared by the aborted send";
}

TEST_F(SendFileTest, AReceiverThatGoesAwayEndsTheSend)
{
    dir.write(QStringLiteral("huge.bin"), QByteArray(48 * 1024 * 1024, 'z'));
    QObject::disconnect(&receiver, &QTcpSocket::readyRead, nullptr, nullptr);
    QTimer::singleShot(50, [&] { receiver.abort(); });
    EXPECT_EQ(failureOf<ESockError>([&] { data.SendFile(dir.file(QStringLiteral("huge.bin"))); }),
              QStringLiteral("Connection Lost"));
}


// The end of a file: what the peer has not yet taken in is still counted
// after the close, and the peer sees the whole file, then the end.
TEST_F(SendFileTest, AfterCloseSendingTheUnacknowledgedBytesAreStillCounted)
{
    // A receiver that takes nothing while the file goes out, then all.
    QObject::disconnect(&receiver, nullptr, nullptr, nullptr);
    receiver.setReadBufferSize(16 * 1024);
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 128 * 1024);
    QByteArray got;
    qint64 perTick = 0;
    QTimer reader;
    reader.setInterval(5);
    QObject::connect(&reader, &QTimer::timeout, [&] { got += receiver.read(perTick); });
    reader.start();
    bool ended = false;
    QObject::connect(&receiver, &QTcpSocket::disconnected, [&] { ended = true; });

    QByteArray content(768 * 1024, '\0');
    for (qsizetype i = 0; i < content.size(); ++i) content[i] = char(i % 253);
    dir.write(QStringLiteral("big.bin"), content);
    data.TimeOut = 10000;
    data.SendFile(dir.file(QStringLiteral("big.bin")));
    data.CloseSending();
    EXPECT_FALSE(data.Connected());
    const qint64 waiting = data.PendingSendBytes();
    EXPECT_GT(waiting, 0) << "the receiver cannot have taken everything yet";

    receiver.setReadBufferSize(0);
    perTick = 1024 * 1024;
    qint64 lowest = waiting;
    EXPECT_TRUE(eventually(
        [&] {
            lowest = std::min(lowest, data.PendingSendBytes());
            return ended && receiver.bytesAvailable() == 0;
        },
        20000));
    EXPECT_EQ(got.size(), content.size());
    EXPECT_TRUE(got == content);
    EXPECT_EQ(lowest, 0);
    data.ReleaseSentStream();
    EXPECT_EQ(data.PendingSendBytes(), 0);
}

}  // namespace
}  // namespace velmora
