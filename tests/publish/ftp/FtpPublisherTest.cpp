// The FTP publisher against the scripted server: what it reports and when,
// that a failure or a stop leaves no connection open, and that a stop ends
// a transfer within a second.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTimer>

#include "support/QtPrint.h"
#include "support/ScriptedFtpServer.h"
#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "publish/PublisherFactory.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::ScriptedFtpServer;

class FtpPublisherTest : public ::testing::Test {
protected:
    PublishDestination destination(const ScriptedFtpServer& server) const
    {
        PublishDestination d;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server.port();
        d.user = "alice";
        d.password = "secret";
        d.directory = "site/pages";
        d.timeOutMs = 2000;
        d.connections = 1;  // the scripted server takes one session at a time
        return d;
    }

    std::vector<UploadItem> plan(int files, qsizetype size = 100)
    {
        std::vector<UploadItem> items;
        for (int i = 0; i < files; ++i) {
            const QString name = QStringLiteral("p%1.htm").arg(i);
            dir.write(name, QByteArray(size, char('a' + i)));
            items.push_back({UploadItem::Kind::Page, QFile::encodeName(dir.file(name)),
                             "site/pages/" + name.toUtf8()});
        }
        return items;
    }

    // Everything the publisher reports, in order, as text.
    void record(Publisher& publisher)
    {
        QObject::connect(&publisher, &Publisher::status,
                         [this](const QString& text) { events << text; });
        QObject::connect(&publisher, &Publisher::fileStarted, [this](int index, int count) {
            events << QStringLiteral("started %1 of %2").arg(index).arg(count);
        });
        QObject::connect(&publisher, &Publisher::fileConfirmed, [this](int index) {
            events << QStringLiteral("confirmed %1").arg(index);
        });
        QObject::connect(&publisher, &Publisher::fileBytesSent,
                         [this](int, qint64 bytes) { lastBytes = bytes; });
    }

    test::TempDir dir;
    QStringList events;
    qint64 lastBytes = -1;
};

