// Site address, sitemap, robots.txt and key file.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <functional>

#include "base/Errors.h"
#include "generate/HeadlessGeneration.h"
#include "generate/SiteFiles.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"
#include "support/HostileFiles.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;

const QByteArray kSite = "https://shop.example.com/offers/";

struct SitemapEntry {
    QString loc;
    QString lastmod;
};

// Parses a sitemap or a sitemap index as XML; fails the test on anything
// the protocol does not allow.
std::vector<SitemapEntry> parseSitemap(const QByteArray& xml, const char* root, const char* item)
{
    std::vector<SitemapEntry> entries;
    QXmlStreamReader reader(xml);
    const QString ns = u"http://www.sitemaps.org/schemas/sitemap/0.9"_s;
    EXPECT_TRUE(reader.readNextStartElement());
    EXPECT_EQ(reader.name(), QLatin1String(root));
    EXPECT_EQ(reader.namespaceUri(), ns);
    while (reader.readNextStartElement()) {
        EXPECT_EQ(reader.name(), QLatin1String(item));
        SitemapEntry entry;
        while (reader.readNextStartElement()) {
            if (reader.name() == u"loc")
                entry.loc = reader.readElementText();
            else if (reader.name() == u"lastmod")
                entry.lastmod = reader.readElementText();
            else
                ADD_FAILURE() << "unexpected element " << reader.name().toString().toStdString();
        }
        entries.push_back(entry);
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return entries;
}

QStringList locsOf(const std::vector<SitemapEntry>& entries)
{
    QStringList locs;
    for (const SitemapEntry& entry : entries) locs << entry.loc;
    return locs;
}

class SiteFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkdir(u"out"_s)); }

    // A generated page file, with a known modification time when given.
    PublishedPage page(const QByteArray& name, const QDateTime& time = {})
    {
        const QString path = folder + QFile::decodeName(name);
        test::writeFile(path, "<html>" + name + "</html>");
        if (time.isValid()) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadWrite));
            EXPECT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
        }
        return {name, path};
    }

    QByteArray out(const QString& name) const { return test::readFile(folder + name); }

    test::TempDir dir;
    QString folder = dir.file(u"out/"_s);
};

TEST(SiteRules, TheSiteAddressAndTheIndexNowKey)
{
    EXPECT_EQ(NormalisedSiteAddress(u"  HTTPS://Shop.Example.COM/offers/ "_s), kSite);
    EXPECT_EQ(NormalisedSiteAddress(u"http://example.com:8080/a b/"_s), "http://example.com:8080/a%20b/");
    for (const QString& bad : {u""_s, u"shop.example.com/"_s, u"ftp://example.com/"_s,
                               u"https://example.com"_s, u"https://example.com/?a=1"_s,
                               u"https://example.com/#top"_s, u"https://user:pw@example.com/"_s,
                               u"https:///x/"_s, u"https://exa mple.com/"_s})
        EXPECT_FALSE(isValidSiteAddress(bad)) << bad.toStdString();

    for (const QString& good : {u"abcd1234"_s, u"ABC-def-0123"_s, QString(128, u'a')})
        EXPECT_TRUE(isValidIndexNowKey(good)) << good.toStdString();
    for (const QString& bad : {u"abc1234"_s, QString(129, u'a'), u"abcd_1234"_s, u"abcdé1234"_s,
                               u"abcd1234\n"_s})
        EXPECT_FALSE(isValidIndexNowKey(bad)) << bad.toStdString();
    const QString made = NewIndexNowKey();
    EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{32}$"_s).match(made).hasMatch());
    EXPECT_NE(NewIndexNowKey(), made);
}

