// The SFTP publisher against a real OpenSSH server started by the test.

#include "SftpPublisherFixture.h"

#include <QThread>
#include <unistd.h>

namespace velmora {
namespace {

using test::SftpPublisherTest;
using test::randomBytes;

// ------------------------------------------------------------ the upload

TEST_F(SftpPublisherTest, AThreePageProjectArrivesByteIdenticalAndReplacesOlderFiles)
{
    trustServer();
    // Three pages; the first and third share an image, which goes once.
    const QByteArray logo = QByteArray("GIF89a\r\n\0\x01\r\n\n\0", 13) + randomBytes(3000, 1);
    // A JPEG by its first bytes; several writes in flight.
    const QByteArray banner = QByteArray("\xFF\xD8\xFF\xE0", 4) + randomBytes(700 * 1024, 2);
    local.write(QStringLiteral("logo.gif"), logo);
    local.write(QStringLiteral("banner.jpg"), banner);
    QDir(local.path()).mkpath(QStringLiteral("pages"));
    PageList pages;
    QList<QByteArray> pageBytes;
    for (int i = 0; i < 3; ++i) {
        PageRecord& page = pages.append();
        const QByteArray name = "page" + QByteArray::number(i) + ".htm";
        page.setText(TextField::PageFolder, QFile::encodeName(local.file(QStringLiteral("pages/"))));
        page.setText(TextField::Edit2, name);
        page.setText(TextField::ImageSource,
                     QFile::encodeName(local.file(i == 1 ? QStringLiteral("banner.jpg")
                                                         : QStringLiteral("logo.gif"))));
        page.setText(TextField::Image, i == 1 ? "banner.jpg" : "logo" + QByteArray::number(i) + ".gif");
        pageBytes << "<html>\r\n<body>page " + QByteArray::number(i) + "\r\n</body></html>\r\n";
        local.write(QStringLiteral("pages/") + QString::fromUtf8(name), pageBytes.last());
    }
    const std::vector<UploadItem> plan = PlanUploads(pages, "site/").items;
    ASSERT_EQ(plan.size(), 5u);
    // An older page already on the server is replaced, not appended to.
    makeUsersFolder(QStringLiteral("site"));
    test::writeFile(remote(QStringLiteral("site/page0.htm")), QByteArray(9000, 'x'));

    ASSERT_EQ(publish(plan, destination()), std::nullopt);

    EXPECT_EQ(test::readFile(remote(QStringLiteral("site/logo0.gif"))), logo);
    EXPECT_EQ(test::readFile(remote(QStringLiteral("site/banner.jpg"))), banner);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(test::readFile(remote(QStringLiteral("site/page%1.htm").arg(i))), pageBytes[i]);
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("site/logo2.gif"))));
    EXPECT_EQ(leftovers(server.home()), QStringList());

    // Files overlap, so they may be confirmed in another order; each once.
    QList<int> confirmed = reports.confirmed;
    std::sort(confirmed.begin(), confirmed.end());
    EXPECT_EQ(confirmed, (QList<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(reports.started.size(), 5);
    EXPECT_TRUE(reports.bytes.contains(banner.size()));
    EXPECT_TRUE(reports.allOnCallersThread);
    EXPECT_TRUE(reports.statuses.contains(QStringLiteral("site/banner.jpg")));
    EXPECT_EQ(reports.statuses.last(), QStringLiteral("Done"));
}

TEST_F(SftpPublisherTest, EachMissingLevelOfTheFolderIsCreated)
{
    trustServer();
    const std::vector<UploadItem> plan = {
        localFile(QStringLiteral("a.htm"), "deep", "one/two/three/a.htm"),
        localFile(QStringLiteral("b.htm"), "absolute", QFile::encodeName(server.home()) + "/x/y/b.htm"),
        localFile(QStringLiteral("c.htm"), "bare", "c.htm"),
    };
    ASSERT_EQ(publish(plan, destination("")), std::nullopt);
    EXPECT_EQ(test::readFile(remote(QStringLiteral("one/two/three/a.htm"))), QByteArray("deep"));
    EXPECT_EQ(test::readFile(remote(QStringLiteral("x/y/b.htm"))), QByteArray("absolute"));
    EXPECT_EQ(test::readFile(remote(QStringLiteral("c.htm"))), QByteArray("bare"));
    const QStringList created = reports.statuses.filter(QStringLiteral("Creating folder"));
    EXPECT_EQ(created.mid(0, 3), (QStringList{QStringLiteral("Creating folder one"),
                                              QStringLiteral("Creating folder one/two"),
                                              QStringLiteral("Creating folder one/two/three")}));
    EXPECT_EQ(created.size(), 5) << "x and x/y; the home folder itself already exists";
}

TEST_F(SftpPublisherTest, AFileInTheWayOfAFolderIsNamed)
{
    trustServer();
    test::writeFile(remote(QStringLiteral("blocker")), "a file");
    const std::optional<QString> failure =
        publish({localFile(QStringLiteral("a.htm"), "a", "blocker/sub/a.htm")}, destination(""));
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, QStringLiteral("'blocker' on the server is a file, not a folder"));
}