TEST_F(FtpPublisherTest, ReportsEachStepAndConfirmsAFileOnlyAfterTheServerDid)
{
    ScriptedFtpServer server;
    const auto publisher = makePublisher(destination(server));
    record(*publisher);
    // When a file is confirmed, its final reply has been read: the
    // server's transcript holds no command after its STOR yet.
    QList<qsizetype> linesAtConfirm;
    QObject::connect(publisher.get(), &Publisher::fileConfirmed,
                     [&](int) { linesAtConfirm << server.transcript().size(); });
    publisher->publish(plan(2));

    const QStringList expected = {
        QStringLiteral("Connecting..."),        QStringLiteral("Connected..."),
        QStringLiteral("started 0 of 2"),       QStringLiteral("site/pages/p0.htm"),
        QStringLiteral("Transaction start..."), QStringLiteral("Transaction stop..."),
        QStringLiteral("Success!"),             QStringLiteral("confirmed 0"),
        QStringLiteral("started 1 of 2"),       QStringLiteral("site/pages/p1.htm"),
        QStringLiteral("Transaction start..."), QStringLiteral("Transaction stop..."),
        QStringLiteral("Success!"),             QStringLiteral("confirmed 1"),
        QStringLiteral("Disconnecting..."),     QStringLiteral("Disconnected..."),
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(lastBytes, 100);
    const QList<QByteArray> sent = server.transcript();
    EXPECT_EQ(sent.mid(3, 2), (QList<QByteArray>{"MKD site", "MKD site/pages"}));
    ASSERT_EQ(linesAtConfirm.size(), 2);
    // The server's size of the file is asked for before it counts.
    EXPECT_EQ(sent.mid(linesAtConfirm[0] - 2, 2),
              (QList<QByteArray>{"STOR site/pages/p0.htm", "SIZE site/pages/p0.htm"}));
    EXPECT_EQ(sent.mid(linesAtConfirm[1] - 2, 2),
              (QList<QByteArray>{"STOR site/pages/p1.htm", "SIZE site/pages/p1.htm"}));
}

// Once every file is confirmed, sessions still waiting for the server to
// take them are ended, not waited out to the time-out.
TEST_F(FtpPublisherTest, SessionsTheServerNeverGreetsDoNotHoldUpAFinishedSend)
{
    test::ServerScript script = test::defaultScript();
    script.holdLaterSessions = true;
    // A little slow to confirm, so that the later sessions are under way.
    script.onCommand["SIZE"] = {test::drip("213 100\r\n")};
    ScriptedFtpServer server(script);
    PublishDestination d = destination(server);
    d.connections = 4;
    d.timeOutMs = 20000;
    const auto publisher = makePublisher(d);
    record(*publisher);
    QElapsedTimer took;
    took.start();
    publisher->publish(plan(4));
    EXPECT_LT(took.elapsed(), d.timeOutMs / 2) << "the silent sessions were waited for";
    processPendingEvents();
    EXPECT_GT(server.refusedConnections(), 0) << "no later session was started";
    EXPECT_EQ(events.filter(QStringLiteral("confirmed")),
              (QStringList{QStringLiteral("confirmed 0"), QStringLiteral("confirmed 1"),
                           QStringLiteral("confirmed 2"), QStringLiteral("confirmed 3")}));
    EXPECT_EQ(server.dataReceived().size(), 4);
}

TEST_F(FtpPublisherTest, AFileTheServerDidNotKeepIsNotConfirmedAndTheConnectionEnds)
{
    test::ServerScript script = test::defaultScript();
    script.onCommand["STOR"] = {test::send("150 Opening\r\n"), test::connectData(),
                                test::replyAfterData("552 Quota exceeded.\r\n")};
    ScriptedFtpServer server(script);
    const auto publisher = makePublisher(destination(server));
    record(*publisher);
    try {
        publisher->publish(plan(2));
        FAIL() << "a refused file passed";
    } catch (const FTPException& e) {
        EXPECT_EQ(e.reply(), QByteArray("552 Quota exceeded.\r\n"));
    }
    EXPECT_FALSE(events.contains(QStringLiteral("confirmed 0")));
    EXPECT_FALSE(events.contains(QStringLiteral("started 1 of 2")));
    EXPECT_EQ(events.last(), QStringLiteral("Disconnected..."));
    EXPECT_EQ(server.transcript().last(), QByteArray("QUIT"));

    // The same publisher goes again.
    ScriptedFtpServer good;
    const auto again = makePublisher(destination(good));
    again->publish(plan(1));
    EXPECT_EQ(good.dataReceived().size(), 1);
}

TEST_F(FtpPublisherTest, MkdRefusalsAreNoFailureButAClosingServerIs)
{
    {
        test::ServerScript script = test::defaultScript();
        script.onCommand["MKD"] = {test::send("550 Create directory operation failed.\r\n")};
        ScriptedFtpServer server(script);
        makePublisher(destination(server))->publish(plan(1));
        EXPECT_EQ(server.dataReceived().size(), 1);
    }
    {
        test::ServerScript script = test::defaultScript();
        script.onCommand["MKD"] = {test::send("421 Timeout.\r\n"), test::closeControl()};
        ScriptedFtpServer server(script);
        try {
            makePublisher(destination(server))->publish(plan(1));
            FAIL() << "went on past a closing server";
        } catch (const FTPException& e) {
            EXPECT_EQ(e.reply(), QByteArray("421 Timeout.\r\n"));
        }
        EXPECT_EQ(server.dataReceived().size(), 0);
    }
    {
        // Nothing to send: no folder is made either.
        ScriptedFtpServer server;
        makePublisher(destination(server))->publish({});
        EXPECT_FALSE(server.transcript().contains("MKD site"));
    }
}

TEST_F(FtpPublisherTest, StopEndsATransferWithinASecondAndClosesTheConnection)
{
    test::ServerScript script = test::defaultScript();
    script.onCommand["STOR"] = {test::send("150 Opening\r\n"), test::slowData(32 * 1024),
                                test::connectData(), test::replyAfterData("226 Done\r\n")};
    ScriptedFtpServer server(script);
    PublishDestination d = destination(server);
    d.passive = true;
    const auto publisher = makePublisher(d);
    QElapsedTimer clock;
    QObject::connect(publisher.get(), &Publisher::fileBytesSent, [&](int, qint64) {
        if (clock.isValid()) return;
        // Once the file is under way, from outside the publisher's own stack.
        QTimer::singleShot(50, [&] {
            clock.start();
            publisher->stop();
        });
    });
    try {
        publisher->publish(plan(1, 8 * 1024 * 1024));
        FAIL() << "the stopped upload succeeded";
    } catch (const EAbortError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Send stopped"));
    }
    ASSERT_TRUE(clock.isValid());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(server.transcript().contains("EPSV"));
    // The server sees the control connection end.
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] { return server.transcript().last() == "QUIT" || settle.elapsed() > 2000; });
    EXPECT_EQ(server.transcript().last(), QByteArray("QUIT"));

    // Usable afterwards.
    ScriptedFtpServer good;
    PublishDestination other = destination(good);
    other.passive = true;
    makePublisher(other)->publish(plan(1));
    EXPECT_EQ(good.dataReceived().size(), 1);
}

