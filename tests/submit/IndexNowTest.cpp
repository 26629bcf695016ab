// IndexNow notification against a stand-in endpoint on 127.0.0.1.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include "HttpStandIn.h"
#include "base/Errors.h"
#include "project/ProjectCompanion.h"
#include "submit/IndexNow.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;
using test::HttpStandIn;

const QByteArray kSite = "https://shop.example.com/offers/";
const QString kKey = QStringLiteral("0123456789abcdef0123456789abcdef");

QStringList urlListOf(const HttpStandIn::Request& request)
{
    QStringList urls;
    for (const QJsonValue& url :
         QJsonDocument::fromJson(request.body).object()[u"urlList"].toArray())
        urls << url.toString();
    return urls;
}

class IndexNowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("shop")));
        companion = std::make_unique<ProjectCompanion>(project);
        companion->setValue(kSiteAddressKey, QString::fromLatin1(kSite));
    }

    // A page file in the output folder, listed as published.
    void page(const QByteArray& name, const QByteArray& content)
    {
        const QString path = folder + QFile::decodeName(name);
        test::writeFile(path, content);
        if (!listed.contains(name)) pages.push_back({name, path});
        listed.insert(name);
    }

    // Many pages under their own names, all generated from one file (what
    // counts is the name; this keeps ten thousand pages cheap to make).
    void manyPages(int count)
    {
        page("p0.htm", "same");
        for (int i = 1; i < count; ++i)
            pages.push_back({"p" + QByteArray::number(i) + ".htm", pages.front().localPath});
    }

    NotificationReport notify(int timeoutMs = 30000)
    {
        return NotifySearchEngines(*companion, folder, pages,
                                   QUrl(QString::fromLatin1(server.url())), timeoutMs);
    }

    test::TempDir dir;
    QString project = dir.file(QStringLiteral("shop.kpj"));
    QString folder = dir.file(QStringLiteral("shop/"));
    std::unique_ptr<ProjectCompanion> companion;
    std::vector<PublishedPage> pages;
    QSet<QByteArray> listed;
    HttpStandIn server;
};

TEST_F(IndexNowTest, PostsTheJsonBodyWithItsHeaders)
{
    companion->setValue(kIndexNowKeyKey, kKey);
    page("a.htm", "a");
    page("b&c.htm", "b");
    page("caf\xc3\xa9 menu.htm", "c");
    pages.push_back({"never.htm", folder + u"never.htm"_s});  // not generated
    const NotificationReport report = notify();
    ASSERT_EQ(server.requests().size(), 1);
    const HttpStandIn::Request& request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/indexnow");
    EXPECT_EQ(request.headers.value("content-type"), "application/json; charset=utf-8");
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.keys(), (QStringList{u"host"_s, u"key"_s, u"keyLocation"_s, u"urlList"_s}));
    EXPECT_EQ(body[u"host"].toString(), u"shop.example.com"_s);
    EXPECT_EQ(body[u"key"].toString(), kKey);
    EXPECT_EQ(body[u"keyLocation"].toString(),
              u"https://shop.example.com/offers/0123456789abcdef0123456789abcdef.txt"_s);
    EXPECT_EQ(urlListOf(request),
              (QStringList{u"https://shop.example.com/offers/a.htm"_s,
                           u"https://shop.example.com/offers/b&c.htm"_s,
                           u"https://shop.example.com/offers/caf%C3%A9%20menu.htm"_s}));
    EXPECT_EQ(report.lines(), (QStringList{u"Key file written: "_s + folder + kKey + u".txt (publish "
                                           "it with the pages: the search engines read it to "
                                           "check the key)"_s,
                                           u"Not generated, left out: never.htm"_s,
                                           u"200 accepted: 3 addresses"_s}));
    EXPECT_EQ(dir.read(u"shop/"_s + kKey + u".txt"_s), kKey.toLatin1());
}

TEST_F(IndexNowTest, TheKeyIsMadeOnceAndItsFileWrittenWhenMissing)
{
    page("a.htm", "a");
    EXPECT_TRUE(notify().keyFileWritten);
    const QString key = companion->value(kIndexNowKeyKey);
    EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{32}$"_s).match(key).hasMatch());
    page("a.htm", "changed");
    EXPECT_FALSE(notify().keyFileWritten);
    EXPECT_EQ(QJsonDocument::fromJson(server.requests()[1].body)[u"key"].toString(), key);
    QFile::remove(folder + key + u".txt"_s);
    EXPECT_TRUE(notify().keyFileWritten);
}