TEST_F(SiteFilesTest, TheSitemapListsEveryGeneratedPageByItsAbsoluteAddress)
{
    const QDateTime time(QDate(2024, 3, 5), QTime(14, 30, 7), Qt::UTC);
    const QList<QByteArray> sitemaps =
        BuildSitemaps(kSite, {page("shopb.htm", time), page("tom&jerry.htm", time.addDays(1)),
                              page("caf\xc3\xa9 \xe9#%.htm", time.addDays(2)),
                              page("shopb.htm", time), {"never.htm", folder + u"never.htm"_s}});
    ASSERT_EQ(sitemaps.size(), 1);
    EXPECT_TRUE(sitemaps[0].contains("tom&amp;jerry.htm"));
    const auto entries = parseSitemap(sitemaps[0], "urlset", "url");
    EXPECT_EQ(locsOf(entries), (QStringList{u"https://shop.example.com/offers/shopb.htm"_s,
                                            u"https://shop.example.com/offers/tom&jerry.htm"_s,
                                            u"https://shop.example.com/offers/caf%C3%A9%20%E9%23%25.htm"_s}));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].lastmod, u"2024-03-05T14:30:07Z"_s);
    EXPECT_EQ(QDateTime::fromString(entries[2].lastmod, Qt::ISODate), time.addDays(2));
}

