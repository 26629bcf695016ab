#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "publish/ftp/ReplyLines.h"

namespace velmora {
namespace {

struct NumberCase {
    const char* line;
    qint64 number;
};

// Case names as ctest lists them: letters and digits of the line only.
std::string caseName(const char* line)
{
    std::string name;
    for (const char* c = line; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name.empty() ? std::string("empty") : name;
}

void PrintTo(const NumberCase& c, std::ostream* os) { *os << caseName(c.line); }

class ReplyNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReplyNumberTest, TakesAtMostTenLeadingDigits)
{
    EXPECT_EQ(replyNumberOf(GetParam().line), GetParam().number) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReplyNumberTest,
    ::testing::Values(NumberCase{"220 Service ready\r\n", 220}, NumberCase{"hello\r\n", 0},
                      NumberCase{"", 0}, NumberCase{"331-more\r\n", 331},
                      NumberCase{"12345678901 eleven digits\r\n", 1234567890},
                      NumberCase{"9999999999\r\n", 9999999999},
                      // 16 bits would make these 421 and 300: no wrapping.
                      NumberCase{"65957 big\r\n", 65957}, NumberCase{"65836 big\r\n", 65836},
                      NumberCase{"4294967717 bigger\r\n", 4294967717},
                      NumberCase{" 220 leading space\r\n", 0}, NumberCase{"2x0\r\n", 2}));

TEST(ReplyNumberTest, WideNumbersStayOutOfTheErrorRange)
{
    EXPECT_FALSE(isErrorReply(replyNumberOf("65957 x\r\n")));
    EXPECT_FALSE(isErrorReply(replyNumberOf("4294967717 x\r\n")));
    EXPECT_FALSE(isTransferErrorReply(replyNumberOf("66002 x\r\n")));
}

struct ContinuationCase {
    const char* line;
    bool continues;
};

void PrintTo(const ContinuationCase& c, std::ostream* os) { *os << caseName(c.line); }

class ContinuationTest : public ::testing::TestWithParam<ContinuationCase> {};

TEST_P(ContinuationTest, SpaceOrDashInTheFourthPlaceGoesOn)
{
    EXPECT_EQ(continuesReply(GetParam().line), GetParam().continues) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ContinuationTest,
    ::testing::Values(ContinuationCase{"220-Welcome\r\n", true},
                      ContinuationCase{" indented\r\n", true}, ContinuationCase{" ", true},
                      ContinuationCase{"220 Ready\r\n", false},
                      ContinuationCase{"Hello\r\n", false}, ContinuationCase{"ab-\n", false},
                      ContinuationCase{"22\n", false}, ContinuationCase{"abc-rest\r\n", true},
                      ContinuationCase{"", false}, ContinuationCase{"230\r\n", false}));

TEST(ReplyCodeTest, RangesOfTheThreeErrorTests)
{
    struct Case {
        qint64 number;
        bool error, userError, transferError;
    };
    const Case cases[] = {
        {0, false, false, false},     {150, false, false, false}, {226, false, false, false},
        {300, false, false, false},   {301, true, false, false},  {331, true, false, false},
        {400, true, false, true},     {401, true, true, true},    {426, true, true, true},
        {530, true, true, true},      {552, true, true, true},    {599, true, true, true},
        {600, false, false, false},   {65957, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isErrorReply(c.number), c.error) << c.number;
        EXPECT_EQ(isUserErrorReply(c.number), c.userError) << c.number;
        EXPECT_EQ(isTransferErrorReply(c.number), c.transferError) << c.number;
    }
}

}  // namespace
}  // namespace velmora
