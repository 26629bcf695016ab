#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "submit/SubmissionEntry.h"

namespace velmora {
namespace {

QByteArray fieldBytes(const SubmissionEntry& entry, std::size_t offset)
{
    return QByteArray(entry.bytes().data() + offset, 260);
}

TEST(SubmissionEntryLayout, NameAtZeroAndStringAt260)
{
    SubmissionEntry entry;
    EXPECT_TRUE(
        std::all_of(entry.bytes().begin(), entry.bytes().end(), [](char c) { return c == 0; }));
    entry.setText(SubmissionField::Name, "Engine");
    entry.setText(SubmissionField::SubmissionString, "http://x/?$URL");
    EXPECT_EQ(fieldBytes(entry, 0), QByteArray("Engine") + QByteArray(254, '\0'));
    EXPECT_EQ(fieldBytes(entry, 260), QByteArray("http://x/?$URL") + QByteArray(246, '\0'));
    EXPECT_EQ(entry.name(), "Engine");
    EXPECT_EQ(entry.submissionString(), "http://x/?$URL");
}

struct Cut {
    const char* name;
    QByteArray value;
    QByteArray stored;
};

void PrintTo(const Cut& c, std::ostream* os) { *os << c.name; }

class SubmissionEntryCutting : public ::testing::TestWithParam<Cut> {};

TEST_P(SubmissionEntryCutting, KeepsEachTextInsideItsField)
{
    for (const auto field : {SubmissionField::Name, SubmissionField::SubmissionString}) {
        const auto other = field == SubmissionField::Name ? SubmissionField::SubmissionString
                                                          : SubmissionField::Name;
        SubmissionEntry entry;
        entry.setText(other, QByteArray(300, 'o'));
        entry.setText(field, GetParam().value);
        EXPECT_EQ(entry.text(field), GetParam().stored);
        EXPECT_EQ(entry.text(other), QByteArray(259, 'o')) << "the other field was touched";
        // The terminating zero stays inside the field.
        EXPECT_EQ(entry.bytes()[slotOf(field).offset + 259], 0);
    }
}

const QByteArray kEuro = "\xE2\x82\xAC";  // three bytes in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Texts, SubmissionEntryCutting,
    ::testing::Values(Cut{"fits_exactly", QByteArray(259, 'a'), QByteArray(259, 'a')},
                      Cut{"one_too_many", QByteArray(260, 'a'), QByteArray(259, 'a')},
                      Cut{"far_too_long", QByteArray(5000, 'a'), QByteArray(259, 'a')},
                      Cut{"euro_fits", QByteArray(256, 'a') + kEuro, QByteArray(256, 'a') + kEuro},
                      Cut{"euro_split", QByteArray(257, 'a') + kEuro, QByteArray(257, 'a')},
                      Cut{"two_byte_split", QByteArray(258, 'a') + "\xC3\xA9",
                          QByteArray(258, 'a')},
                      Cut{"not_utf8", QByteArray(300, '\xFF'), QByteArray(259, '\xFF')},
                      Cut{"zero_ends_text", QByteArray("ab\0cd", 5), "ab"}, Cut{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SubmissionEntryReading, AFieldWithoutZeroEndsAtItsLastByte)
{
    SubmissionEntry entry;
    std::fill_n(entry.bytes().begin(), kSubmissionEntrySize, 'n');
    EXPECT_EQ(entry.name(), QByteArray(260, 'n'));
    EXPECT_EQ(entry.submissionString(), QByteArray(260, 'n'));
    entry.bytes()[260] = 0;
    EXPECT_EQ(entry.name(), QByteArray(260, 'n'));
    EXPECT_EQ(entry.submissionString(), "");
}

TEST(SubmissionEntryReading, BytesBehindTheZeroCarryNoMeaning)
{
    SubmissionEntry entry;
    entry.setText(SubmissionField::Name, "Engine");
    entry.bytes()[100] = 'z';
    EXPECT_EQ(entry.name(), "Engine");
}

}  // namespace
}  // namespace velmora