TEST_F(SftpPublisherTest, AMissingLocalFileFailsAfterTheFilesBeforeIt)
{
    trustServer();
    const std::vector<UploadItem> plan = {
        localFile(QStringLiteral("a.htm"), "a", "a.htm"),
        {UploadItem::Kind::Image, QFile::encodeName(local.file(QStringLiteral("gone.gif"))), "gone.gif"},
        localFile(QStringLiteral("c.htm"), "c", "c.htm"),
    };
    const std::optional<QString> failure = publish(plan, destination(""));
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, QStringLiteral("Cannot open file %1").arg(local.file(QStringLiteral("gone.gif"))));
    EXPECT_EQ(reports.confirmed, QList<int>{0});
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("c.htm"))));
}

TEST_F(SftpPublisherTest, ANameWithALineBreakIsRefusedBeforeItIsSent)
{
    trustServer();
    const std::optional<QString> failure =
        publish({localFile(QStringLiteral("a.htm"), "a", "evil\n.htm")}, destination(""));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->contains(QStringLiteral("is not a valid name"))) << failure->toStdString();
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// ------------------------------------------------------------- host keys

TEST_F(SftpPublisherTest, AKnownHostKeyIsAcceptedWithoutAQuestion)
{
    trustServer();
    ASSERT_EQ(publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, destination(""),
                      askUserAboutHostKeys(prompter)),
              std::nullopt);
    EXPECT_TRUE(prompter.calls().isEmpty());
    EXPECT_EQ(test::readFile(knownHosts), server.knownHostsLine()) << "nothing added";
}

TEST_F(SftpPublisherTest, AnUnknownKeyIsShownAsOpenSshShowsItThenRecordedWhenTrusted)
{
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-l"), QStringLiteral("-E"),
                                                QStringLiteral("sha256"), QStringLiteral("-f"),
                                                server.hostPublicKeyFile()});
    ASSERT_TRUE(keygen.waitForFinished(10000));
    const QString fingerprint = QString::fromLatin1(keygen.readAllStandardOutput().split(' ').value(1));
    ASSERT_TRUE(fingerprint.startsWith(QLatin1String("SHA256:")));

    prompter.answerQuestion(Answer::Yes);
    ASSERT_EQ(publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, destination(""),
                      askUserAboutHostKeys(prompter)),
              std::nullopt);
    ASSERT_EQ(prompter.calls().size(), 1);
    const test::ScriptedPrompter::Call& question = prompter.calls().first();
    EXPECT_EQ(question.buttons, QStringLiteral("Yes No"));
    EXPECT_EQ(question.icon, MessageIcon::Warning);
    EXPECT_EQ(question.caption, QStringLiteral("Unknown host key"));
    EXPECT_TRUE(question.text.contains(QStringLiteral("ED25519 key fingerprint is ") + fingerprint + u'.'))
        << question.text.toStdString();
    EXPECT_TRUE(question.text.contains(knownHosts));
    EXPECT_EQ(test::readFile(remote(QStringLiteral("a.htm"))), QByteArray("a"));

    // OpenSSH finds the recorded key...
    QProcess find;
    find.start(QStringLiteral("ssh-keygen"),
               {QStringLiteral("-F"), QStringLiteral("[127.0.0.1]:%1").arg(server.port()),
                QStringLiteral("-f"), knownHosts});
    ASSERT_TRUE(find.waitForFinished(10000));
    EXPECT_EQ(find.exitCode(), 0) << test::readFile(knownHosts).constData();
    // ...and so does the next upload, which asks nothing.
    prompter.clear();
    reports = {};
    EXPECT_EQ(publish({localFile(QStringLiteral("b.htm"), "b", "b.htm")}, destination(""),
                      askUserAboutHostKeys(prompter)),
              std::nullopt);
    EXPECT_TRUE(prompter.calls().isEmpty());
}

