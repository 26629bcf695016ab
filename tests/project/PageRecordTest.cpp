#include <gtest/gtest.h>

#include "project/PageOperations.h"
#include "project/PageRecord.h"

namespace velmora {
namespace {

QByteArray bytesAt(const PageRecord& page, std::size_t offset, std::size_t count)
{
    return QByteArray(page.bytes().data() + offset, static_cast<qsizetype>(count));
}

PageRecord defaultFirstPage()
{
    PageRecord page;
    InitPage(page, {.projectType = kInterlinked, .index = 0, .startupDir = "/home/u/work"});
    return page;
}

TEST(PageRecordLayout, DefaultsSitAtTheirFileOffsets)
{
    const PageRecord page = defaultFirstPage();
    EXPECT_EQ(bytesAt(page, 36532, 4), QByteArray::fromHex("8282D200"));  // heading colour
    EXPECT_EQ(bytesAt(page, 36536, 4), QByteArray::fromHex("FF646400"));
    EXPECT_EQ(bytesAt(page, 36540, 4), QByteArray::fromHex("32969600"));
    EXPECT_EQ(bytesAt(page, 36544, 8), QByteArray::fromHex("FFFFFF00FFFFFF00"));
    EXPECT_EQ(bytesAt(page, 36552, 4), QByteArray::fromHex("C8C8C800"));  // background
    EXPECT_EQ(bytesAt(page, 36556, 3), QByteArray::fromHex("010101"));    // the three flags
    EXPECT_EQ(bytesAt(page, 30775, 12), QByteArray("splash1.jpg\0", 12));
    EXPECT_EQ(bytesAt(page, 31295, 7), QByteArray("center\0", 7));
    EXPECT_EQ(bytesAt(page, 31316, 4), QByteArray("all\0", 4));
    EXPECT_EQ(bytesAt(page, 35750, 8), QByteArray("http://\0", 8));
    EXPECT_EQ(page.text(TextField::ImageSource), "/home/u/work/splash1.jpg");
    EXPECT_EQ(page.text(TextField::RobotsTag), "<meta name=\"robots\" content=\"all\">");
    EXPECT_EQ(bytesAt(page, 36530, 2), QByteArray(2, '\0'));  // padding
    EXPECT_EQ(bytesAt(page, 37599, 1), QByteArray(1, '\0'));
}

TEST(PageRecordLayout, UnusedBytesOfAFieldAreZero)
{
    PageRecord page;
    page.setText(TextField::Heading, QByteArray(200, 'x'));
    page.setText(TextField::Heading, "short");
    EXPECT_EQ(bytesAt(page, 260 + 5, 255), QByteArray(255, '\0'));

    // The start of what the field holds is not what it holds.
    page.setText(TextField::Heading, "shortened");
    page.setText(TextField::Heading, "short");
    EXPECT_EQ(page.text(TextField::Heading), "short");
    page.setText(TextField::Heading, "");
    EXPECT_EQ(page.text(TextField::Heading), "");
    EXPECT_EQ(bytesAt(page, 260, 260), QByteArray(260, '\0'));
}

struct CutCase {
    const char* name;
    TextField field;
    QByteArray value;
    QByteArray expected;
};

class PageRecordCutting : public ::testing::TestWithParam<CutCase> {};

TEST_P(PageRecordCutting, KeepsTheTextInsideItsField)
{
    const CutCase& c = GetParam();
    PageRecord page;
    page.bytes()[slotOf(c.field).offset - 1] = '\x7f';  // the byte before the field
    const std::size_t after = slotOf(c.field).offset + slotOf(c.field).width;
    page.bytes()[after] = '\x7e';                          // the byte after it
    page.setText(c.field, c.value);
    EXPECT_EQ(page.text(c.field), c.expected);
    EXPECT_EQ(page.bytes()[slotOf(c.field).offset - 1], '\x7f');
    EXPECT_EQ(page.bytes()[after], '\x7e');
}

const QByteArray kEuro = "\xE2\x82\xAC";  // three bytes

INSTANTIATE_TEST_SUITE_P(
    Cases, PageRecordCutting,
    ::testing::Values(
        CutCase{"fits", TextField::Heading, QByteArray(259, 'a'), QByteArray(259, 'a')},
        CutCase{"one_too_long", TextField::Heading, QByteArray(260, 'a'), QByteArray(259, 'a')},
        CutCase{"noindex_in_seven_bytes", TextField::ComboBox1, "noindex", "noinde"},
        CutCase{"nofollow_in_seven_bytes", TextField::ComboBox1, "nofollow", "nofoll"},
        // 258 ASCII bytes leave one byte: the two-byte letter does not fit.
        CutCase{"two_byte_letter_at_the_edge", TextField::Word,
                QByteArray(258, 'a') + "\xC3\xA9", QByteArray(258, 'a')},
        CutCase{"three_byte_letter_split", TextField::Word, QByteArray(257, 'a') + kEuro,
                QByteArray(257, 'a')},
        CutCase{"three_byte_letter_fits", TextField::Word, QByteArray(256, 'a') + kEuro + "b",
                QByteArray(256, 'a') + kEuro},
        CutCase{"non_utf8_bytes_cut_at_the_width", TextField::HeadingAlign,
                "\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9", "\xE9\xE9\xE9\xE9\xE9\xE9"},
        CutCase{"zero_byte_ends_the_text", TextField::LinkName, QByteArray("ab\0cd", 5), "ab"},
        CutCase{"last_field", TextField::PreviousLinkAddress, QByteArray(300, 'z'),
                QByteArray(259, 'z')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageRecordReading, AFieldWithoutZeroEndsAtItsLastByte)
{
    PageRecord page;
    auto bytes = page.bytes();
    std::fill_n(bytes.begin() + 31295, 7, 'L');  // HeadingAlign
    std::fill_n(bytes.begin() + 31302, 7, 'M');  // SubheadingAlign
    EXPECT_EQ(page.text(TextField::HeadingAlign), "LLLLLLL");
    EXPECT_EQ(page.text(TextField::SubheadingAlign), "MMMMMMM");
}

TEST(PageRecordColours, ReadBackAsWrittenLittleEndian)
{
    PageRecord page;
    page.setColour(ColourField::LinkColor, 0xAB123456);
    EXPECT_EQ(bytesAt(page, 36544, 4), QByteArray::fromHex("563412AB"));
    EXPECT_EQ(page.colour(ColourField::LinkColor), 0xAB123456u);
}

}  // namespace
}  // namespace velmora
