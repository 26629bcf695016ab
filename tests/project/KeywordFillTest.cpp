#include <gtest/gtest.h>

#include "project/KeywordFill.h"

namespace velmora {
namespace {

struct FillCase {
    const char* name;
    QByteArray phrase;
    // Word, Word1 ... as far as the case names them; the rest must be empty.
    std::vector<QByteArray> keywords;
};

class FillKeywords : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillKeywords, SetsTheFifteenKeywordFields)
{
    const FillCase& c = GetParam();
    MemoryPageFields fields;
    for (int i = 0; i < kKeywordFieldCount; ++i) fields.setText(keywordField(i), "stale");
    fields.setText(TextField::KeywordPhrase, c.phrase);
    Fill(fields);
    for (int i = 0; i < kKeywordFieldCount; ++i) {
        const QByteArray expected = i < int(c.keywords.size()) ? c.keywords[i] : QByteArray();
        EXPECT_EQ(fields.text(keywordField(i)), expected) << "keyword field " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Phrases, FillKeywords,
    ::testing::Values(
        FillCase{"empty", "", {}},
        FillCase{"one_word", "cars", {"cars"}},
        FillCase{"two_words", "cheap cars", {"cheap cars", "cheap", "cars"}},
        FillCase{"three_words",
                 "cheap used cars",
                 {"cheap used cars", "cheap", "used", "cars", "cheap used", "cheap cars",
                  "used cars"}},
        FillCase{"four_words",
                 "a b c d",
                 {"a b c d", "a", "b", "c", "d", "a b", "a c", "a d", "b c", "b d", "c d", "a b c",
                  "a b d", "a c d", "b c d"}},
        FillCase{"five_words_keep_four", "a b c d e",
                 {"a b c d e", "a", "b", "c", "d", "a b", "a c", "a d", "b c", "b d", "c d",
                  "a b c", "a b d", "a c d", "b c d"}},
        FillCase{"double_blank_before_third_word_is_one_separator", "a  b c",
                 {"a  b c", "a", "b", "c", "a b", "a c", "b c"}},
        // Right after the third word two blanks leave the fourth word empty.
        FillCase{"double_blank_after_third_word", "a b c  d",
                 {"a b c  d", "a", "b", "c", "", "a b", "a c", "a ", "b c", "b ", "c ", "a b c",
                  "a b ", "a c ", "b c "}},
        FillCase{"leading_blank_single_word", " cars", {"cars"}},
        FillCase{"leading_blank_two_words", " cheap cars", {" cheap cars", "cheap", "cars"}},
        FillCase{"single_word_and_blank", "cars ", {"cars ", "cars", ""}},
        FillCase{"trailing_blank_stays_on_the_last_word", "cheap cars ",
                 {"cheap cars ", "cheap", "cars "}},
        FillCase{"tabs_are_part_of_words", "a\tb c", {"a\tb c", "a\tb", "c"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fill, SetsHeadingAndPlaceholdersAndNothingElse)
{
    MemoryPageFields fields;
    fields.setText(TextField::KeywordPhrase, "cheap cars");
    fields.setText(TextField::LinkName, "home");
    fields.setText(TextField::Edit2, "x.htm");
    fields.setColour(ColourField::LinkColor, 0x123456);
    Fill(fields);
    Fill(fields);  // twice gives the same, no doubled placeholders
    EXPECT_EQ(fields.text(TextField::Heading), "cheap cars");
    EXPECT_EQ(fields.text(TextField::SubHeading), "cheap cars -- subheading");
    EXPECT_EQ(fields.text(TextField::Description),
              "cheap cars -- description goes here, minimum 75 words\r\n");
    EXPECT_EQ(fields.text(TextField::HiddenText), "cheap cars -- comment goes here");
    EXPECT_EQ(fields.text(TextField::LinkName), "home");
    EXPECT_EQ(fields.text(TextField::Edit2), "x.htm");
    EXPECT_EQ(fields.colour(ColourField::LinkColor), 0x123456u);
    EXPECT_EQ(fields.text(TextField::HeadingAlign), "center");
}

TEST(Fill, AnEmptyPhraseLeavesThePlaceholdersAlone)
{
    MemoryPageFields fields;
    Fill(fields);
    EXPECT_EQ(fields.text(TextField::Heading), "");
    EXPECT_EQ(fields.text(TextField::SubHeading), " -- subheading");
    EXPECT_EQ(fields.text(TextField::HiddenText), " -- comment goes here");
}

TEST(Fill, LongCombinationsAreBuiltWholeAndCutOnlyByTheRecord)
{
    const QByteArray w(120, 'w');
    const QByteArray phrase = w + " " + w + " x";
    const auto keywords = KeywordCombinations(phrase, SplitPhrase(phrase));
    EXPECT_EQ(keywords[4], w + " " + w);  // 241 characters, longer than 99

    MemoryPageFields fields;
    fields.setText(TextField::KeywordPhrase, QByteArray(150, 'a') + " " + QByteArray(150, 'b'));
    Fill(fields);
    PageRecord page;
    page.setText(TextField::Word, fields.text(TextField::Word));
    EXPECT_EQ(page.text(TextField::Word).size(), 259);
}

TEST(SplitPhrase, CountsTheWordsItKeeps)
{
    EXPECT_EQ(SplitPhrase("").count, 1);
    EXPECT_EQ(SplitPhrase("a b").count, 2);
    EXPECT_EQ(SplitPhrase("a b c d e f").count, 4);
    EXPECT_EQ(SplitPhrase("   ").count, 1);
    EXPECT_EQ(SplitPhrase("   ").words[0], " ");  // the last blank is never a separator
}

}  // namespace
}  // namespace velmora
