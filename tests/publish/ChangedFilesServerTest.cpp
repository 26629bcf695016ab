// Publishing only what changed, to real servers started by the test on
// 127.0.0.1: pyftpdlib for FTP, vsftpd for explicit FTPS, OpenSSH's sshd
// for SFTP. A site is
// published once; then a page changes (keeping its size) and a page is
// added, and only those two may reach the server, the other files left as
// they were there. An upload stopped part way resumes with the rest.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <utime.h>

#include "support/PyFtpServer.h"
#include "support/QtPrint.h"
#include "support/SshServer.h"
#include "support/VsftpdServer.h"
#include "base/Errors.h"
#include "publish/ChangedFiles.h"
#include "publish/PublisherFactory.h"
#include "publish/sftp/SftpPublisher.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::readFile;
using test::writeFile;

// A server, the destination that reaches it, and where its files land.
struct Server {
    virtual ~Server() = default;
    virtual bool running() const = 0;
    virtual PublishDestination destination() const = 0;
    virtual QString root() const = 0;
    virtual std::unique_ptr<Publisher> publisher(const PublishDestination& to) const
    {
        return makePublisher(to);
    }
};

struct PyFtp final : Server {
    explicit PyFtp(const QString& root) : server(root), root_(root) {}
    bool running() const override { return server.isRunning(); }
    QString root() const override { return root_; }
    PublishDestination destination() const override
    {
        PublishDestination d;
        d.protocol = PublishProtocol::Ftp;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server.port();
        d.user = "alice";
        d.password = "secret";
        d.timeOutMs = 10000;
        return d;
    }
    test::PyFtpServer server;
    QString root_;
};

const test::TestCertificates& certificates()
{
    static const test::TestCertificates made;
    return made;
}

struct Vsftpd final : Server {
    explicit Vsftpd(const QString& root)
        : server(root, {.tls = true,
                        .certificateFile = certificates().certificateFile(),
                        .keyFile = certificates().keyFile()}),
          root_(root)
    {
    }
    bool running() const override { return server.isRunning(); }
    QString root() const override { return root_; }
    PublishDestination destination() const override
    {
        PublishDestination d;
        d.protocol = PublishProtocol::Ftps;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server.port();
        d.user = test::VsftpdServer::kUser;
        d.password = test::VsftpdServer::kPassword;
        d.passive = true;
        d.caFile = certificates().caFile();
        d.timeOutMs = 10000;
        return d;
    }
    test::VsftpdServer server;
    QString root_;
};

// Files land in the test user's home, under names relative to it.
struct Sshd final : Server {
    Sshd()
    {
        if (server.isRunning()) test::writeFile(knownHosts.file(QStringLiteral("known_hosts")),
                                                server.knownHostsLine());
    }
    bool running() const override { return server.isRunning(); }
    QString root() const override { return server.home(); }
    PublishDestination destination() const override
    {
        PublishDestination d;
        d.protocol = PublishProtocol::Sftp;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server.port();
        d.user = test::SshServer::user();
        d.password = test::SshServer::password();
        d.timeOutMs = 20000;
        return d;
    }
    std::unique_ptr<Publisher> publisher(const PublishDestination& to) const override
    {
        return std::make_unique<SftpPublisher>(to, knownHosts.file(QStringLiteral("known_hosts")),
                                               HostKeyTrust());
    }
    test::SshServer server;
    test::TempDir knownHosts;
};

using ServerMaker = std::function<std::unique_ptr<Server>(const QString& root)>;

struct Protocol {
    const char* name;
    ServerMaker make;
};

std::ostream& operator<<(std::ostream& os, const Protocol& protocol) { return os << protocol.name; }

// Long ago: a file the server still holds with this time was not written again.
constexpr time_t kOldTime = 1000000000;

class ChangedFilesServerTest : public ::testing::TestWithParam<Protocol> {
protected:
    void SetUp() override
    {
        if (GetParam().name == std::string("ftps")) {
            ASSERT_TRUE(certificates().isValid()) << certificates().error().toStdString();
        }
        server = GetParam().make(serverFolder.path());
        ASSERT_TRUE(server->running());
        QRandomGenerator random(3);
        QByteArray picture("GIF89a\r\n\0\x01", 10);
        for (int i = 0; i < 40000; ++i) picture += char(random.bounded(256));
        addFile("logo.gif", picture, UploadItem::Kind::Image);
        for (const char* name : {"a.htm", "b.htm", "c.htm", "d.htm"})
            addFile(name, "<html>" + QByteArray(name) + " first words</html>\r\n");
    }

    void addFile(const QByteArray& name, const QByteArray& bytes,
                 UploadItem::Kind kind = UploadItem::Kind::Page)
    {
        local.write(QString::fromLatin1(name), bytes);
        plan.push_back({kind, QFile::encodeName(local.file(QString::fromLatin1(name))), "pub/" + name});
    }

    PublishDestination destination() const
    {
        PublishDestination d = server->destination();
        d.directory = "pub";
        d.connections = connections;
        return d;
    }