TEST_F(SftpPublisherTest, AnUnknownKeyNotTrustedSendsNothingAndRecordsNothing)
{
    prompter.answerQuestion(Answer::No);
    const std::optional<QString> failure = publish(
        {localFile(QStringLiteral("a.htm"), "a", "a.htm")}, destination(""), askUserAboutHostKeys(prompter));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(QStringLiteral("Host key unknown: '127.0.0.1' (port %1) offers "
                                                   "the ED25519 key SHA256:")
                                        .arg(server.port())))
        << failure->toStdString();
    EXPECT_FALSE(QFile::exists(knownHosts));
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("a.htm"))));

    // Without anyone to ask (velmora-cli without its option) the same.
    const std::optional<QString> unasked =
        publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, destination(""));
    ASSERT_TRUE(unasked);
    EXPECT_TRUE(unasked->startsWith(QStringLiteral("Host key unknown"))) << unasked->toStdString();
    EXPECT_FALSE(QFile::exists(knownHosts));
}

TEST_F(SftpPublisherTest, AChangedKeyIsRefusedEvenWhenUnknownKeysWouldBeTrusted)
{
    // Another key recorded for this host and port: an impostor, or a
    // reinstalled server.
    const QString other = local.file(QStringLiteral("other"));
    ASSERT_TRUE(test::runTool(QStringLiteral("ssh-keygen"),
                              {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                               QStringLiteral("-N"), QString(), QStringLiteral("-f"), other}));
    const QList<QByteArray> otherKey = test::readFile(other + QStringLiteral(".pub")).split(' ');
    const QByteArray recorded = "[127.0.0.1]:" + QByteArray::number(server.port()) + ' ' +
                                otherKey[0] + ' ' + otherKey[1] + '\n';
    test::writeFile(knownHosts, recorded);

    int asked = 0;
    const std::optional<QString> failure =
        publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, destination(""),
                [&](const HostKeyQuestion&) {
                    ++asked;
                    return true;
                });
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(QStringLiteral("WARNING: the host key of '127.0.0.1' (port %1) has changed!")
                                        .arg(server.port())))
        << failure->toStdString();
    EXPECT_TRUE(failure->contains(knownHosts));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(test::readFile(knownHosts), recorded);
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("a.htm"))));
}

TEST_F(SftpPublisherTest, AHostNameIsLookedUpAndItsKeyRecordedUnderThatName)
{
    PublishDestination where = destination("");
    where.host = QStringLiteral("localhost");  // may resolve to ::1 first, where nothing listens
    ASSERT_EQ(publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, where,
                      [](const HostKeyQuestion& question) { return question.host == u"localhost"; }),
              std::nullopt);
    EXPECT_TRUE(test::readFile(knownHosts).startsWith("[localhost]:" + QByteArray::number(server.port()) + ' '))
        << test::readFile(knownHosts).constData();

    where.host = QStringLiteral("no-such-host.invalid");
    const std::optional<QString> failure = publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, where);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(QStringLiteral("Cannot find host 'no-such-host.invalid'"))) << failure->toStdString();
}

// ----------------------------------------------------------------- login

TEST_F(SftpPublisherTest, AWrongPasswordIsReportedAsOne)
{
    trustServer();
    const std::optional<QString> failure =
        publish({localFile(QStringLiteral("a.htm"), "a", "a.htm")}, destination("", "not-the-password"));
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, QStringLiteral("Login failed: wrong password for user velmora-sftp, or no such user"));
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("a.htm"))));
    EXPECT_TRUE(reports.started.isEmpty());
}

TEST_F(SftpPublisherTest, WithoutAPasswordTheAgentsKeyLogsIn)
{
    trustServer();
    const QByteArray saved = qgetenv("SSH_AUTH_SOCK");
    {
        test::SshAgent agent({server.clientKeyFile()});
        ASSERT_TRUE(agent.isRunning());
        qputenv("SSH_AUTH_SOCK", QFile::encodeName(agent.socket()));
        const std::optional<QString> failure =
            publish({localFile(QStringLiteral("a.htm"), "by key", "a.htm")}, destination("", ""));
        EXPECT_EQ(failure, std::nullopt);
        EXPECT_EQ(test::readFile(remote(QStringLiteral("a.htm"))), QByteArray("by key"));
    }
    // No agent: none of the user's keys is the server's.
    qunsetenv("SSH_AUTH_SOCK");
    const std::optional<QString> failure =
        publish({localFile(QStringLiteral("b.htm"), "b", "b.htm")}, destination("", ""));
    if (saved.isNull()) qunsetenv("SSH_AUTH_SOCK");
    else qputenv("SSH_AUTH_SOCK", saved);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(QStringLiteral("Login failed: the server accepted none of your SSH keys")))
        << failure->toStdString();
}

