#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "check/PageReading.h"
#include "project/ProjectFile.h"
#include "support/InProcessCli.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

// `count` words drawn from a vocabulary of 5,000 by a fixed sequence, so
// two seeds give texts that share little but the odd word.
QByteArray text(int seed, int count)
{
    QByteArray words;
    std::uint32_t state = std::uint32_t(seed) * 2654435761u + 1;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        words += (i ? " w" : "w") + QByteArray::number((state >> 8) % 5000);
    }
    return words;
}

class CheckCommandTest : public ::testing::Test {
protected:
    QString project(const QByteArray& csv)
    {
        dir.write(QStringLiteral("pages.csv"), csv);
        const QString path = dir.file(QStringLiteral("site.kpj"));
        const test::CliRun made = test::runCliInProcess(
            {QStringLiteral("new"), path, QStringLiteral("--rows"), dir.file(QStringLiteral("pages.csv")),
             QStringLiteral("--force")});
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return path;
    }

    // The findings of one kind, as printed.
    static QList<QJsonObject> findings(const QByteArray& out, const QString& kind)
    {
        QList<QJsonObject> found;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty()) continue;
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            EXPECT_FALSE(object.isEmpty()) << line.toStdString();
            if (object[QStringLiteral("finding")].toString() == kind) found.append(object);
        }
        return found;
    }

    static QList<int> pages(const QJsonObject& finding)
    {
        QList<int> numbers;
        for (const QJsonValue& v : finding[QStringLiteral("pages")].toArray()) numbers.append(v.toInt());
        return numbers;
    }

    test::TempDir dir;
};

TEST_F(CheckCommandTest, ReportsNearCopiesThinPagesSharedTitlesAndHiddenText)
{
    const QByteArray shared = text(1, 300);
    const QString path = project("KeywordPhrase,Heading,Description\n"
                                 "alpha,Alpha offers," + shared + "\n"
                                 "beta,Beta offers," + shared + "\n"
                                 "gamma,Gamma," + text(2, 300) + "\n"
                                 "delta,Gamma," + text(3, 300) + "\n"
                                 "epsilon,Epsilon,few words here\n");
    const test::CliRun run = test::runCliInProcess({QStringLiteral("check"), path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    // Only the two pages that differ in their keyword alone are near-copies.
    const QList<QJsonObject> copies = findings(run.out, QStringLiteral("near-duplicate"));
    ASSERT_EQ(copies.size(), 1) << run.out.toStdString();
    EXPECT_EQ(pages(copies[0]), QList<int>({1, 2}));
    EXPECT_EQ(copies[0][QStringLiteral("files")].toArray().size(), 2);
    EXPECT_GE(copies[0][QStringLiteral("similarity")].toDouble(), 0.9);

    const QList<QJsonObject> thin = findings(run.out, QStringLiteral("thin"));
    ASSERT_EQ(thin.size(), 1);
    EXPECT_EQ(thin[0][QStringLiteral("page")].toInt(), 5);
    EXPECT_EQ(thin[0][QStringLiteral("file")].toString(), QStringLiteral("sitec.htm"));
    EXPECT_LT(thin[0][QStringLiteral("words")].toInt(), 150);

    const QList<QJsonObject> titles = findings(run.out, QStringLiteral("same-title"));
    ASSERT_EQ(titles.size(), 1);
    EXPECT_EQ(pages(titles[0]), QList<int>({3, 4}));

    // A new page writes its comment in the background's colour.
    EXPECT_EQ(findings(run.out, QStringLiteral("hidden-text")).size(), 5);
    EXPECT_TRUE(run.err.startsWith("Checked 5 pages: 1 near-duplicate, 1 thin, 1 same-title, 5 hidden-text, 0 empty-description"))
        << run.err.toStdString();

    // Nothing was generated to find this.
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("site"))));
}

TEST_F(CheckCommandTest, StrictFailsOnAFindingAndBadArgumentsPrintTheUsage)
{
    const QString path = project("KeywordPhrase\nalpha\n");
    EXPECT_EQ(test::runCliInProcess({QStringLiteral("check"), path}).exitCode, 0);
    EXPECT_EQ(test::runCliInProcess({QStringLiteral("check"), path, QStringLiteral("--strict")}).exitCode, 1);
    EXPECT_EQ(test::runCliInProcess({QStringLiteral("check"), path, QStringLiteral("--strict"),
                                     QStringLiteral("--min-words"), QStringLiteral("0")})
                  .exitCode,
              1);  // its hidden comment still counts
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("check")},
          QStringList{QStringLiteral("check"), path, QStringLiteral("--similarity"), QStringLiteral("1.5")},
          QStringList{QStringLiteral("check"), path, QStringLiteral("--min-words"), QStringLiteral("x")}}) {
        const test::CliRun run = test::runCliInProcess(wrong);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.startsWith("usage: velmora-cli check")) << run.err.toStdString();
    }
}

struct ReadingCase {
    const char* name;
    QByteArrayList lines;
    QByteArray title;
    bool description;
    bool hidden;
    std::size_t words;
};

class PageReadingCases : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(PageReadingCases, ReadWhatAVisitorAndAnEngineSee)
{
    const ReadingCase& c = GetParam();
    const PageReading reading = ReadPage(c.lines);
    EXPECT_EQ(reading.title, c.title);
    EXPECT_EQ(reading.hasDescription, c.description);
    EXPECT_EQ(reading.hasHiddenText, c.hidden);
    EXPECT_EQ(reading.words.size(), c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageReadingCases,
    ::testing::Values(
        ReadingCase{"HeadIsNotText",
                    {"<html><head><title> Two  words </title>",
                     "<meta name=\"description\" content=\"   \">", "</head><body>one two</body>"},
                    "Two words", false, false, 2},
        ReadingCase{"CommentsScriptsAndTagsAreNotText",
                    {"<body bgcolor=\"#FFFFFF\"><!-- a b c --><script>var x = 1;</script>",
                     "<p align=\"center\">caf\xC3\xA9 &amp; cr\xC3\xA8me</p></body>"},
                    "", false, false, 2},
        ReadingCase{"TextInTheBackgroundsColourIsHidden",
                    {"<meta name=\"Description\" content=\"d\">",
                     "<body bgcolor=\"#C8C8C8\"><font color=\"#C9C9C9\">hidden words</font>seen</body>"},
                    "", true, true, 1},
        ReadingCase{"ADifferentColourIsNot",
                    {"<body bgcolor=\"#C8C8C8\"><font color=\"#FF6464\">seen words</font></body>"},
                    "", false, false, 2},
        ReadingCase{"AQuotedGreaterThanDoesNotEndATag",
                    {"<body><a href=\"x>y\">link</a> 3 < 4</body>"}, "", false, false, 3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
