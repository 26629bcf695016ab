// Several sessions at once against a real vsftpd started by the test: a
// server that caps the sessions, a session dropped mid-file, implicit FTPS,
// and removing exactly the files the publish record owns.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "project/ProjectCompanion.h"
#include "publish/ChangedFiles.h"
#include "publish/FtpErrors.h"
#include "publish/PublisherFactory.h"
#include "support/QtPrint.h"
#include "support/TempDir.h"
#include "support/VsftpdServer.h"

namespace velmora {
namespace {

using test::VsftpdOptions;
using test::VsftpdServer;

class VsftpdManyFilesTest : public ::testing::Test {
protected:
    void start(VsftpdOptions options)
    {
        if (options.tls) {
            ASSERT_TRUE(certificates.isValid()) << certificates.error().toStdString();
            options.certificateFile = certificates.certificateFile();
            options.keyFile = certificates.keyFile();
        }
        server = std::make_unique<VsftpdServer>(root.path(), options);
        ASSERT_TRUE(server->isRunning()) << server->error().toStdString();
    }

    PublishDestination destination(PublishProtocol protocol = PublishProtocol::Ftp) const
    {
        PublishDestination d;
        d.protocol = protocol;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server->port();
        d.user = VsftpdServer::kUser;
        d.password = VsftpdServer::kPassword;
        d.passive = true;
        d.timeOutMs = 10000;
        d.directory = "site";
        return d;
    }

    UploadItem file(const QString& name, const QByteArray& bytes,
                    UploadItem::Kind kind = UploadItem::Kind::Page)
    {
        local.write(name, bytes);
        return {kind, QFile::encodeName(local.file(name)), "site/" + name.toUtf8()};
    }

    // Publishes and returns the failure's text, or nothing on success.
    std::optional<QString> publish(Publisher& publisher, const std::vector<UploadItem>& plan)
    {
        QObject::connect(&publisher, &Publisher::status, [this](const QString& text) { statuses << text; });
        QObject::connect(&publisher, &Publisher::fileConfirmed, [this](int index) { confirmed << index; });
        try {
            publisher.publish(plan);
        } catch (const VelmoraError& e) {
            return e.text();
        }
        return std::nullopt;
    }

    QByteArray stored(const QString& name) const { return test::readFile(root.file(QStringLiteral("site/") + name)); }

