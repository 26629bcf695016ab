// The FTP publisher against the scripted server: what it reports and when,
// that a failure or a stop leaves no connection open, and that a stop ends
// a transfer within a second.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
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