// --------------------------------------------------- stops and failures

TEST_F(SftpPublisherTest, StopDuringALargeFileLeavesTheOldFileUnderItsNameAndNoTemporaryFile)
{
    trustServer();
    // A large file that costs no disk: holes read as zeros.
    QFile large(local.file(QStringLiteral("large.bin")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64(1) << 30));
    large.close();
    makeUsersFolder(QStringLiteral("site"));
    test::writeFile(remote(QStringLiteral("site/large.bin")), "the old version");

    SftpPublisher publisher(destination(), knownHosts, {});
    qint64 sentWhenStopped = -1;
    QObject::connect(&publisher, &Publisher::fileBytesSent, [&](int, qint64 bytes) {
        if (bytes > 0 && sentWhenStopped < 0) {
            sentWhenStopped = bytes;
            publisher.stop();
        }
    });
    const std::optional<QString> failure =
        publish(publisher, {{UploadItem::Kind::Page, QFile::encodeName(large.fileName()), "site/large.bin"}});
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, QStringLiteral("Upload stopped"));
    EXPECT_GT(sentWhenStopped, 0) << "the stop came in the middle of the file";
    EXPECT_TRUE(reports.confirmed.isEmpty());
    EXPECT_EQ(test::readFile(remote(QStringLiteral("site/large.bin"))), QByteArray("the old version"));
    EXPECT_EQ(leftovers(server.home()), QStringList());
}

TEST_F(SftpPublisherTest, StopEndsTheUploadEvenWhenTheServerHangs)
{
    trustServer();
    QFile large(local.file(QStringLiteral("large.bin")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64(1) << 30));
    large.close();
    // The idle time-out far beyond the test's own limit: only the stop can
    // end this upload.
    PublishDestination where = destination("");
    where.timeOutMs = 600000;
    SftpPublisher publisher(where, knownHosts, {});
    bool stopped = false;
    QObject::connect(&publisher, &Publisher::fileBytesSent, [&](int, qint64 bytes) {
        if (bytes > 0 && !stopped) {
            stopped = true;
            server.pauseSessions();
            publisher.stop();
        }
    });
    const std::optional<QString> failure =
        publish(publisher, {{UploadItem::Kind::Page, QFile::encodeName(large.fileName()), "large.bin"}});
    ASSERT_TRUE(stopped);
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, QStringLiteral("Upload stopped"));
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("large.bin"))));
}

TEST_F(SftpPublisherTest, AServerThatKeepsHangingIsTriedThreeTimesMoreThenEndsInATimeOut)
{
    trustServer();
    QFile large(local.file(QStringLiteral("large.bin")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64(1) << 30));
    large.close();
    PublishDestination where = destination("");
    where.timeOutMs = 1000;
    SftpPublisher publisher(where, knownHosts, {});
    int pauses = 0;
    // Each new connection freezes as soon as its bytes move.
    QObject::connect(&publisher, &Publisher::fileBytesSent, [&](int, qint64 bytes) {
        if (bytes > 0) {
            ++pauses;
            server.pauseSessions();
        }
    });
    const std::optional<QString> failure =
        publish(publisher, {{UploadItem::Kind::Page, QFile::encodeName(large.fileName()), "large.bin"}});
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(QStringLiteral("The server stopped answering: "))) << failure->toStdString();
    EXPECT_TRUE(failure->endsWith(QStringLiteral(" 1 second"))) << failure->toStdString();
    EXPECT_GE(pauses, 4);
    // Whether the freeze is met while writing or while waiting for a reply
    // decides the reason's wording; the retries and their waits do not vary.
    const QStringList retries = reports.statuses.filter(QStringLiteral("trying again"));
    const QStringList waits = {QStringLiteral(" 1 second: trying again in 1 s (1 of 3)"),
                               QStringLiteral(" 1 second: trying again in 2 s (2 of 3)"),
                               QStringLiteral(" 1 second: trying again in 4 s (3 of 3)")};
    ASSERT_EQ(retries.size(), waits.size()) << reports.statuses.join(u'\n').toStdString();
    for (qsizetype i = 0; i < retries.size(); ++i) {
        EXPECT_TRUE(retries[i].startsWith(QStringLiteral("The server stopped answering: ")));
        EXPECT_TRUE(retries[i].endsWith(waits[i])) << retries[i].toStdString();
    }
    EXPECT_TRUE(reports.confirmed.isEmpty());
}

