#include <gtest/gtest.h>

#include "SubmissionTestData.h"
#include "project/ProjectFile.h"
#include "submit/SubmissionBrowser.h"
#include "submit/SubmissionFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

class SubmissionBrowserTest : public ::testing::Test {
protected:
    void writeList(int n)
    {
        test::writeFile(path, test::submissionFileBytes(n, test::makeSubmissionList(n)));
    }

    test::TempDir dir;
    QString path = submissionFilePath(dir.path());
    SubmissionBrowser browser;
};

TEST_F(SubmissionBrowserTest, NoFileGivesOneBlankEntryThatEditModeGrows)
{
    EXPECT_EQ(browser.load(path), kFileCannotOpen);
    EXPECT_EQ(browser.counterText(), QStringLiteral("1 of 1"));
    EXPECT_EQ(browser.current(), SubmissionEntry());
    EXPECT_FALSE(browser.canGoPrevious());
    EXPECT_FALSE(browser.canGoNext());
    browser.next();
    EXPECT_EQ(browser.count(), 1) << "Next outside Edit mode on the last entry";

    browser.setEditMode(true);
    EXPECT_TRUE(browser.canGoNext());
    browser.next();
    EXPECT_EQ(browser.counterText(), QStringLiteral("2 of 2"));
    EXPECT_EQ(browser.current(), SubmissionEntry());
    EXPECT_TRUE(browser.canGoPrevious());
    EXPECT_TRUE(browser.canGoNext());
}

TEST_F(SubmissionBrowserTest, StepsThroughAListOfThree)
{
    writeList(3);
    ASSERT_EQ(browser.load(path), kFileOk);
    EXPECT_EQ(browser.counterText(), QStringLiteral("1 of 3"));
    EXPECT_EQ(browser.current().name(), "engine 0");
    EXPECT_FALSE(browser.canGoPrevious());
    EXPECT_TRUE(browser.canGoNext());
    browser.previous();
    EXPECT_EQ(browser.index(), 0);
    browser.next();
    browser.next();
    EXPECT_EQ(browser.counterText(), QStringLiteral("3 of 3"));
    EXPECT_EQ(browser.current().name(), "engine 2");
    EXPECT_FALSE(browser.canGoNext());
    EXPECT_TRUE(browser.canGoPrevious());
    browser.previous();
    EXPECT_EQ(browser.current().name(), "engine 1");
}

TEST_F(SubmissionBrowserTest, AnyFailedReadDropsWhatWasReadForOneBlankEntry)
{
    for (const QByteArray& bytes :
         {test::submissionFileBytes(3, test::makeSubmissionList(2)),
          test::submissionFileBytes(0, {}),
          test::submissionFileBytes(-2, test::makeSubmissionList(1)), QByteArray("\x01", 1)}) {
        test::writeFile(path, bytes);
        EXPECT_NE(browser.load(path), kFileOk);
        EXPECT_EQ(browser.count(), 1);
        EXPECT_EQ(browser.current(), SubmissionEntry());
    }
}

TEST_F(SubmissionBrowserTest, EveryLoadStartsOnTheFirstEntryOutsideEditMode)
{
    writeList(12);
    browser.load(path);
    browser.setEditMode(true);
    browser.next();
    EXPECT_EQ(browser.load(path), kFileOk);
    EXPECT_FALSE(browser.editMode());
    EXPECT_EQ(browser.counterText(), QStringLiteral("1 of 12"));
}

TEST_F(SubmissionBrowserTest, SavesTheListWithAddedEntries)
{
    writeList(1);
    browser.load(path);
    browser.setEditMode(true);
    browser.next();
    browser.current().setText(SubmissionField::Name, "added");
    ASSERT_EQ(browser.save(path), kFileOk);
    SubmissionList expected = test::makeSubmissionList(1);
    expected.append().setText(SubmissionField::Name, "added");
    EXPECT_EQ(test::readFile(path), test::submissionFileBytes(2, expected));
}

}  // namespace
}  // namespace velmora
