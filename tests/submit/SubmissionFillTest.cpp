#include <gtest/gtest.h>

#include <ostream>

#include "submit/SubmissionFill.h"

namespace velmora {
namespace {

struct Fill {
    const char* name;
    QByteArray text;
    SubmissionValues values;
    QByteArray expected;
};

void PrintTo(const Fill& c, std::ostream* os) { *os << c.name; }

class SubmissionFillTest : public ::testing::TestWithParam<Fill> {};

TEST_P(SubmissionFillTest, FillsThePlaceholders)
{
    EXPECT_EQ(FillSubmissionString(GetParam().text, GetParam().values), GetParam().expected);
}

const SubmissionValues kTyped{.url = "http://my.site/page.htm",
                              .email = "me@my.site",
                              .name = "Jo Bloggs",
                              .par1 = "p1",
                              .par2 = "p2"};

INSTANTIATE_TEST_SUITE_P(
    Rules, SubmissionFillTest,
    ::testing::Values(
        Fill{"all_five", "u=$URL&e=$EMAIL&n=$NAME&1=$PAR1&2=$PAR2", kTyped,
             "u=http://my.site/page.htm&e=me@my.site&n=Jo Bloggs&1=p1&2=p2"},
        Fill{"twice", "a=$URL&b=$URL", kTyped,
             "a=http://my.site/page.htm&b=http://my.site/page.htm"},
        Fill{"none", "http://engine.example/add", kTyped, "http://engine.example/add"},
        Fill{"empty_values_remove_placeholders",
             "[$URL][$EMAIL][$NAME][$PAR1][$PAR2]",
             {},
             "[][][][][]"},
        Fill{"letter_case_counts", "$url $Url $URL $email", kTyped,
             "$url $Url http://my.site/page.htm $email"},
        Fill{"values_as_typed", "q=$NAME", {.name = "a b&c=%20\"<>"}, "q=a b&c=%20\"<>"},
        Fill{"earlier_value_searched_for_later",
             "u=$URL",
             {.url = "$EMAIL", .email = "me@my.site"},
             "u=me@my.site"},
        Fill{"later_value_not_searched_for_earlier",
             "e=$EMAIL",
             {.url = "x", .email = "$URL"},
             "e=$URL"},
        Fill{"search_starts_over", "$$URLURL", {}, ""},
        Fill{"value_holding_its_placeholder",
             "a=$URL&b=$URL",
             {.url = "<$URL>"},
             "a=<$URL>&b=<$URL>"},
        Fill{"value_is_its_placeholder", "$URL", {.url = "$URL"}, "$URL"},
        Fill{"value_doubles_its_placeholder",
             "a=$URL&b=$URL",
             {.url = "$URL$URL"},
             "a=$URL$URL&b=$URL$URL"},
        Fill{"self_holding_value_then_later_placeholders",
             "$URL",
             {.url = "$URL&$NAME", .name = "n"},
             "$URL&n"},
        Fill{"every_value_its_own_placeholder",
             "$URL$EMAIL$NAME$PAR1$PAR2",
             {.url = "$URL", .email = "$EMAIL", .name = "$NAME", .par1 = "$PAR1", .par2 = "$PAR2"},
             "$URL$EMAIL$NAME$PAR1$PAR2"},
        Fill{"not_utf8_kept", "\xFF$URL\xFE", {.url = "\xC3"}, "\xFF\xC3\xFE"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