TEST_F(SftpPublisherTest, ALostConnectionIsResumedFromTheFirstFileNotConfirmed)
{
    trustServer();
    QFile large(local.file(QStringLiteral("large.bin")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64(64) << 20));
    large.close();
    const std::vector<UploadItem> plan = {
        localFile(QStringLiteral("a.htm"), "first", "a.htm"),
        {UploadItem::Kind::Page, QFile::encodeName(large.fileName()), "large.bin"},
        localFile(QStringLiteral("z.htm"), "last", "z.htm")};
    PublishDestination where = destination("");
    where.connections = 1;
    SftpPublisher publisher(where, knownHosts, {});
    bool killed = false;
    QObject::connect(&publisher, &Publisher::fileBytesSent, [&](int index, qint64 bytes) {
        if (index == 1 && bytes > 0 && !killed) {
            killed = true;
            server.killSessions();
        }
    });
    const std::optional<QString> failure = publish(publisher, plan);
    ASSERT_TRUE(killed);
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(reports.confirmed, QList<int>({0, 1, 2}));
    // The first file went once: the second try began where the first broke off.
    EXPECT_EQ(reports.started.count({0, 3}), 1);
    EXPECT_EQ(reports.started.count({1, 3}), 2);
    const QStringList retries = reports.statuses.filter(QStringLiteral("trying again"));
    ASSERT_EQ(retries.size(), 1) << reports.statuses.join(u'\n').toStdString();
    EXPECT_TRUE(retries[0].startsWith(QStringLiteral("Connection lost"))) << retries[0].toStdString();
    EXPECT_TRUE(retries[0].endsWith(QStringLiteral(": trying again in 1 s (1 of 3)"))) << retries[0].toStdString();
    EXPECT_EQ(QFileInfo(remote(QStringLiteral("large.bin"))).size(), large.size());
    EXPECT_EQ(test::readFile(remote(QStringLiteral("z.htm"))), QByteArray("last"));
    EXPECT_EQ(leftovers(server.home()), QStringList());
}

TEST_F(SftpPublisherTest, AFolderTheUserMayNotWriteIsNamed)
{
    trustServer();
    // Owned by root: the user may look but not write.
    ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("locked")));
    const std::optional<QString> intoFolder =
        publish({localFile(QStringLiteral("a.htm"), "a", "locked/a.htm")}, destination(""));
    ASSERT_TRUE(intoFolder);
    EXPECT_EQ(*intoFolder, QStringLiteral("Permission denied: cannot write in folder 'locked' on the server"));

    const std::optional<QString> belowIt =
        publish({localFile(QStringLiteral("a.htm"), "a", "locked/sub/a.htm")}, destination(""));
    ASSERT_TRUE(belowIt);
    EXPECT_EQ(*belowIt, QStringLiteral("Permission denied: cannot create folder 'locked/sub' on the server"));
}

TEST(SftpFullDisk, AFullDiskIsNamedAndTheTemporaryFileRemoved)
{
    test::TempDir local;
    test::SshServer server({.smallDisk = QStringLiteral("small"), .smallDiskBytes = 1024 * 1024, .parentFolder = {}});
    ASSERT_TRUE(server.isRunning());
    const QString knownHosts = local.file(QStringLiteral("known_hosts"));
    test::writeFile(knownHosts, server.knownHostsLine());
    local.write(QStringLiteral("big.bin"), randomBytes(3 * 1024 * 1024, 3));

    PublishDestination where;
    where.host = QStringLiteral("127.0.0.1");
    where.port = server.port();
    where.user = test::SshServer::user();
    where.password = test::SshServer::password();
    SftpPublisher publisher(where, knownHosts, {});
    QString failure;
    try {
        publisher.publish({{UploadItem::Kind::Page, QFile::encodeName(local.file(QStringLiteral("big.bin"))),
                           "small/big.bin"}});
    } catch (const VelmoraError& e) {
        failure = e.text();
    }
    EXPECT_EQ(failure, QStringLiteral("Cannot store small/big.bin on the server: the server's disk is full"));
    const QDir disk(server.asSeenByServer(server.home() + QStringLiteral("/small")));
    ASSERT_TRUE(disk.exists()) << disk.path().toStdString();
    EXPECT_EQ(disk.entryList(QDir::Files | QDir::Hidden), QStringList());
}

}  // namespace
}  // namespace velmora