TEST(PublisherFactoryTest, MapsProtocolsAndNames)
{
    PublishDestination d;
    d.protocol = PublishProtocol::Ftp;
    EXPECT_NE(makePublisher(d), nullptr);
    d.protocol = PublishProtocol::Ftps;
    EXPECT_NE(makePublisher(d), nullptr);
    EXPECT_EQ(defaultPort(PublishProtocol::Ftp), 21);
    EXPECT_EQ(defaultPort(PublishProtocol::Ftps), 21);
    for (PublishProtocol p : {PublishProtocol::Ftp, PublishProtocol::Ftps, PublishProtocol::Sftp})
        EXPECT_EQ(protocolFromName(protocolName(p)), p);
    EXPECT_EQ(protocolFromName("FTP"), std::nullopt) << "names as written";
    EXPECT_EQ(protocolFromName(""), std::nullopt);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// What a failure says: the design's text, where, and why.
TEST(FtpFailureTextTest, EachSaysWhatAndWhere)
{
    test::TempDir dir;
    dir.write(QStringLiteral("p.htm"), "page");
    const std::vector<UploadItem> plan = {
        {UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("p.htm"))), "site/pages/p.htm"}};
    test::ServerScript ssh;
    ssh.greeting = {test::send("SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u3\r\n")};
    test::ServerScript cannotCreate = test::defaultScript();
    cannotCreate.onCommand["STOR"] = {test::send("553 Could not create file.\r\n")};
    test::ServerScript quota = test::defaultScript();
    quota.onCommand["STOR"] = {test::send("150 Opening\r\n"), test::connectData(),
                               test::replyAfterData("552 Disk quota exceeded.\r\n")};
    ScriptedFtpServer sshPort(ssh), refusing(cannotCreate), full(quota);
    const int closedPort = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return int(probe.serverPort());
    }();
    struct Case {
        const char* what;
        QString host;
        int port;
        QString expected;
    };
    const QString local = QStringLiteral("127.0.0.1");
    const Case cases[] = {
        {"unknown host", QStringLiteral("no-such-host.invalid"), 21,
         QStringLiteral("Null Remote Address (no-such-host.invalid port 21: name not found)")},
        {"refused", local, closedPort,
         QStringLiteral("Connection Failed (127.0.0.1 port %1: connection refused)").arg(closedPort)},
        {"an SSH port", local, sshPort.port(),
         QStringLiteral("This port speaks SSH, not FTP: choose SFTP (127.0.0.1 port %1)").arg(sshPort.port())},
        {"a folder not writable", local, refusing.port(),
         QStringLiteral("Cannot store site/pages/p.htm in folder 'site/pages' on 127.0.0.1 port %1: "
                        "553 Could not create file.\r\n")
             .arg(refusing.port())},
        {"a full quota", local, full.port(),
         QStringLiteral("Cannot store site/pages/p.htm in folder 'site/pages' on 127.0.0.1 port %1: "
                        "552 Disk quota exceeded.\r\n")
             .arg(full.port())},
    };
    for (const Case& c : cases) {
        PublishDestination d;
        d.host = c.host;
        d.port = c.port;
        d.user = "alice";
        d.password = "secret";
        d.passive = true;
        d.timeOutMs = 2000;
        d.connections = 1;
        std::optional<QString> failure;
        try {
            makePublisher(d)->publish(plan);
        } catch (const VelmoraError& e) {
            failure = e.text();
        }
        EXPECT_EQ(failure, c.expected) << c.what;
    }
}

TEST(FtpFailureTextTest, AFileTheServerHoldsShortIsSentAgainThenRefused)
{
    test::TempDir dir;
    dir.write(QStringLiteral("p.htm"), QByteArray(100, 'p'));
    test::ServerScript script = test::defaultScript();
    script.onCommand["SIZE"] = {test::send("213 40\r\n")};
    ScriptedFtpServer server(script);
    PublishDestination d;
    d.host = QStringLiteral("127.0.0.1");
    d.port = server.port();
    d.user = "alice";
    d.password = "secret";
    d.timeOutMs = 2000;
    const auto publisher = makePublisher(d);
    QStringList statuses;
    QList<int> confirmed;
    QObject::connect(publisher.get(), &Publisher::status, [&](const QString& text) { statuses << text; });
    QObject::connect(publisher.get(), &Publisher::fileConfirmed, [&](int index) { confirmed << index; });
    std::optional<QString> failure;
    try {
        publisher->publish({{UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("p.htm"))), "p.htm"}});
    } catch (const VelmoraError& e) {
        failure = e.text();
    }
    EXPECT_EQ(failure, QStringLiteral("The server holds 40 bytes of p.htm after its upload, not 100"));
    EXPECT_TRUE(confirmed.isEmpty());
    EXPECT_EQ(statuses.filter(QStringLiteral("trying again")).size(), 3) << statuses.join(u'\n').toStdString();
    EXPECT_EQ(server.dataReceived().size(), 4);
}

}  // namespace
}  // namespace velmora
