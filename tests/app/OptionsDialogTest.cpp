#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/ui/NewProjectDialog.h"
#include "app/ui/OptionsDialog.h"
#include "project/PageOperations.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui_OptionsDialog.h"

namespace velmora {
namespace {

class OptionsDialogTest : public ::testing::Test {
protected:
    SettingsFile settings() const { return SettingsFile::inDirectory(dir.path()); }
    QByteArray ini() const { return dir.read(QStringLiteral("velmora.ini")); }

    test::TempDir dir;
    test::ScriptedPrompter prompter;
};

TEST_F(OptionsDialogTest, OkWithoutChangesWritesAllFourKeys)
{
    TOptDlg dialog(settings(), prompter);
    EXPECT_TRUE(dialog.form().CheckBox1->isHidden());
    EXPECT_TRUE(dialog.form().RadioGroup1->isHidden());
    dialog.open();
    dialog.form().OKBtn->click();
    EXPECT_EQ(settings().read("OPTIONS", "AUTO_NAME", ""), "Yes");
    EXPECT_EQ(settings().read("OPTIONS", "MSG_FOLDER", ""), "Yes");
    EXPECT_EQ(settings().read("OPTIONS", "MSG_FILE", ""), "Yes");
    EXPECT_EQ(settings().read("OPTIONS", "CHOSING_NEW_PRJ", ""), "0");
}

TEST_F(OptionsDialogTest, CancelRestoresTheStoredStateAndWritesNothing)
{
    TOptDlg dialog(settings(), prompter);
    dialog.open();
    dialog.form().CheckBox2->click();
    EXPECT_FALSE(dialog.currentOptions().msgFolder);
    dialog.form().CancelBtn->click();
    EXPECT_TRUE(dialog.currentOptions().msgFolder);
    EXPECT_FALSE(dir.exists(QStringLiteral("velmora.ini")));

    dialog.open();
    dialog.form().CheckBox3->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.currentOptions().msgFile);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(OptionsDialogTest, EnterStoresAsOk)
{
    TOptDlg dialog(settings(), prompter);
    dialog.open();
    dialog.form().CheckBox3->click();
    QTest::keyClick(dialog.form().CheckBox2, Qt::Key_Return);
    EXPECT_EQ(settings().read("OPTIONS", "MSG_FILE", ""), "No");
}

TEST_F(OptionsDialogTest, AChoiceOutOfRangeIsClampedAndWrittenBackClamped)
{
    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nCHOSING_NEW_PRJ=7\n");
    TOptDlg high(settings(), prompter);
    EXPECT_EQ(high.currentOptions().newProjectChoice, 2);
    high.open();
    high.form().OKBtn->click();
    EXPECT_EQ(settings().read("OPTIONS", "CHOSING_NEW_PRJ", ""), "2");

    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nCHOSING_NEW_PRJ=-5\n");
    TOptDlg low(settings(), prompter);
    EXPECT_EQ(low.currentOptions().newProjectChoice, -1);
    low.open();
    low.form().OKBtn->click();
    EXPECT_EQ(settings().read("OPTIONS", "CHOSING_NEW_PRJ", ""), "-1");
}

TEST_F(OptionsDialogTest, ABadChoiceOnCancelIsShownAndKeepsTheChoice)
{
    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nCHOSING_NEW_PRJ=1\n");
    TOptDlg dialog(settings(), prompter);
    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nCHOSING_NEW_PRJ=one\nMSG_FILE=No\n");
    dialog.open();
    dialog.form().CancelBtn->click();
    EXPECT_EQ(prompter.messages(),
              QStringList{QStringLiteral("'one' is not a valid integer value.")});
    EXPECT_EQ(dialog.currentOptions().newProjectChoice, 1);
    EXPECT_FALSE(dialog.currentOptions().msgFile);
}

TEST(NewProjectDialog, OpensOnSingleAndReportsTheChoice)
{
    TNewPrjDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New Project"));
    EXPECT_EQ(dialog.projectType(), kSingle);
    dialog.findChild<QRadioButton*>(QStringLiteral("RadioButton2"))->click();
    EXPECT_EQ(dialog.projectType(), kInterlinked);
}

}  // namespace
}  // namespace velmora
