// The SFTP publisher with several files in flight, removals, leftovers of
// earlier runs and the logins shared hosts ask for, against a real OpenSSH
// server started by the test.

#include "SftpPublisherFixture.h"

#include <QDir>
#include <QFileInfo>

namespace velmora {
namespace {

using test::SftpPublisherTest;

TEST_F(SftpPublisherTest, ManyFilesInFlightArriveWholeKindAfterKind)
{
    trustServer();
    std::vector<UploadItem> plan;
    QList<QByteArray> bytes;
    // Images, then pages, then a site file; one page name twice, the later one to stay.
    for (int i = 0; i < 6; ++i) {
        bytes << test::randomBytes(i == 2 ? 300 * 1024 : 200 + i, quint32(i + 1));
        local.write(QStringLiteral("img%1").arg(i), bytes.last());
        plan.push_back({UploadItem::Kind::Image, QFile::encodeName(local.file(QStringLiteral("img%1").arg(i))),
                        "site/img" + QByteArray::number(i) + ".gif"});
    }
    for (int i = 0; i < 20; ++i)
        plan.push_back(localFile(QStringLiteral("p%1.htm").arg(i), "page " + QByteArray::number(i),
                                 "site/p" + QByteArray::number(i) + ".htm"));
    plan.push_back(localFile(QStringLiteral("again.htm"), "the later one", "site/p3.htm"));
    plan.push_back({UploadItem::Kind::SiteFile, plan.back().localPath, "site/sitemap.xml"});

    PublishDestination where = destination("");
    where.connections = 4;
    SftpPublisher publisher(where, knownHosts, {});
    QStringList order;  // "s5" started, "c5" confirmed, as they came
    QObject::connect(&publisher, &Publisher::fileStarted,
                     [&](int index, int) { order << QStringLiteral("s%1").arg(index); });
    QObject::connect(&publisher, &Publisher::fileConfirmed,
                     [&](int index) { order << QStringLiteral("c%1").arg(index); });
    ASSERT_EQ(publish(publisher, plan), std::nullopt);

    const auto at = [&](const char* what, int index) {
        return order.indexOf(QLatin1String(what) + QString::number(index));
    };
    for (int i = 0; i < int(plan.size()); ++i) EXPECT_GE(at("c", i), 0) << i;
    EXPECT_EQ(order.size(), 2 * qsizetype(plan.size()));
    // Every image is confirmed before any page starts, every page before the site file.
    for (int image = 0; image < 6; ++image) EXPECT_LT(at("c", image), at("s", 6)) << image;
    for (int page = 6; page < 27; ++page) EXPECT_LT(at("c", page), at("s", 27)) << page;
    // The later file of a name starts only once the earlier one is confirmed.
    EXPECT_LT(at("c", 9), at("s", 26));
    // Files overlapped: some page started before the page before it was confirmed.
    bool overlapped = false;
    for (int i = 7; i < 26; ++i) overlapped |= at("s", i) < at("c", i - 1);
    EXPECT_TRUE(overlapped) << order.join(u' ').toStdString();

    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(test::readFile(remote(QStringLiteral("site/img%1.gif").arg(i))), bytes[i]) << i;
    for (int i = 0; i < 20; ++i)
        if (i != 3)
            EXPECT_EQ(test::readFile(remote(QStringLiteral("site/p%1.htm").arg(i))), "page " + QByteArray::number(i));
    EXPECT_EQ(test::readFile(remote(QStringLiteral("site/p3.htm"))), QByteArray("the later one"));
    EXPECT_EQ(leftovers(server.home()), QStringList());
}

TEST_F(SftpPublisherTest, TemporaryFilesOfABrokenRunAreRemovedAndNothingElse)
{
    trustServer();
    makeUsersFolder(QStringLiteral("site"));
    const QStringList planted = {QStringLiteral("site/.velmora-00c0ffee00c0ffee.part"),
                                 QStringLiteral(".velmora-0123456789abcdef.part")};
    const QStringList kept = {QStringLiteral("site/.htaccess"), QStringLiteral("site/.velmora-notours.part"),
                              QStringLiteral("site/velmora-0123456789abcdef.part"),
                              QStringLiteral("other/.velmora-0123456789abcdef.part")};
    makeUsersFolder(QStringLiteral("other"));
    for (const QString& name : planted + kept) test::writeFile(remote(name), "left");

    ASSERT_EQ(publish({localFile(QStringLiteral("a.htm"), "a", "site/a.htm"),
                       localFile(QStringLiteral("b.htm"), "b", "b.htm")},
                      destination("")),
              std::nullopt);
    for (const QString& name : planted) EXPECT_FALSE(QFile::exists(remote(name))) << name.toStdString();
    for (const QString& name : kept) EXPECT_TRUE(QFile::exists(remote(name))) << name.toStdString();
    EXPECT_EQ(test::readFile(remote(QStringLiteral("site/a.htm"))), QByteArray("a"));
}

TEST_F(SftpPublisherTest, RemovalsFollowTheUploadAndAMissingFileCountsAsRemoved)
{
    trustServer();
    makeUsersFolder(QStringLiteral("site"));
    test::writeFile(remote(QStringLiteral("site/old.htm")), "dropped from the project");
    test::writeFile(remote(QStringLiteral("site/keep.txt")), "placed by hand");
    SftpPublisher publisher(destination(""), knownHosts, {});
    QByteArrayList removed;
    QObject::connect(&publisher, &Publisher::fileRemoved, [&](const QByteArray& name) { removed << name; });
    ASSERT_EQ(publish(publisher, {localFile(QStringLiteral("a.htm"), "a", "site/a.htm")}), std::nullopt);
    EXPECT_TRUE(removed.isEmpty());

    SftpPublisher second(destination(""), knownHosts, {});
    QObject::connect(&second, &Publisher::fileRemoved, [&](const QByteArray& name) { removed << name; });
    second.publish({localFile(QStringLiteral("a.htm"), "a2", "site/a.htm")},
                   {"site/old.htm", "site/gone-already.htm"});
    EXPECT_EQ(removed, QByteArrayList({"site/old.htm", "site/gone-already.htm"}));
    EXPECT_FALSE(QFile::exists(remote(QStringLiteral("site/old.htm"))));
    EXPECT_TRUE(QFile::exists(remote(QStringLiteral("site/keep.txt"))));
    EXPECT_EQ(test::readFile(remote(QStringLiteral("site/a.htm"))), QByteArray("a2"));
}

TEST_F(SftpPublisherTest, TheDefaultKeysAreLookedForUnderHomeAsSet)
{
    trustServer();
    const QByteArray savedHome = qgetenv("HOME"), savedAgent = qgetenv("SSH_AUTH_SOCK");
    QDir(local.path()).mkpath(QStringLiteral("home/.ssh"));
    ASSERT_TRUE(QFile::copy(server.clientKeyFile(), local.file(QStringLiteral("home/.ssh/id_ed25519"))));
    qputenv("HOME", QFile::encodeName(local.file(QStringLiteral("home"))));
    qunsetenv("SSH_AUTH_SOCK");
    const std::optional<QString> failure =
        publish({localFile(QStringLiteral("a.htm"), "by the key in $HOME", "a.htm")}, destination("", ""));
    qputenv("HOME", savedHome);
    if (!savedAgent.isNull()) qputenv("SSH_AUTH_SOCK", savedAgent);
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(test::readFile(remote(QStringLiteral("a.htm"))), QByteArray("by the key in $HOME"));
}

// A host that takes the password only as the answer to a PAM prompt.
class KeyboardInteractiveTest : public ::testing::Test {
protected:
    test::TempDir local;
    test::SshServer server{{.keyboardInteractiveOnly = true}};
};

TEST_F(KeyboardInteractiveTest, ThePasswordAnswersThePromptAndAWrongOneIsReportedAsOne)
{
    ASSERT_TRUE(server.isRunning());
    const QString knownHosts = local.file(QStringLiteral("known_hosts"));
    test::writeFile(knownHosts, server.knownHostsLine());
    local.write(QStringLiteral("a.htm"), "through PAM");
    const std::vector<UploadItem> plan = {
        {UploadItem::Kind::Page, QFile::encodeName(local.file(QStringLiteral("a.htm"))), "a.htm"}};
    struct Case {
        QByteArray password;
        std::optional<QString> failure;
    };
    for (const Case& c : {Case{"not-the-password", QStringLiteral("Login failed: wrong password for user "
                                                                  "velmora-sftp, or no such user")},
                          Case{test::SshServer::password(), std::nullopt}}) {
        PublishDestination where;
        where.protocol = PublishProtocol::Sftp;
        where.host = QStringLiteral("127.0.0.1");
        where.port = server.port();
        where.user = test::SshServer::user();
        where.password = c.password;
        where.timeOutMs = 20000;
        SftpPublisher publisher(where, knownHosts, {});
        std::optional<QString> failure;
        try {
            publisher.publish(plan);
        } catch (const VelmoraError& e) {
            failure = e.text();
        }
        EXPECT_EQ(failure, c.failure) << c.password.constData();
    }
    EXPECT_EQ(test::readFile(server.home() + QStringLiteral("/a.htm")), QByteArray("through PAM"));
}

}  // namespace
}  // namespace velmora
