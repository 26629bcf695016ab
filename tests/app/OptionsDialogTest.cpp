#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/ui/AboutDialog.h"
#include "app/ui/NewProjectDialog.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/SiteAddressDialog.h"
#include "generate/SiteFiles.h"
#include "project/ProjectCompanion.h"
#include "project/PageOperations.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui_AboutDialog.h"
#include "ui_OptionsDialog.h"
#include "ui_SiteAddressDialog.h"

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

// Gives `focused` the focus in its active dialog and presses Enter there.
void pressEnterOn(QWidget* focused, Qt::Key key = Qt::Key_Return)
{
    QApplication::setActiveWindow(focused->window());
    focused->setFocus();
    QTest::keyClick(focused, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
}

TEST_F(OptionsDialogTest, EnterPressesTheFocusedButtonAndOkElsewhere)
{
    TOptDlg dialog(settings(), prompter);
    dialog.open();
    dialog.form().CheckBox3->click();
    pressEnterOn(dialog.form().CancelBtn);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dir.exists(QStringLiteral("velmora.ini")));
    EXPECT_TRUE(dialog.currentOptions().msgFile);

    dialog.open();
    dialog.form().CheckBox3->click();
    pressEnterOn(dialog.form().OKBtn, Qt::Key_Enter);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings().read("OPTIONS", "MSG_FILE", ""), "No");

    dialog.open();
    dialog.form().CheckBox2->click();
    pressEnterOn(dialog.form().CheckBox3);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings().read("OPTIONS", "MSG_FOLDER", ""), "No");
}

TEST(NewProjectDialog, EnterPressesTheFocusedButtonAndOkElsewhere)
{
    TNewPrjDlg dialog;
    dialog.open();
    pressEnterOn(dialog.findChild<QPushButton*>(QStringLiteral("CancelBtn")));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.open();
    auto* interlinked = dialog.findChild<QRadioButton*>(QStringLiteral("RadioButton2"));
    interlinked->click();
    pressEnterOn(interlinked);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.projectType(), kInterlinked);

    dialog.open();
    pressEnterOn(dialog.findChild<QPushButton*>(QStringLiteral("OKBtn")));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(AboutDialog, ShowsTheIconAndClosesOnEnter)
{
    const VendorValues vendor{};
    TAboutDlg about(vendor);
    ASSERT_FALSE(about.form().Image1->pixmap().isNull());
    EXPECT_EQ(about.form().Image1->pixmap().size(), QSize(32, 32));
    about.open();
    pressEnterOn(about.form().OKBtn);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(SiteAddressDialog, EnterPressesTheFocusedButtonAndOkElsewhere)
{
    test::TempDir dir;
    test::ScriptedPrompter prompter;
    const QString project = dir.file(QStringLiteral("p.kpj"));
    const QString address = QStringLiteral("https://www.example.com/pages/");
    ProjectCompanion companion(project);
    TSiteDlg dialog(companion, prompter);
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("SiteAddress"));
    dialog.open();
    field->setText(address);
    pressEnterOn(dialog.findChild<QPushButton*>(QStringLiteral("CancelBtn")));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(ProjectCompanion(project).value(kSiteAddressKey).isEmpty());

    dialog.open();
    field->setText(address);
    pressEnterOn(field);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ProjectCompanion(project).value(kSiteAddressKey), address);
    EXPECT_TRUE(prompter.calls().isEmpty());
}

TEST(Dialogs, OpenCentredOnTheScreenNotOnTheirParent)
{
    QWidget parent;
    parent.setGeometry(0, 0, 60, 40);
    parent.show();
    test::TempDir dir;
    test::ScriptedPrompter prompter;
    TOptDlg options(SettingsFile::inDirectory(dir.path()), prompter, &parent);
    TNewPrjDlg type(&parent);
    const VendorValues vendor{};
    TAboutDlg about(vendor, &parent);
    ProjectCompanion companion(dir.file(QStringLiteral("p.kpj")));
    TSiteDlg site(companion, prompter, &parent);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&options, &type, &about, &site}) {
        dialog->open();
        const QPoint offset = dialog->frameGeometry().center() -
                              dialog->screen()->availableGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 1) << dialog->windowTitle().toStdString();
        dialog->reject();
    }
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
