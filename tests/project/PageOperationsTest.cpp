#include <gtest/gtest.h>

#include "project/Project.h"

#include "project/PageOperations.h"

namespace velmora {
namespace {

struct CountingFields {
    MemoryPageFields fields;
    int changes = 0;
    CountingFields()
    {
        fields.setChangeHandler([this] { ++changes; });
    }
};

PageRecord newPage(int type, int index, const PageRecord* previous = nullptr)
{
    PageRecord page;
    InitPage(page, {.projectType = type, .index = index, .previous = previous, .startupDir = "/w"});
    return page;
}

TEST(ShowPage, ANewFirstPageShowsTheDefaults)
{
    MemoryPageFields fields;
    ShowPage(newPage(kInterlinked, 0), fields, kInterlinked, 0, 1);
    EXPECT_EQ(fields.text(TextField::Heading), "");
    EXPECT_EQ(fields.text(TextField::HeadingAlign), "center");
    EXPECT_EQ(fields.text(TextField::ComboBox1), "all");
    EXPECT_EQ(fields.text(TextField::Image), "splash1.jpg");
    EXPECT_EQ(fields.text(TextField::HomePage), "http://");
    EXPECT_EQ(fields.colour(ColourField::HeadingColor), 0x00D28282u);
    EXPECT_EQ(fields.colour(ColourField::BackgroundColor), 0x00C8C8C8u);
    EXPECT_TRUE(fields.flag(FlagField::RobotsBox));
    EXPECT_TRUE(fields.flag(FlagField::CommentsBox));
    EXPECT_TRUE(fields.flag(FlagField::CompanyBox));
    EXPECT_EQ(fields.text(TextField::Edit2), "");
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "");
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 1");
}

TEST(InitPage, ASecondPageLinksBackOnlyInAnInterlinkedProject)
{
    PageRecord first = newPage(kInterlinked, 0);
    first.setText(TextField::Heading, "Cheap cars");
    first.setText(TextField::Edit2, "cars.htm");

    const PageRecord linked = newPage(kInterlinked, 1, &first);
    EXPECT_EQ(linked.text(TextField::PreviousLinkName), "Cheap cars");
    EXPECT_EQ(linked.text(TextField::PreviousLinkAddress), "cars.htm");

    const PageRecord single = newPage(kSingle, 1, &first);
    EXPECT_EQ(single.text(TextField::PreviousLinkName), "");
    EXPECT_EQ(single.text(TextField::PreviousLinkAddress), "");
}

TEST(ShowPage, ASingleProjectEmptiesTheHiddenLinkFields)
{
    PageRecord page = newPage(kInterlinked, 0);
    page.setText(TextField::PreviousLinkName, "back");
    page.setText(TextField::PreviousLinkAddress, "a.htm");
    MemoryPageFields fields;
    ShowPage(page, fields, kSingle, 0, 1);
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "");
    ShowPage(page, fields, 7, 0, 1);  // an unknown type behaves as Single
    EXPECT_EQ(fields.text(TextField::PreviousLinkAddress), "");
    ShowPage(page, fields, kInterlinked, 2, 4);
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "back");
    EXPECT_EQ(fields.pageNo(), "Page: 3 of 4");
}

TEST(StorePage, ASingleProjectStoresEmptyLinksWhateverTheFieldsHold)
{
    MemoryPageFields fields;
    fields.setText(TextField::PreviousLinkName, "back");
    fields.setText(TextField::PreviousLinkAddress, "a.htm");
    PageRecord page;
    StorePage(page, fields, kSingle);
    EXPECT_EQ(page.text(TextField::PreviousLinkName), "");
    EXPECT_EQ(page.text(TextField::PreviousLinkAddress), "");
}

struct ExtensionCase {
    QByteArray typed;
    QByteArray stored;
};

class StorePageFileName : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(StorePageFileName, GetsHtmWhenItLacksTheExactExtension)
{
    MemoryPageFields fields;
    fields.setText(TextField::Edit2, GetParam().typed);
    PageRecord page;
    StorePage(page, fields, kInterlinked);
    EXPECT_EQ(page.text(TextField::Edit2), GetParam().stored);
    EXPECT_EQ(fields.text(TextField::Edit2), GetParam().stored);  // the field shows it too
}

INSTANTIATE_TEST_SUITE_P(Names, StorePageFileName,
                         ::testing::Values(ExtensionCase{"", ""},
                                           ExtensionCase{"index", "index.htm"},
                                           ExtensionCase{"index.htm", "index.htm"},
                                           ExtensionCase{"index.html", "index.html"},
                                           ExtensionCase{"INDEX.HTM", "INDEX.HTM.htm"},
                                           ExtensionCase{"page.php", "page.php.htm"},
                                           ExtensionCase{"my.dir/page", "my.dir/page.htm"},
                                           ExtensionCase{"my.dir\\page", "my.dir\\page.htm"},
                                           ExtensionCase{"a.b:c", "a.b:c.htm"},
                                           ExtensionCase{"dot.", "dot..htm"}),
                         [](const auto& info) { return "name" + std::to_string(info.index); });

