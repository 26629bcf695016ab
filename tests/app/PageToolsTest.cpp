// The window's File > "Import Table...", "Page Options..." and "Check
// Pages...", offscreen, every question answered by script.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/ui/CheckPagesDialog.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/PageOptionsDialog.h"
#include "project/ProjectCompanion.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui_CheckPagesDialog.h"
#include "ui_MainWindow.h"
#include "ui_PageOptionsDialog.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;
using test::ScriptedPrompter;

class PageToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write(u"velmora.ini"_s, "[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
        QDir::setCurrent(dir.path());
        form = std::make_unique<TForm1>(prompter, launcher);
        options = std::make_unique<TOptDlg>(form->settings(), prompter, form.get());
        form->setOptionsSource(options.get());
        form->show();
    }
    void TearDown() override
    {
        EXPECT_TRUE(prompter.allAnswersUsed());
        options.reset();
        form.reset();
        QDir::setCurrent(originalDir);
    }

    Ui::TForm1& ui() { return form->form(); }

    // Triggers `action` and lets `whileShown` work on the dialog it opens.
    template <typename Dialog>
    void withDialog(QAction* action, const std::function<void(Dialog&)>& whileShown)
    {
        bool shown = false;
        QTimer::singleShot(0, form.get(), [&] {
            auto* dialog = form->findChild<Dialog*>();
            ASSERT_NE(dialog, nullptr);
            shown = true;
            whileShown(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        action->trigger();
        EXPECT_TRUE(shown);
    }

    void importTable(const QByteArray& csv)
    {
        dir.write(u"pages.csv"_s, csv);
        prompter.answerOpenFile(dir.file(u"pages.csv"_s));
        ui().ImportTable1->trigger();
    }

    QString originalDir = QDir::currentPath();
    test::TempDir dir;
    ScriptedPrompter prompter;
    test::RecordingLauncher launcher;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TOptDlg> options;
};

TEST_F(PageToolsTest, ImportTableAppendsItsRowsAsPages)
{
    importTable("KeywordPhrase,Heading,LinkName\n\"cheap, used cars\",Cars for less,Shop\nbikes,,\n");
    EXPECT_EQ(ui().PageNo->text(), u"Page: 2 of 3"_s);
    EXPECT_EQ(ui().KeywordPhrase->text(), u"cheap, used cars"_s);
    EXPECT_EQ(ui().Heading->text(), u"Cars for less"_s);
    EXPECT_EQ(ui().LinkName->text(), u"Shop"_s);
    EXPECT_TRUE(form->session().changed());
    ui().Button2->click();
    EXPECT_EQ(ui().Heading->text(), u"bikes"_s);  // an empty cell keeps what Fill made
}

TEST_F(PageToolsTest, ABadTableIsShownAndChangesNothing)
{
    importTable("KeywordPhrase,Heading\na,b\nc,d,e\n");
    EXPECT_EQ(prompter.messages(),
              QStringList{dir.file(u"pages.csv"_s) +
                          u", row 3, column 3: more cells than the table has columns."_s});
    EXPECT_EQ(ui().PageNo->text(), u"Page: 1 of 1"_s);
}

TEST_F(PageToolsTest, PageOptionsKeepsTheHeadChoiceBesideTheProject)
{
    const QString project = dir.file(u"Project1.kpj"_s);
    withDialog<TPageOptDlg>(ui().PageOptions1, [](TPageOptDlg& dialog) {
        EXPECT_FALSE(dialog.form().ModernHead->isChecked());
        dialog.form().ModernHead->setChecked(true);
        dialog.form().OKBtn->click();
    });
    EXPECT_EQ(ProjectCompanion(project).value(kModernHeadKey), u"on"_s);

    ui().Button10->click();  // Generate HTML
    EXPECT_TRUE(dir.read(u"Project1/Project1b.htm"_s).contains("<meta name=\"viewport\""));

    withDialog<TPageOptDlg>(ui().PageOptions1, [](TPageOptDlg& dialog) {
        EXPECT_TRUE(dialog.form().ModernHead->isChecked());
        dialog.form().ModernHead->setChecked(false);
        dialog.form().CancelBtn->click();
    });
    EXPECT_EQ(ProjectCompanion(project).value(kModernHeadKey), u"on"_s);
}

TEST_F(PageToolsTest, CheckPagesListsTheFindingsAndJumpsToTheChosenPage)
{
    importTable("KeywordPhrase,Heading\nalpha,Same\nbeta,Same\n");
    withDialog<TCheckDlg>(ui().CheckPages1, [](TCheckDlg& dialog) {
        QTreeWidget* list = dialog.form().Findings;
        EXPECT_TRUE(dialog.form().Summary->text().startsWith(u"Checked 3 pages:"_s));
        QTreeWidgetItem* sameTitle = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0).startsWith(u"Same title"_s)) sameTitle = list->topLevelItem(i);
        ASSERT_NE(sameTitle, nullptr);
        ASSERT_EQ(sameTitle->childCount(), 2);
        EXPECT_EQ(sameTitle->child(1)->text(1), u"Page 3 (Project1o.htm)"_s);
        list->setCurrentItem(sameTitle->child(0));
        dialog.form().GoToBtn->click();
    });
    EXPECT_EQ(ui().PageNo->text(), u"Page: 2 of 3"_s);
    EXPECT_EQ(ui().KeywordPhrase->text(), u"alpha"_s);
    EXPECT_FALSE(form->session().changed());  // saved before the check
}

}  // namespace
}  // namespace velmora
