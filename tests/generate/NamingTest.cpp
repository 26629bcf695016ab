#include <gtest/gtest.h>

#include "generate/Naming.h"

namespace velmora {
namespace {

TEST(PageLetters, ReplaceEachDigit)
{
    EXPECT_EQ(PageLetters(0), "b");
    EXPECT_EQ(PageLetters(1), "v");
    EXPECT_EQ(PageLetters(2), "o");
    EXPECT_EQ(PageLetters(10), "vb");
    EXPECT_EQ(PageLetters(123), "vol");
    EXPECT_EQ(PageLetters(4567890), "criwayb");
    EXPECT_EQ(PageLetters(9), "y");
}

TEST(Naming, BaseNameStopsAtTheLastDot)
{
    EXPECT_EQ(BaseName(QStringLiteral("my.site.kpj")), QStringLiteral("my.site"));
    EXPECT_EQ(BaseName(QStringLiteral("Project1.kpj")), QStringLiteral("Project1"));
    EXPECT_EQ(BaseName(QStringLiteral("noext")), QStringLiteral("noext"));
}

TEST(Naming, OutputFolderSitsBesideTheProjectFile)
{
    EXPECT_EQ(OutputFolder(QStringLiteral("/work/Project1.kpj"), QStringLiteral("Project1.kpj")),
              QStringLiteral("/work/Project1/"));
    EXPECT_EQ(OutputFolder(QStringLiteral("p.kpj"), QStringLiteral("p.kpj")), QStringLiteral("p/"));
    EXPECT_EQ(AutoPageName(QStringLiteral("Project1.kpj"), 2), QStringLiteral("Project1o.htm"));
}

}  // namespace
}  // namespace velmora