    // One Send; the names the server confirmed, in the plan's order (files
    // that go side by side are confirmed in any order). `stopAfter` files
    // in, the user presses Stop.
    QByteArrayList publish(bool onlyChanged, int stopAfter = -1)
    {
        ProjectCompanion companion(projectPath);
        ChangedFiles changes(&companion, destination(), plan, onlyChanged);
        const std::unique_ptr<Publisher> publisher = server->publisher(destination());
        QByteArrayList& confirmed = confirmedLastRun;
        confirmed.clear();
        QObject::connect(publisher.get(), &Publisher::fileConfirmed, [&](int index) {
            confirmed << changes.toSend()[std::size_t(index)].remoteName;
            if (confirmed.size() == stopAfter) publisher->stop();
        });
        changes.publishThrough(*publisher);
        EXPECT_EQ(changes.sentCount(), confirmed.size());
        return inPlanOrder(confirmed);
    }

    QByteArrayList inPlanOrder(const QByteArrayList& names) const
    {
        QByteArrayList ordered;
        for (const UploadItem& item : plan)
            if (names.contains(item.remoteName)) ordered << item.remoteName;
        return ordered;
    }

    QByteArrayList dryRun()
    {
        ProjectCompanion companion(projectPath);
        return ChangedFiles(&companion, destination(), plan, true).namesToSend();
    }

    QString onServer(const QByteArray& remoteName) const
    {
        return server->root() + u'/' + QString::fromUtf8(remoteName);
    }

    // Every file the server holds so far.
    void ageEveryFileOnTheServer()
    {
        for (const UploadItem& item : plan) {
            if (!QFile::exists(onServer(item.remoteName))) continue;
            const utimbuf times{kOldTime, kOldTime};
            ASSERT_EQ(::utime(QFile::encodeName(onServer(item.remoteName)).constData(), &times), 0);
        }
    }

    bool writtenAgain(const QByteArray& remoteName) const
    {
        return QFileInfo(onServer(remoteName)).lastModified().toSecsSinceEpoch() != kOldTime;
    }

    void expectEveryFileOnTheServer()
    {
        for (const UploadItem& item : plan)
            EXPECT_TRUE(readFile(onServer(item.remoteName)) == readFile(QFile::decodeName(item.localPath)))
                << item.remoteName.constData();
    }

    test::TempDir serverFolder;  // the FTP servers' files
    test::TempDir local;         // the site and its project
    QString projectPath = local.file(QStringLiteral("site.kpj"));
    std::unique_ptr<Server> server;
    std::vector<UploadItem> plan;
    QByteArrayList confirmedLastRun;  // kept when a Send throws
    int connections = kDefaultConnections;
};

TEST_P(ChangedFilesServerTest, OnlyTheChangedAndTheAddedPageReachTheServer)
{
    EXPECT_EQ(publish(true).size(), 5) << "published once: everything";
    expectEveryFileOnTheServer();
    ageEveryFileOnTheServer();

    // Same size, other bytes; and a page that is new.
    writeFile(QFile::decodeName(plan[2].localPath), "<html>b.htm FIRST words</html>\r\n");
    addFile("e.htm", "<html>e.htm, new</html>\r\n");
    const QByteArrayList changed{"pub/b.htm", "pub/e.htm"};
    EXPECT_EQ(dryRun(), changed);

    EXPECT_EQ(publish(true), changed);
    expectEveryFileOnTheServer();
    for (const UploadItem& item : plan)
        EXPECT_EQ(writtenAgain(item.remoteName), changed.contains(item.remoteName))
            << item.remoteName.constData();

    EXPECT_TRUE(dryRun().isEmpty());
    EXPECT_TRUE(publish(true).isEmpty());
}

TEST_P(ChangedFilesServerTest, AStoppedUploadResumesWithTheRest)
{
    // One file at a time: with more in flight, a plan this short may be
    // whole before Stop arrives.
    connections = 1;
    EXPECT_THROW(publish(true, 2), VelmoraError);
    // Files already in flight when Stop came may still be confirmed; each
    // confirmed one is recorded, the rest are sent next time.
    const QByteArrayList sentBefore = confirmedLastRun;
    ASSERT_GE(sentBefore.size(), 2);
    QByteArrayList rest;
    for (const UploadItem& item : plan)
        if (!confirmedLastRun.contains(item.remoteName)) rest << item.remoteName;
    ASSERT_FALSE(rest.isEmpty());
    EXPECT_EQ(dryRun(), rest);
    ageEveryFileOnTheServer();  // those that arrived
    EXPECT_EQ(publish(true), rest);
    for (const QByteArray& name : sentBefore) EXPECT_FALSE(writtenAgain(name)) << name.constData();
    expectEveryFileOnTheServer();
}

TEST_P(ChangedFilesServerTest, AFullSendRewritesEverythingAndKeepsTheRecord)
{
    publish(true);
    ageEveryFileOnTheServer();
    EXPECT_EQ(publish(false).size(), 5);
    for (const UploadItem& item : plan) EXPECT_TRUE(writtenAgain(item.remoteName));
    EXPECT_TRUE(dryRun().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    EachProtocol, ChangedFilesServerTest,
    ::testing::Values(
        Protocol{"ftp", [](const QString& root) { return std::make_unique<PyFtp>(root); }},
        Protocol{"ftps", [](const QString& root) { return std::make_unique<Vsftpd>(root); }},
        Protocol{"sftp", [](const QString&) { return std::make_unique<Sshd>(); }}),
    [](const ::testing::TestParamInfo<Protocol>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
