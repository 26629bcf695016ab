// velmora-cli indexnow, run in this process against a stand-in endpoint on
// 127.0.0.1 that this process serves while the command waits.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "CliCommands.h"
#include "HttpStandIn.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readBack(std::FILE* stream)
{
    std::rewind(stream);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(stream);
    return bytes;
}

CliRun runCli(const QStringList& args)
{
    cli::Output io{std::tmpfile(), std::tmpfile()};
    CliRun run;
    run.exitCode = cli::runCli(args, io);
    run.out = readBack(io.out);
    run.err = readBack(io.err);
    return run;
}

class IndexNowCommandTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ProjectData project;
        project.projectType = kSingle;
        for (int i = 0; i < 3; ++i)
            InitPage(project.pages.append(),
                     {.projectType = kSingle, .index = i, .startupDir = "/nowhere"});
        ASSERT_EQ(WriteProjectFile(projectPath, project), kFileOk);
        QDir::setCurrent(dir.path());
        ASSERT_EQ(runCli({u"generate"_s, projectPath}).exitCode, 0);
    }
    void TearDown() override { QDir::setCurrent(originalDir); }

    QStringList args(const QStringList& more = {}) const
    {
        return QStringList{u"indexnow"_s, projectPath, u"--endpoint"_s,
                           QString::fromLatin1(server.url())} +
               more;
    }

    QStringList urlsOf(qsizetype request) const
    {
        QStringList urls;
        const QJsonArray list = QJsonDocument::fromJson(server.requests().at(request).body)
                                    .object()[u"urlList"]
                                    .toArray();
        for (const QJsonValue& url : list) urls << url.toString();
        return urls;
    }

    QString originalDir = QDir::currentPath();
    test::TempDir dir;
    QString projectPath = dir.file(u"shop.kpj"_s);
    test::HttpStandIn server;
};

TEST_F(IndexNowCommandTest, NotifiesEveryPageFirstThenOnlyTheChangedOnes)
{
    const QString key = u"Velmora-test-key-0001"_s;
    const CliRun first =
        runCli(args({u"--site-url"_s, u"https://shop.example.com/"_s, u"--key"_s, key}));
    ASSERT_EQ(first.exitCode, 0) << first.err.constData();
    ASSERT_EQ(server.requests().size(), 1);
    const QJsonObject body = QJsonDocument::fromJson(server.requests()[0].body).object();
    EXPECT_EQ(body[u"key"].toString(), key);
    EXPECT_EQ(body[u"keyLocation"].toString(),
              u"https://shop.example.com/Velmora-test-key-0001.txt"_s);
    EXPECT_EQ(urlsOf(0), (QStringList{u"https://shop.example.com/shopb.htm"_s,
                                      u"https://shop.example.com/shopv.htm"_s,
                                      u"https://shop.example.com/shopo.htm"_s}));
    EXPECT_EQ(dir.read(u"shop/Velmora-test-key-0001.txt"_s), key.toLatin1());
    const QList<QByteArray> lines = first.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("Key file written: "));
    EXPECT_EQ(lines[1], "200 accepted: 3 addresses");

    // One page changed: only it goes, with the key and address recorded.
    test::writeFile(dir.file(u"shop/shopv.htm"_s), "<html>new</html>");
    const CliRun second = runCli(args());
    ASSERT_EQ(second.exitCode, 0) << second.err.constData();
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(urlsOf(1), QStringList{u"https://shop.example.com/shopv.htm"_s});
    EXPECT_EQ(second.out, "200 accepted: 1 address\n");

    const CliRun third = runCli(args());
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_EQ(third.out, "No page has changed since the last notification\n");
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(IndexNowCommandTest, ExitsNonZeroUnlessEveryRequestWasAccepted)
{
    server.answer(403);
    const CliRun refused = runCli(args({u"--site-url"_s, u"https://shop.example.com/"_s}));
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.out.contains(
        "403 key not valid: the key file is missing or holds another key: 3 addresses\n"));
    EXPECT_EQ(refused.err, "Not every request was accepted\n");

    server.answer(202);
    const CliRun pending = runCli(args());
    EXPECT_EQ(pending.exitCode, 0) << pending.err.constData();
    EXPECT_TRUE(pending.out.endsWith("202 accepted, key check pending: 3 addresses\n"));
}

TEST_F(IndexNowCommandTest, ChecksItsArgumentsAndTheStoredValues)
{
    const CliRun noSite = runCli(args());
    EXPECT_NE(noSite.exitCode, 0);
    EXPECT_TRUE(noSite.err.startsWith("The project has no site address")) << noSite.err.constData();

    const CliRun badSite = runCli(args({u"--site-url"_s, u"https://shop.example.com"_s}));
    EXPECT_NE(badSite.exitCode, 0);
    EXPECT_EQ(badSite.err,
              "The site address must be an absolute http or https address ending in \"/\"\n");

    const CliRun badKey =
        runCli(args({u"--site-url"_s, u"https://shop.example.com/"_s, u"--key"_s, u"no_way"_s}));
    EXPECT_NE(badKey.exitCode, 0);
    EXPECT_EQ(badKey.err,
              "The IndexNow key must be 8 to 128 characters of a-z, A-Z, 0-9 and \"-\"\n");

    for (const QStringList& bad :
         {QStringList{u"indexnow"_s}, QStringList{u"indexnow"_s, projectPath, u"--endpoint"_s},
          QStringList{u"indexnow"_s, projectPath, u"--endpoint"_s, u"ftp://127.0.0.1/"_s},
          QStringList{u"indexnow"_s, projectPath, u"--force"_s}}) {
        const CliRun run = runCli(bad);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_EQ(run.err,
                  "usage: velmora-cli indexnow PROJECT.kpj [--site-url URL] [--key KEY] "
                  "[--endpoint URL]\n");
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

}  // namespace
}  // namespace velmora
