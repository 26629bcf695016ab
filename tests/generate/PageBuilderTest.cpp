#include <gtest/gtest.h>

#include "generate/PageBuilder.h"
#include "generate/PageHeadChoice.h"
#include "project/PageOperations.h"

namespace velmora {
namespace {

const QByteArray kLink = "https://velmora.example/";

class PageBuilderTest : public ::testing::Test {
protected:
    PageBuilderTest()
    {
        PageRecord page;
        InitPage(page, {.startupDir = "/w"});
        ShowPage(page, fields, kInterlinked, 0, 1);
        fields.setText(TextField::Heading, "Cheap cars");
        fields.setText(TextField::SubHeading, "Sub");
        fields.setText(TextField::Description, "Desc");
        fields.setText(TextField::Word, "cheap cars");
        fields.setText(TextField::Word1, "cheap");
        fields.setText(TextField::HiddenText, "secret");
        fields.setText(TextField::HomePage, "http://home/");
        fields.setText(TextField::LinkName, "Home");
        fields.setText(TextField::FooterText, "(c) me");
    }

    QByteArrayList build(int type = kInterlinked) { return BuildPage(fields, type, kLink); }
    bool contains(const QByteArray& line, int type = kInterlinked)
    {
        return build(type).contains(line);
    }

    MemoryPageFields fields;
};

TEST_F(PageBuilderTest, WritesTheWholeTemplateToTheByte)
{
    fields.setText(TextField::PreviousLinkName, "Back");
    fields.setText(TextField::PreviousLinkAddress, "p0.htm");
    const QByteArrayList expected = {
        "<html>",
        "<head>",
        "<title>Cheap cars</title>",
        "<meta name=\"description\" content=\"Desc\">",
        "<meta name=\"keywords\" content=\"cheap cars, cheap\">",
        "<meta name=\"robots\" content=\"all\">",
        "</head>",
        "<body bgcolor=\"#C8C8C8\" link=\"#FFFFFF\" vlink=\"#FFFFFF\">",
        "<input type=\"hidden\" name=\"content\" value=\"cheap cars, cheap\">",
        "<!--secret-->",
        "<h2 align=\"center\"><b><font face=\"Arial\" color=\"#8282D2\">",
        "Cheap cars",
        "</font></h2>",
        "<h4 align=\"center\"><font face=\"Arial\" color=\"#FF6464\"><i>",
        "Sub",
        "</i></font></b></h4>",
        "<font color=\"#C9C9C9\">",
        "secret",
        "</font>",
        "<p align=\"center\"><img src=\"splash1.jpg\" alt=\"Sub\" border=\"0\"><small>",
        "<p align=\"center\">",
        "<font face=\"Arial\" color=\"#329696\">",
        "Desc",
        "</p>",
        "<font face=\"Arial\"><b><p align=\"center\"><a href=\"http://home/\">Home</a></p></b>",
        "<p align=\"center\"><i><b>(c) me <a href=\"http://home/\"></a></p></b></i>",
        "<b><p align=\"center\"><a href=\"p0.htm\">Back</a></p></b>",
        "<p align=\"center\"><small><a href=\"https://velmora.example/\"><small>Page generated "
        "using <i><b>Velmora</b></i></small></a></small></p>",
        "</font></body></html>",
    };
    EXPECT_EQ(build(), expected);
}

TEST_F(PageBuilderTest, ConditionalLinesFollowTheirSwitches)
{
    const int full = build().size();
    fields.setFlag(FlagField::RobotsBox, false);
    EXPECT_EQ(build().size(), full - 1);
    EXPECT_FALSE(build().join().contains("robots"));

    fields.setFlag(FlagField::CommentsBox, false);
    EXPECT_EQ(build().size(), full - 5);
    EXPECT_FALSE(build().join().contains("secret"));

    fields.setFlag(FlagField::CompanyBox, false);
    EXPECT_FALSE(build().join().contains("(c) me"));

    fields.setText(TextField::Image, "");
    EXPECT_FALSE(build().mid(0, build().size() - 2).join().contains("<small>"));
    EXPECT_EQ(build().size(), 21);  // the 21 lines that are always written
}

TEST_F(PageBuilderTest, TheBackLinkNeedsAnInterlinkedProjectAndBothFields)
{
    const QByteArray backLink = "<b><p align=\"center\"><a href=\"p0.htm\">Back</a></p></b>";
    fields.setText(TextField::PreviousLinkAddress, "p0.htm");
    EXPECT_FALSE(build().join().contains("p0.htm"));  // no name
    fields.setText(TextField::PreviousLinkName, "Back");
    EXPECT_TRUE(contains(backLink));
    EXPECT_FALSE(contains(backLink, kSingle));
    EXPECT_FALSE(contains(backLink, 5));
}

TEST_F(PageBuilderTest, KeywordListLeavesOutEmptyFieldsAndKeepsBlanks)
{
    for (int i = 0; i < kKeywordFieldCount; ++i) fields.setText(keywordField(i), "");
    EXPECT_TRUE(contains("<meta name=\"keywords\" content=\"\">"));
    EXPECT_TRUE(contains("<input type=\"hidden\" name=\"content\" value=\"\">"));

    fields.setText(TextField::Word7, "alpha");
    EXPECT_EQ(KeywordList(fields), "alpha");
    fields.setText(TextField::Word7, "");
    fields.setText(TextField::Word1, "alpha");
    fields.setText(TextField::Word3, "beta");
    fields.setText(TextField::Word14, "   ");
    EXPECT_EQ(KeywordList(fields), "alpha, beta,    ");
}

TEST_F(PageBuilderTest, FieldsAreCopiedUnescapedAndMultiLineTextsSpanLines)
{
    fields.setText(TextField::Heading, "say \"hi\" <now>");
    fields.setText(TextField::Description, "one\ntwo");
    const QByteArrayList lines = build();
    EXPECT_EQ(lines[2], "<title>say \"hi\" <now></title>");
    EXPECT_EQ(lines[3], "<meta name=\"description\" content=\"one\r\ntwo\">");
    EXPECT_TRUE(lines.contains("one\r\ntwo"));
}

// The page file as generation writes it: every line followed by CR LF.
QByteArray fileText(const QByteArrayList& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines) text += line + "\r\n";
    return text;
}

TEST_F(PageBuilderTest, ADescriptionOfTwoLinesTakesExactlyTwoLinesInBothPlaces)
{
    const QByteArray meta = "<meta name=\"description\" content=\"";
    const QByteArray colour = "<font face=\"Arial\" color=\"#329696\">\r\n";
    // However the two lines come in, the page holds them the same way.
    for (const QByteArray& given : {QByteArray("first line\r\nsecond line\r\n"),
                                    QByteArray("first line\nsecond line"),
                                    QByteArray("first line\rsecond line\n")}) {
        fields.setText(TextField::Description, given);
        const QByteArray page = fileText(build());
        EXPECT_TRUE(page.contains(meta + "first line\r\nsecond line\">\r\n<meta name=\"keywords\""))
            << given.toStdString();
        EXPECT_TRUE(page.contains(colour + "first line\r\nsecond line\r\n</p>\r\n"))
            << given.toStdString();
        EXPECT_EQ(page.count("second line"), 2);
    }

    fields.setText(TextField::Description, "text");
    const QByteArray page = fileText(build());
    EXPECT_TRUE(page.contains(meta + "text\">\r\n<meta name=\"keywords\""));
    EXPECT_TRUE(page.contains(colour + "text\r\n</p>\r\n"));

    // An empty line the user leaves at the end is a line of the page.
    fields.setText(TextField::Description, "text\n\n");
    EXPECT_TRUE(fileText(build()).contains(colour + "text\r\n\r\n</p>\r\n"));

    fields.setText(TextField::Description, "");
    EXPECT_TRUE(fileText(build()).contains(meta + "\">\r\n"));
    EXPECT_TRUE(fileText(build()).contains(colour + "\r\n</p>\r\n"));
}

TEST_F(PageBuilderTest, EmptyFieldsStillWriteTheirLines)
{
    fields.setText(TextField::Heading, "");
    fields.setText(TextField::HomePage, "");
    const QByteArrayList lines = build();
    EXPECT_EQ(lines[2], "<title></title>");
    EXPECT_EQ(lines[11], "");
    EXPECT_TRUE(lines.join().contains("<a href=\"\">Home</a>"));
}

struct HeadCase {
    const char* name;
    QByteArray heading;
    PageHead head;
    QByteArrayList afterHead;  // the lines between "<head>" and the title
};

class PageHeadLines : public PageBuilderTest, public ::testing::WithParamInterface<HeadCase> {};

TEST_P(PageHeadLines, StandRightAfterTheHeadAndChangeNothingElse)
{
    const HeadCase& c = GetParam();
    fields.setText(TextField::Heading, c.heading);
    QByteArrayList lines = BuildPage(fields, kInterlinked, kLink, c.head);
    ASSERT_GT(lines.size(), 2 + c.afterHead.size());
    EXPECT_EQ(lines[1], "<head>");
    EXPECT_EQ(lines.mid(2, c.afterHead.size()), c.afterHead);
    lines.remove(2, c.afterHead.size());
    // Without them the page is the template's, line for line.
    fields.setText(TextField::Heading, "x");
    QByteArrayList plain = build();
    for (QByteArray& line : plain)
        if (line == "x" || line == "<title>x</title>") line.replace("x", c.heading);
    EXPECT_EQ(lines, plain);
}

const QByteArray kCharset = "<meta charset=\"utf-8\">";
const QByteArray kViewport =
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";

INSTANTIATE_TEST_SUITE_P(
    Cases, PageHeadLines,
    ::testing::Values(
        HeadCase{"AsciiAsBefore", "Cheap cars", {}, {}},
        HeadCase{"LatinAccents", "caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9\x65", {}, {kCharset}},
        HeadCase{"Cyrillic",
                 "\xD0\xB4\xD0\xB5\xD1\x88\xD0\xB5\xD0\xB2\xD1\x8B\xD0\xB5",
                 {},
                 {kCharset}},
        // Bytes from another system are not declared as something they are not.
        HeadCase{"Latin1BytesUndeclared", "caf\xE9", {}, {}},
        HeadCase{"ModernWithoutAddress", "Cheap cars", {.modern = true}, {kCharset, kViewport}},
        HeadCase{"ModernWithAddress",
                 "Cheap cars",
                 {.modern = true, .canonicalAddress = "https://shop.example/a&b/p%20b.htm"},
                 {kCharset, kViewport,
                  "<link rel=\"canonical\" href=\"https://shop.example/a&amp;b/p%20b.htm\">"}},
        HeadCase{"ModernNonAsciiOneCharset", "caf\xC3\xA9", {.modern = true}, {kCharset, kViewport}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageHeadChoice, CanonicalIsThePagesPublishedAddressOnlyWhenModern)
{
    const PageHeadChoice modern{.modern = true, .siteAddress = "https://shop.example/offers/"};
    EXPECT_EQ(modern.headFor("caf\xC3\xA9 1.htm").canonicalAddress,
              "https://shop.example/offers/caf%C3%A9%201.htm");
    EXPECT_TRUE(PageHeadChoice{.modern = true}.headFor("a.htm").canonicalAddress.isEmpty());
    EXPECT_FALSE(PageHeadChoice{.siteAddress = "https://shop.example/"}.headFor("a.htm").modern);
}

TEST(ColourText, WritesRedGreenBlueAndIgnoresTheHighByte)
{
    EXPECT_EQ(ColourText(0x00FF8040), "4080FF");
    EXPECT_EQ(ColourText(0xAAFF8040), "4080FF");
    EXPECT_EQ(ColourText(0x00FFFFFF), "FFFFFF");
    EXPECT_EQ(ColourText(0), "000000");
    EXPECT_EQ(ColourText(0x000A0B0C), "0C0B0A");
}

TEST(HiddenColourText, StepsEachComponentUpButKeepsItBelow255)
{
    EXPECT_EQ(HiddenColourText(0x00FF8040), "4181FE");
    EXPECT_EQ(HiddenColourText(0x00FFFFFF), "FEFEFE");
    EXPECT_EQ(HiddenColourText(0x00000000), "010101");
    EXPECT_EQ(HiddenColourText(0xFF00FE00), "01FF01");
}

TEST(RobotsTagFor, QuotesTheChoiceAsTyped)
{
    EXPECT_EQ(RobotsTagFor("noindex"), "<meta name=\"robots\" content=\"noindex\">");
    EXPECT_EQ(RobotsTagFor("my own"), "<meta name=\"robots\" content=\"my own\">");
}

}  // namespace
}  // namespace velmora