    test::TestCertificates certificates;
    test::TempDir root;
    test::TempDir local;
    std::unique_ptr<VsftpdServer> server;
    QStringList statuses;
    QList<int> confirmed;
};

TEST_F(VsftpdManyFilesTest, AServerThatTakesFewerSessionsIsUsedWithThoseItTakes)
{
    start({.maxPerIp = 2});
    std::vector<UploadItem> plan = {file(QStringLiteral("logo.gif"), "GIF89a logo", UploadItem::Kind::Image)};
    for (int i = 0; i < 24; ++i)
        plan.push_back(file(QStringLiteral("p%1.htm").arg(i), "page " + QByteArray::number(i)));
    plan.push_back(file(QStringLiteral("sitemap.xml"), "<urlset/>", UploadItem::Kind::SiteFile));
    PublishDestination where = destination();
    where.connections = 4;
    const auto publisher = makePublisher(where);
    EXPECT_EQ(publish(*publisher, plan), std::nullopt);
    EXPECT_EQ(confirmed.size(), qsizetype(plan.size()));
    EXPECT_EQ(QSet<int>(confirmed.begin(), confirmed.end()).size(), qsizetype(plan.size()));
    EXPECT_EQ(confirmed.last(), int(plan.size()) - 1) << "the site file goes last";
    for (int i = 0; i < 24; ++i) EXPECT_EQ(stored(QStringLiteral("p%1.htm").arg(i)), "page " + QByteArray::number(i));
    EXPECT_EQ(stored(QStringLiteral("sitemap.xml")), QByteArray("<urlset/>"));
    // Two sessions at most were ever logged in at once.
    EXPECT_TRUE(server->log().contains("421")) << "the server refused the sessions over its cap";
}

TEST_F(VsftpdManyFilesTest, ADroppedSessionIsResumedFromTheFileItHad)
{
    start({});
    QFile large(local.file(QStringLiteral("large.bin")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64(48) << 20));
    large.close();
    const std::vector<UploadItem> plan = {
        file(QStringLiteral("a.htm"), "first"),
        {UploadItem::Kind::Page, QFile::encodeName(large.fileName()), "site/large.bin"},
        file(QStringLiteral("z.htm"), "last")};
    PublishDestination where = destination();
    where.connections = 1;
    const auto publisher = makePublisher(where);
    bool dropped = false;
    QObject::connect(publisher.get(), &Publisher::fileBytesSent, [&](int index, qint64 bytes) {
        if (index != 1 || bytes <= 0 || dropped) return;
        dropped = true;
        server->killSessions();
    });
    EXPECT_EQ(publish(*publisher, plan), std::nullopt);
    ASSERT_TRUE(dropped);
    EXPECT_EQ(confirmed, QList<int>({0, 1, 2}));
    const QStringList retries = statuses.filter(QStringLiteral("trying again"));
    ASSERT_EQ(retries.size(), 1) << statuses.join(u'\n').toStdString();
    EXPECT_TRUE(retries[0].endsWith(QStringLiteral("trying again in 1 s (1 of 3)"))) << retries[0].toStdString();
    EXPECT_EQ(QFileInfo(root.file(QStringLiteral("site/large.bin"))).size(), large.size());
    EXPECT_EQ(stored(QStringLiteral("z.htm")), QByteArray("last"));
}

TEST_F(VsftpdManyFilesTest, ImplicitTlsPublishesAsExplicitTlsDoes)
{
    start({.tls = true, .implicitTls = true});
    PublishDestination where = destination(PublishProtocol::FtpsImplicit);
    where.caFile = certificates.caFile();
    const std::vector<UploadItem> plan = {file(QStringLiteral("a.htm"), "over TLS from the first byte"),
                                          file(QStringLiteral("b.htm"), QByteArray(300000, 'b'))};
    const auto publisher = makePublisher(where);
    EXPECT_EQ(publish(*publisher, plan), std::nullopt);
    EXPECT_EQ(stored(QStringLiteral("a.htm")), QByteArray("over TLS from the first byte"));
    EXPECT_EQ(stored(QStringLiteral("b.htm")), QByteArray(300000, 'b'));
    EXPECT_FALSE(server->commands().contains("AUTH TLS"));
    EXPECT_TRUE(server->commands().contains("PROT P"));
}

TEST_F(VsftpdManyFilesTest, RemovingDroppedPagesDeletesExactlyTheFilesTheRecordOwns)
{
    start({});
    const QString project = local.file(QStringLiteral("shop.kpj"));
    std::vector<UploadItem> plan = {file(QStringLiteral("a.htm"), "a"), file(QStringLiteral("b.htm"), "b"),
                                    file(QStringLiteral("c.htm"), "c")};
    {
        ProjectCompanion companion(project);
        ChangedFiles changes(&companion, destination(), plan, false);
        const auto publisher = makePublisher(destination());
        changes.publishThrough(*publisher);
    }
    test::writeFile(root.file(QStringLiteral("site/.htaccess")), "by hand");
    test::writeFile(root.file(QStringLiteral("site/google123.html")), "verification");
    plan.erase(plan.begin() + 1);

    ProjectCompanion companion(project);
    ChangedFiles changes(&companion, destination(), plan, true);
    changes.setRemoveDropped(true);
    EXPECT_EQ(changes.plannedChanges(), QByteArrayList({"delete site/b.htm"}));
    const auto publisher = makePublisher(destination());
    changes.publishThrough(*publisher);
    EXPECT_FALSE(QFile::exists(root.file(QStringLiteral("site/b.htm"))));
    EXPECT_EQ(stored(QStringLiteral(".htaccess")), QByteArray("by hand"));
    EXPECT_EQ(stored(QStringLiteral("google123.html")), QByteArray("verification"));
    EXPECT_EQ(stored(QStringLiteral("a.htm")), QByteArray("a"));
    EXPECT_EQ(changes.summary(), QStringLiteral("0 files sent, 2 already up to date, 1 removed"));
}

}  // namespace
}  // namespace velmora
