// velmora-cli indexnow, run in this process against a stand-in endpoint on
// 127.0.0.1 that this process serves while the command waits.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "HttpStandIn.h"
#include "generate/SiteFiles.h"
#include "support/InProcessCli.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;

using test::CliRun;

class IndexNowCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ProjectBuilder(3).type(kSingle).write(projectPath);
        ASSERT_EQ(runCli({u"generate"_s, projectPath}).exitCode, 0);
    }
    CliRun runCli(const QStringList& args) const
    {
        return test::runCliInProcess(args, {.workingDirectory = dir.path()});
    }

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
    EXPECT_EQ(QJsonDocument::fromJson(server.requests()[0].body)[u"key"].toString(), key);
    EXPECT_EQ(urlsOf(0), (QStringList{u"https://shop.example.com/shopb.htm"_s,
                                      u"https://shop.example.com/shopv.htm"_s,
                                      u"https://shop.example.com/shopo.htm"_s}));
    EXPECT_EQ(first.out.trimmed().split('\n').last(), "200 accepted: 3 addresses");

    // Key and address are kept; one page changed: only it goes.
    test::writeFile(dir.file(u"shop/shopv.htm"_s), "<html>new</html>");
    const CliRun second = runCli(args());
    ASSERT_EQ(second.exitCode, 0) << second.err.constData();
    EXPECT_EQ(urlsOf(1), QStringList{u"https://shop.example.com/shopv.htm"_s});
    EXPECT_EQ(second.out, "200 accepted: 1 address\n");
    EXPECT_EQ(runCli(args()).out, "No page has changed since the last notification\n");
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(IndexNowCommandTest, ExitsNonZeroUnlessEveryRequestWasAccepted)
{
    const CliRun noSite = runCli(args());
    EXPECT_NE(noSite.exitCode, 0);
    EXPECT_TRUE(noSite.err.startsWith("The project has no site address"));
    const CliRun badKey = runCli(
        args({u"--site-url"_s, u"https://shop.example.com/"_s, u"--key"_s, u"no_way"_s}));
    EXPECT_EQ(badKey.err, kIndexNowKeyRule.toUtf8() + '\n');
    for (const QStringList& bad :
         {QStringList{u"indexnow"_s}, QStringList{u"indexnow"_s, projectPath, u"--endpoint"_s},
          QStringList{u"indexnow"_s, projectPath, u"--endpoint"_s, u"ftp://127.0.0.1/"_s}}) {
        const CliRun run = runCli(bad);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.startsWith("usage: velmora-cli indexnow PROJECT.kpj"));
    }
    EXPECT_TRUE(server.requests().isEmpty());

    server.answer(403);
    const CliRun refused = runCli(args({u"--site-url"_s, u"https://shop.example.com/"_s}));
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.out.contains("403 key not valid"));
    EXPECT_EQ(refused.err, "Not every request was accepted\n");
    server.answer(202);
    EXPECT_EQ(runCli(args()).exitCode, 0);
}

}  // namespace
}  // namespace velmora