TEST_F(SiteFilesTest, SitemapsKeepTheirExactBytes)
{
    const QDateTime time(QDate(2024, 3, 5), QTime(14, 30, 7), Qt::UTC);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QByteArray urlset = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    const QByteArray entry = "<url><loc>https://shop.example.com/offers/it&apos;s&amp;%3Cb%3E.htm"
                             "</loc><lastmod>2024-03-05T14:30:07Z</lastmod></url>\n";
    struct Case {
        const char* name;
        std::vector<PublishedPage> pages;
        QByteArray expected;
    };
    const Case cases[] = {
        {"no page", {}, head + urlset + "</urlset>\n"},
        {"escaped names", {page("it's&<b>.htm", time)}, head + urlset + entry + "</urlset>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildSitemaps(kSite, c.pages), QList<QByteArray>{c.expected});
    }

    // An index: the same frame, one line per numbered sitemap.
    const QList<QByteArray> split =
        BuildSitemaps(kSite, {page("a.htm", time), page("b.htm", time)}, {.maxUrls = 1});
    ASSERT_EQ(split.size(), 3);
    EXPECT_EQ(split[0], head + urlset +
                            "<url><loc>https://shop.example.com/offers/a.htm</loc>"
                            "<lastmod>2024-03-05T14:30:07Z</lastmod></url>\n</urlset>\n");
    const QRegularExpression index(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(QString::fromLatin1(
            head + "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                   "<sitemap><loc>https://shop.example.com/offers/sitemap1.xml</loc><lastmod>")) +
        u"[0-9-]{10}T[0-9:]{8}Z"_s +
        QRegularExpression::escape(
            u"</lastmod></sitemap>\n<sitemap><loc>https://shop.example.com/offers/sitemap2.xml"
            "</loc><lastmod>"_s) +
        u"[0-9-]{10}T[0-9:]{8}Z"_s +
        QRegularExpression::escape(u"</lastmod></sitemap>\n</sitemapindex>\n"_s)));
    EXPECT_TRUE(index.match(QString::fromLatin1(split[2])).hasMatch()) << split[2].constData();
}

TEST_F(SiteFilesTest, AboveTheLimitNumberedSitemapsAndAnIndex)
{
    std::vector<PublishedPage> pages;
    for (int i = 0; i < 5; ++i) pages.push_back(page("p" + QByteArray::number(i) + ".htm"));
    QByteArrayList names;
    for (const SiteFile& file : WriteSiteFiles(folder, kSite, pages, QString(), {.maxUrls = 2}))
        names << file.name;
    EXPECT_EQ(names, (QByteArrayList{"sitemap1.xml", "sitemap2.xml", "sitemap3.xml", "sitemap.xml",
                                     "robots.txt"}));
    EXPECT_EQ(locsOf(parseSitemap(out(u"sitemap.xml"_s), "sitemapindex", "sitemap")),
              (QStringList{u"https://shop.example.com/offers/sitemap1.xml"_s,
                           u"https://shop.example.com/offers/sitemap2.xml"_s,
                           u"https://shop.example.com/offers/sitemap3.xml"_s}));
    QStringList all;
    for (int n = 1; n <= 3; ++n) all += locsOf(parseSitemap(out(u"sitemap%1.xml"_s.arg(n)), "urlset", "url"));
    EXPECT_EQ(all.size(), 5);
    EXPECT_EQ(all.last(), u"https://shop.example.com/offers/p4.htm"_s);

    // The byte limit splits too, and no file passes it.
    const QList<QByteArray> bySize = BuildSitemaps(kSite, pages, {.maxBytes = 400});
    ASSERT_GT(bySize.size(), 2);
    for (qsizetype i = 0; i + 1 < bySize.size(); ++i) EXPECT_LE(bySize[i].size(), 400);

    // One file is enough again: the numbered ones go.
    WriteSiteFiles(folder, kSite, pages, QString(), {});
    EXPECT_FALSE(QFile::exists(folder + u"sitemap1.xml"_s));
    EXPECT_EQ(parseSitemap(out(u"sitemap.xml"_s), "urlset", "url").size(), 5u);
}

TEST_F(SiteFilesTest, RobotsTxtIsCreatedOrOnlyItsSitemapLineUpdated)
{
    WriteSiteFiles(folder, kSite, {page("a.htm")}, QString());
    EXPECT_EQ(out(u"robots.txt"_s),
              "User-agent: *\nDisallow:\n\nSitemap: https://shop.example.com/offers/sitemap.xml\n");

    const QByteArray mine = "# my rules\r\nUser-agent: Googlebot\r\nDisallow: /private/\r\n"
                            "SITEMAP:http://old.example.com/offers/sitemap.xml # moved\r\n"
                            "Sitemap: https://example.com/news-sitemap.xml\r\n";
    test::writeFile(folder + u"robots.txt"_s, mine);
    WriteSiteFiles(folder, kSite, {page("a.htm")}, QString());
    const QByteArray updated = "# my rules\r\nUser-agent: Googlebot\r\nDisallow: /private/\r\n"
                               "Sitemap: https://shop.example.com/offers/sitemap.xml\r\n"
                               "Sitemap: https://example.com/news-sitemap.xml\r\n";
    EXPECT_EQ(out(u"robots.txt"_s), updated);
    // Right already: not even rewritten.
    const QDateTime past(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    QFile file(folder + u"robots.txt"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(past, QFileDevice::FileModificationTime));
    file.close();
    WriteSiteFiles(folder, kSite, {page("a.htm")}, QString());
    EXPECT_EQ(QFileInfo(folder + u"robots.txt"_s).lastModified().toUTC(), past);

    const QByteArray ours = "https://a.example/sitemap.xml";
    EXPECT_EQ(UpdatedRobots("User-agent: *\nDisallow: /tmp/", ours),
              "User-agent: *\nDisallow: /tmp/\nSitemap: https://a.example/sitemap.xml\n");
    EXPECT_EQ(UpdatedRobots("User-agent: *\rDisallow:\r", ours),
              "User-agent: *\rDisallow:\rSitemap: https://a.example/sitemap.xml\r");
    EXPECT_EQ(UpdatedRobots("Sitemap: http://a.example/sitemap.xml\nsitemap : " + ours + "\n", ours),
              "Sitemap: https://a.example/sitemap.xml\n");
}

TEST_F(SiteFilesTest, ARobotsTxtLeftAloneIsNamedInOneWarningLine)
{
    const QString robots = folder + u"robots.txt"_s;
    const struct {
        const char* kind;
        std::function<void()> plant;
    } cases[] = {
        {"is a link", [&] { QFile::link(dir.file(u"elsewhere.txt"_s), robots); }},
        {"is not a regular file", [&] { test::plant(test::Planted::Fifo, QFile::encodeName(robots)); }},
        {"is larger than 500 KB", [&] { test::writeFile(robots, QByteArray(500 * 1024 + 1, '#')); }},
    };
    for (const auto& c : cases) {
        QFile::remove(robots);
        c.plant();
        QStringList warnings;
        const auto files = WriteSiteFiles(folder, kSite, {page("a.htm")}, QString(), {}, &warnings);
        EXPECT_EQ(warnings, QStringList{u"robots.txt left alone, neither updated nor published: "_s +
                                        robots + u' ' + QLatin1String(c.kind)});
        for (const SiteFile& file : files) EXPECT_NE(file.name, "robots.txt") << c.kind;
    }
    QFile::remove(robots);
    QStringList warnings;
    WriteSiteFiles(folder, kSite, {page("a.htm")}, QString(), {}, &warnings);
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(SiteFilesTest, ALinkIsNeitherFollowedNorKeptUp)
{
    // A robots.txt that is a link is the user's business: left alone, not published.
    test::writeFile(dir.file(u"shared-robots.txt"_s), "User-agent: *\n");
    ASSERT_TRUE(QFile::link(dir.file(u"shared-robots.txt"_s), folder + u"robots.txt"_s));
    // A link planted where the sitemap goes must not carry the write elsewhere.
    test::writeFile(dir.file(u"precious"_s), "keep me");
    ASSERT_TRUE(QFile::link(dir.file(u"precious"_s), folder + u"sitemap.xml"_s));
    const QString key = u"0123456789abcdef"_s;
    const auto files = WriteSiteFiles(folder, kSite, {page("a.htm")}, key);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], (SiteFile{folder + key + u".txt"_s, key.toLatin1() + ".txt"}));
    EXPECT_EQ(out(key + u".txt"_s), key.toLatin1());
    EXPECT_EQ(files[1].name, "sitemap.xml");
    EXPECT_EQ(test::readFile(dir.file(u"shared-robots.txt"_s)), QByteArray("User-agent: *\n"));
    EXPECT_EQ(test::readFile(dir.file(u"precious"_s)), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo(folder + u"sitemap.xml"_s).isSymLink());
}

TEST(PublishedPagesTest, NameTheFilesGenerationWrites)
{
    PageList pages;
    pages.append();  // not named yet: auto-named generation will call it shopb.htm
    pages.append().setText(TextField::Edit2, "own.htm");
    pages.edit(1).setText(TextField::PageFolder, "/elsewhere/");
    const auto published = PublishedPages(pages, u"/work/shop.kpj"_s, u"shop.kpj"_s);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0].localPath, u"/work/shop/shopb.htm"_s);
    EXPECT_EQ(published[1].localPath, u"/elsewhere/own.htm"_s);
}

