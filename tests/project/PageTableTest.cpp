#include <gtest/gtest.h>

#include "base/Errors.h"
#include "project/KeywordFill.h"
#include "project/PageTable.h"
#include "project/ProjectFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

class PageTableTest : public ::testing::Test {
protected:
    QString table(const QByteArray& bytes) const
    {
        dir.write(QStringLiteral("pages.csv"), bytes);
        return dir.file(QStringLiteral("pages.csv"));
    }

    KeywordProjectRequest request(const QByteArray& bytes) const
    {
        return {.projectPath = dir.file(QStringLiteral("made.kpj")),
                .rowsPath = table(bytes),
                .startupDir = QStringLiteral("/start")};
    }

    ProjectData make(const QByteArray& bytes) const
    {
        const KeywordProjectRequest r = request(bytes);
        MakeTableProject(r);
        ProjectData made;
        EXPECT_EQ(ReadProjectFile(r.projectPath, made), kFileOk);
        return made;
    }

    // The error a table raises, or an empty text when it makes a project.
    QString failure(const QByteArray& bytes) const
    {
        try {
            MakeTableProject(request(bytes));
        } catch (const VelmoraError& e) {
            return e.text();
        }
        return {};
    }

    test::TempDir dir;
};

TEST_F(PageTableTest, QuotedCellsKeepCommasQuotesAndLineBreaks)
{
    const ProjectData made = make(
        "\xEF\xBB\xBFKeywordPhrase,Heading,Description,HomePage\r\n"
        "cheap cars,\"Cars, cheap\",\"Say \"\"hello\"\"\r\nto the cars\",https://cars.example/\r\n"
        "\"used bikes\",,, \r\n");
    ASSERT_EQ(made.pages.size(), 2);
    const PageRecord& first = made.pages[0];
    EXPECT_EQ(first.text(TextField::KeywordPhrase), "cheap cars");
    EXPECT_EQ(first.text(TextField::Heading), "Cars, cheap");
    EXPECT_EQ(first.text(TextField::Description), "Say \"hello\"\r\nto the cars\r\n");
    EXPECT_EQ(first.text(TextField::HomePage), "https://cars.example/");

    // Empty cells keep what Fill made; a blank is a value, as the RFC has it.
    MemoryPageFields filled;
    filled.setText(TextField::KeywordPhrase, "used bikes");
    Fill(filled);
    const PageRecord& second = made.pages[1];
    EXPECT_EQ(second.text(TextField::Heading), filled.text(TextField::Heading));
    EXPECT_EQ(second.text(TextField::Word), filled.text(TextField::Word));
    EXPECT_EQ(second.text(TextField::HomePage), " ");
}

TEST_F(PageTableTest, RowsOfEmptyCellsAndBlankLinesMakeNoPage)
{
    EXPECT_EQ(make("KeywordPhrase,Edit2\n\na,x\n,\n\nb,\n,,\n").pages.size(), 2);
}

TEST_F(PageTableTest, FileNamesGetTheirExtension)
{
    EXPECT_EQ(make("KeywordPhrase,Edit2\na,offer\n").pages[0].text(TextField::Edit2), "offer.htm");
}

struct BadTable {
    const char* name;
    QByteArray bytes;
    const char* where;  // the part of the message that places the fault
};

class BadTables : public PageTableTest, public ::testing::WithParamInterface<BadTable> {};

TEST_P(BadTables, NameTheRowAndColumnAndWriteNothing)
{
    const QString project = dir.file(QStringLiteral("made.kpj"));
    test::writeFile(project, "old project");
    const QString text = failure(GetParam().bytes);
    EXPECT_TRUE(text.contains(QLatin1String(GetParam().where))) << text.toStdString();
    EXPECT_EQ(test::readFile(project), "old project");
}

const QByteArray kLongHeading = QByteArray(260, 'h');

INSTANTIATE_TEST_SUITE_P(
    Cases, BadTables,
    ::testing::Values(
        BadTable{"UnknownColumn", "KeywordPhrase,Colour\na,b\n", "row 1, column 2: \"Colour\""},
        BadTable{"ProgramsOwnField", "KeywordPhrase,PageFolder\na,/etc/\n", "row 1, column 2"},
        BadTable{"ColumnTwice", "KeywordPhrase,Heading,Heading\n", "row 1, column 3"},
        BadTable{"NoKeywordPhraseColumn", "Heading,Description\na,b\n", "no KeywordPhrase column"},
        BadTable{"Empty", "", "row 1"},
        BadTable{"HeadingOnly", "KeywordPhrase\n", "no page"},
        BadTable{"TooManyCells", "KeywordPhrase,Heading\na,b\nc,d,e\n",
                 "row 3, column 3: more cells"},
        BadTable{"TooLong", "KeywordPhrase,Heading\na," + kLongHeading + "\n",
                 "row 2, column 2 (Heading): 260 bytes do not fit"},
        BadTable{"NoPhrase", "Heading,KeywordPhrase\nh,\n", "row 2, column 2 (KeywordPhrase)"},
        BadTable{"LineBreakInOneLineField", "KeywordPhrase,Heading\na,\"two\nlines\"\n",
                 "row 2, column 2 (Heading): a line break"},
        BadTable{"NotUtf8", "KeywordPhrase,Heading\na,caf\xE9\n", "row 2, column 2 (Heading)"},
        BadTable{"PathAsFileName", "KeywordPhrase,Edit2\na,../../x\n", "row 2, column 2 (Edit2)"},
        BadTable{"StrayQuote", "KeywordPhrase,Heading\na,b\"c\n", "row 2, column 2"},
        BadTable{"UnclosedQuote", "KeywordPhrase,Heading\na,\"open\n",
                 "row 2, column 2 (Heading): not CSV"},
        BadTable{"EndlessCell", "KeywordPhrase\n\"" + QByteArray(200 * 1024, 'x'),
                 "row 2, column 1 (KeywordPhrase): a cell longer"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