TEST(StorePage, ANameTooLongForItsFieldIsCutBeforeTheExtension)
{
    const struct {
        QByteArray typed;
        QByteArray stored;
    } cases[] = {
        {QByteArray(259, 'n'), QByteArray(255, 'n') + ".htm"},
        {QByteArray(255, 'n'), QByteArray(255, 'n') + ".htm"},
        {QByteArray(256, 'n'), QByteArray(255, 'n') + ".htm"},
        {QByteArray(300, 'n') + ".html", QByteArray(254, 'n') + ".html"},
        {QByteArray(254, 'n') + ".html", QByteArray(254, 'n') + ".html"},
        // Not in the middle of a letter: the two-byte letter goes whole.
        {QByteArray(254, 'n') + "\xC3\xA9" + "x", QByteArray(254, 'n') + ".htm"},
    };
    for (const auto& c : cases) {
        MemoryPageFields fields;
        fields.setText(TextField::Edit2, c.typed);
        PageRecord page;
        StorePage(page, fields, kSingle);
        EXPECT_EQ(page.text(TextField::Edit2), c.stored) << c.typed.size();
        EXPECT_EQ(fields.text(TextField::Edit2), c.stored);
    }
}

TEST(InitPage, AStartUpDirectoryTooDeepForTheFieldLeavesNoImagePath)
{
    PageRecord page;
    InitPage(page, {.startupDir = "/" + QByteArray(246, 'd')});
    EXPECT_EQ(page.text(TextField::ImageSource), "/" + QByteArray(246, 'd') + "/splash1.jpg");
    InitPage(page, {.startupDir = "/" + QByteArray(247, 'd')});
    EXPECT_EQ(page.text(TextField::ImageSource), "");  // cut, it would name another file
    EXPECT_EQ(page.text(TextField::Image), "splash1.jpg");
}

TEST(FileNamePart, OnlyASlashSeparatesFolders)
{
    EXPECT_EQ(fileNamePart(QStringLiteral("/w/shop:v2.kpj")), QStringLiteral("shop:v2.kpj"));
    EXPECT_EQ(fileNamePart(QStringLiteral("/w/a\\b.kpj")), QStringLiteral("a\\b.kpj"));
    EXPECT_EQ(fileNamePart(QStringLiteral("plain.kpj")), QStringLiteral("plain.kpj"));
}

TEST(StorePage, ATwoLineDescriptionRoundTripsWithCrLfAfterEveryLine)
{
    MemoryPageFields fields;
    fields.setText(TextField::Description, "first\nsecond");
    PageRecord page;
    StorePage(page, fields, kInterlinked);
    EXPECT_EQ(page.text(TextField::Description), "first\r\nsecond\r\n");

    MemoryPageFields shown;
    ShowPage(page, shown, kInterlinked, 0, 1);
    EXPECT_EQ(shown.text(TextField::Description), "first\r\nsecond\r\n");
}

TEST(StorePage, BytesThatAreNotUtf8GoThroughShowAndStoreUnchanged)
{
    PageRecord page = newPage(kInterlinked, 0);
    const QByteArray cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0";  // Windows-1251
    page.setText(TextField::Heading, cp1251);
    page.setText(TextField::Description, cp1251 + "\r\n");
    MemoryPageFields fields;
    ShowPage(page, fields, kInterlinked, 0, 1);
    PageRecord stored = page;
    StorePage(stored, fields, kInterlinked);
    EXPECT_EQ(stored, page);
}

TEST(PageFieldsChanges, ReportOnlyRealChangesOfCountedFields)
{
    CountingFields c;
    c.fields.setText(TextField::Heading, "a");
    c.fields.setText(TextField::Heading, "a");
    EXPECT_EQ(c.changes, 1);
    c.fields.setText(TextField::Edit2, "x.htm");
    c.fields.setText(TextField::PreviousLinkName, "p");
    c.fields.setText(TextField::PreviousLinkAddress, "p.htm");
    c.fields.setText(TextField::ComboBox1, "none");
    c.fields.setColour(ColourField::LinkColor, 5);
    EXPECT_EQ(c.changes, 1);
    c.fields.setFlag(FlagField::RobotsBox, true);  // already on
    EXPECT_EQ(c.changes, 1);
    c.fields.setFlag(FlagField::RobotsBox, false);
    EXPECT_EQ(c.changes, 2);
}

TEST(PageFieldsChanges, ShowingAnIdenticalPageChangesNothing)
{
    PageRecord page = newPage(kInterlinked, 0);
    page.setText(TextField::Heading, "same");
    CountingFields c;
    ShowPage(page, c.fields, kInterlinked, 0, 1);
    c.changes = 0;
    ShowPage(page, c.fields, kInterlinked, 0, 1);
    EXPECT_EQ(c.changes, 0);
    page.setFlag(FlagField::CompanyBox, false);
    ShowPage(page, c.fields, kInterlinked, 0, 1);
    EXPECT_EQ(c.changes, 1);
}

}  // namespace
}  // namespace velmora