TEST(GeneratedSiteFiles, FollowTheSiteAddressInTheCompanionFile)
{
    test::TempDir dir;
    const QString project = dir.file(u"shop.kpj"_s);
    test::ProjectBuilder(3).type(kSingle).write(project);

    {
        HeadlessProject headless(project, dir.path());
        headless.generate();
        EXPECT_TRUE(headless.siteFiles().empty());
        EXPECT_FALSE(dir.exists(u"shop/sitemap.xml"_s));
        EXPECT_FALSE(dir.exists(u"shop/robots.txt"_s));
    }
    {
        ProjectCompanion companion(project);
        companion.setValue(kSiteAddressKey, QString::fromLatin1(kSite));
    }
    HeadlessProject headless(project, dir.path());
    headless.generate();
    // The key is made with the first site files, so its file goes out with them.
    const QString key = ProjectCompanion(project).value(kIndexNowKeyKey);
    ASSERT_TRUE(isValidIndexNowKey(key));
    QByteArrayList names;
    for (const SiteFile& file : headless.siteFiles()) names << file.name;
    EXPECT_EQ(names, (QByteArrayList{key.toLatin1() + ".txt", "sitemap.xml", "robots.txt"}));
    const auto entries = parseSitemap(dir.read(u"shop/sitemap.xml"_s), "urlset", "url");
    EXPECT_EQ(locsOf(entries), (QStringList{u"https://shop.example.com/offers/shopb.htm"_s,
                                            u"https://shop.example.com/offers/shopv.htm"_s,
                                            u"https://shop.example.com/offers/shopo.htm"_s}));
    // Nothing of it beside the project or inside the .kpj.
    EXPECT_EQ(test::readFile(project).size(), 8 + 3 * 37600);

    // A broken stored address stops generation of the site files with its rule.
    {
        ProjectCompanion companion(project);
        companion.setValue(kSiteAddressKey, u"shop.example.com"_s);
    }
    HeadlessProject broken(project, dir.path());
    EXPECT_THROW(broken.generate(), VelmoraError);
}

}  // namespace
}  // namespace velmora
