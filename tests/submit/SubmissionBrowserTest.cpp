#include <gtest/gtest.h>

#include "SubmissionTestData.h"
#include "project/ProjectFile.h"
#include "submit/SubmissionBrowser.h"
#include "submit/SubmissionFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::makeSubmissionList;
using test::submissionFileBytes;

class SubmissionBrowserTest : public ::testing::Test {
protected:
    test::TempDir dir;
    QString path = submissionFilePath(dir.path());
    SubmissionBrowser browser;
};

TEST_F(SubmissionBrowserTest, AnyFailedReadDropsWhatWasReadForOneBlankEntry)
{
    for (const QByteArray& bytes :
         {submissionFileBytes(3, makeSubmissionList(2)), submissionFileBytes(0, {}),
          submissionFileBytes(-2, makeSubmissionList(1)), QByteArray("\x01", 1)}) {
        test::writeFile(path, bytes);
        EXPECT_NE(browser.load(path), kFileOk);
        EXPECT_EQ(browser.counterText(), QStringLiteral("1 of 1"));
        EXPECT_EQ(browser.current(), SubmissionEntry());
    }
}

TEST_F(SubmissionBrowserTest, OnlyEditModeMovesPastTheLastEntry)
{
    test::writeFile(path, submissionFileBytes(12, makeSubmissionList(12)));
    ASSERT_EQ(browser.load(path), kFileOk);
    EXPECT_EQ(browser.counterText(), QStringLiteral("1 of 12"));
    for (int i = 0; i < 12; ++i) browser.next();
    EXPECT_EQ(browser.counterText(), QStringLiteral("12 of 12"));
    browser.setEditMode(true);
    browser.next();
    EXPECT_EQ(browser.counterText(), QStringLiteral("13 of 13"));
    EXPECT_EQ(browser.current(), SubmissionEntry());
    // Every load starts again on the first entry, outside Edit mode.
    browser.load(path);
    EXPECT_FALSE(browser.editMode());
    EXPECT_EQ(browser.index(), 0);
    browser.previous();
    EXPECT_EQ(browser.index(), 0);
}

}  // namespace
}  // namespace velmora