TEST_F(IndexNowTest, SendsOnlyThePagesChangedSinceTheLastNotification)
{
    page("a.htm", "a");
    page("b.htm", "b");
    page("c.htm", "c");
    EXPECT_EQ(notify().changedPages, 3);

    page("b.htm", "b, edited");  // same name, new bytes
    page("d.htm", "d");          // new
    companion = std::make_unique<ProjectCompanion>(project);  // as a later run reads it
    EXPECT_EQ(notify().changedPages, 2);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(urlListOf(server.requests()[1]),
              (QStringList{u"https://shop.example.com/offers/b.htm"_s,
                           u"https://shop.example.com/offers/d.htm"_s}));

    // Nothing changed: nothing is sent, and that is no failure.
    const NotificationReport same = notify();
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_TRUE(same.allAccepted());
    EXPECT_EQ(same.lines(), QStringList{u"No page has changed since the last notification"_s});

    // Under another site address every page is new again.
    companion->setValue(kSiteAddressKey, u"https://www.example.com/"_s);
    EXPECT_EQ(notify().changedPages, 4);
}

struct AnswerCase {
    int status;
    bool accepted;
    const char* text;
};

void PrintTo(const AnswerCase& answer, std::ostream* os) { *os << answer.status; }

class IndexNowAnswerTest : public IndexNowTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(IndexNowAnswerTest, EachAnswerIsShownWithItsMeaning)
{
    const AnswerCase& expected = GetParam();
    page("a.htm", "a");
    page("b.htm", "b");
    server.answer(expected.status);
    const NotificationReport report = notify();
    ASSERT_EQ(report.answers.size(), 1u);
    EXPECT_EQ(report.answers[0].text(), QString::fromUtf8(expected.text));
    EXPECT_EQ(report.allAccepted(), expected.accepted);
    // Only accepted pages count as announced: the others go again next time.
    EXPECT_EQ(notify().changedPages, expected.accepted ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, IndexNowAnswerTest,
    ::testing::Values(
        AnswerCase{200, true, "200 accepted: 2 addresses"},
        AnswerCase{202, true, "202 accepted, key check pending: 2 addresses"},
        AnswerCase{400, false, "400 bad request: 2 addresses"},
        AnswerCase{403, false,
                   "403 key not valid: the key file is missing or holds another key: 2 addresses"},
        AnswerCase{422, false, "422 addresses not under the site address: 2 addresses"},
        AnswerCase{429, false, "429 too many requests: try again later: 2 addresses"},
        AnswerCase{500, false, "500 unexpected answer: 2 addresses"}),
    [](const auto& info) { return std::to_string(info.param.status); });

TEST_F(IndexNowTest, SendsAtMostTenThousandAddressesARequestAndStopsAtARefusal)
{
    manyPages(kIndexNowBatchSize + 1);
    const NotificationReport report = notify();
    ASSERT_EQ(server.requests().size(), 2);
    const QStringList first = urlListOf(server.requests()[0]);
    EXPECT_EQ(first.size(), 10000);
    EXPECT_EQ(first.last(), u"https://shop.example.com/offers/p9999.htm"_s);
    EXPECT_EQ(urlListOf(server.requests()[1]),
              QStringList{u"https://shop.example.com/offers/p10000.htm"_s});
    EXPECT_TRUE(report.allAccepted());

    // A refused first request ends the run: the rest is not sent, all goes again.
    companion->setValue(kSiteAddressKey, u"https://www.example.com/"_s);
    server.answer(429);
    const NotificationReport refused = notify();
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_TRUE(refused.lines().contains(u"Not sent: 1 address"_s));
    EXPECT_EQ(notify().changedPages, kIndexNowBatchSize + 1);
}

TEST_F(IndexNowTest, NoAnswerOrNoSiteAddressIsNoSuccess)
{
    page("a.htm", "a");
    server.stayQuiet();
    const NotificationReport quiet = notify(300);
    ASSERT_EQ(quiet.answers.size(), 1u);
    EXPECT_EQ(quiet.answers[0].status, 0);
    EXPECT_FALSE(quiet.allAccepted());

    for (const QString& broken : {QString(), u"shop.example.com"_s}) {
        companion->setValue(kSiteAddressKey, broken);
        EXPECT_THROW(notify(), VelmoraError);
    }
    companion->setValue(kSiteAddressKey, QString::fromLatin1(kSite));
    companion->setValue(kIndexNowKeyKey, u"short"_s);
    EXPECT_THROW(notify(), VelmoraError);
    EXPECT_EQ(server.requests().size(), 1);
}

}  // namespace
}  // namespace velmora
