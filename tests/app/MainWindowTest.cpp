#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/ui/AboutDialog.h"
#include "app/ui/MainWindow.h"
#include "app/ui/StatusNote.h"
#include "app/ui/OptionsDialog.h"
#include "project/PageFields.h"
#include "project/ProjectFile.h"
#include "support/CliRun.h"
#include "project/ProjectFile.h"
#include "support/ProjectBuilder.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui_AboutDialog.h"
#include "ui_MainWindow.h"

namespace velmora {
namespace {

using test::ScriptedPrompter;

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(prompter.allAnswersUsed());
        options.reset();
        form.reset();
        QDir::setCurrent(originalDir);
    }

    // Starts the window in the temporary folder, as the program does.
    void start(const QByteArray& ini = QByteArray())
    {
        if (!ini.isNull()) dir.write(QStringLiteral("velmora.ini"), ini);
        QDir::setCurrent(dir.path());
        form = std::make_unique<TForm1>(prompter, launcher);
        options = std::make_unique<TOptDlg>(form->settings(), prompter, form.get());
        form->setOptionsSource(options.get());
        quit = std::make_unique<QSignalSpy>(form.get(), &TForm1::quitRequested);
        form->show();
    }

    Ui::TForm1& ui() { return form->form(); }
    QString file(const char* name) const { return dir.file(QString::fromLatin1(name)); }
    void click(QAbstractButton* button) { button->click(); }
    void type(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    bool iniExists() const { return QFile::exists(file("velmora.ini")); }

    QString originalDir = QDir::currentPath();
    test::TempDir dir;
    ScriptedPrompter prompter;
    test::RecordingLauncher launcher;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TOptDlg> options;
    std::unique_ptr<QSignalSpy> quit;
};

TEST_F(MainWindowTest, FirstStartWithoutSettingsMakesAnInterlinkedProject)
{
    start();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project1.kpj"));
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 1 of 1"));
    EXPECT_EQ(form->session().projectType(), kInterlinked);
    EXPECT_EQ(ui().HomePage->text(), QStringLiteral("http://"));
    EXPECT_EQ(ui().ImageAlign->currentText(), QStringLiteral("center"));
    EXPECT_EQ(form->frameGeometry().size(), QSize(645, 458));
    // Centred as a whole, frame included.
    const QRect screen = form->screen()->geometry();
    EXPECT_EQ(form->frameGeometry().topLeft(),
              QPoint((screen.width() - 645) / 2, (screen.height() - 458) / 2));
    // At the default font every control stands where the form puts it.
    EXPECT_EQ(ui().Label2->geometry(), QRect(8, 98, 90, 16));
    EXPECT_EQ(ui().Button10->geometry(), QRect(112, 34, 102, 23));
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_TRUE(prompter.calls().isEmpty());
    EXPECT_FALSE(iniExists());
    EXPECT_FALSE(form->session().changed());
    EXPECT_TRUE(options->currentOptions() == Options{});

    TAboutDlg about(form->vendor());
    EXPECT_EQ(about.form().Label1->text(), QStringLiteral("Velmora 1.0"));
    EXPECT_EQ(about.form().Label2->text(), QString::fromUtf8(kVelmoraCopyright));
}

TEST_F(MainWindowTest, StartsFromTheValuesOfTheSettingsFile)
{
    start("[VENDOR]\nPROGRAM_NAME=Velmora Pro\nCOPYRIGHT=(c) us\nHOMEPAGE=http://home.example/\n"
          "[OPTIONS]\nCHOSING_NEW_PRJ=1\nMSG_FOLDER=No\n[WSIZE]\nHeight=10\nWidth=10\n");
    EXPECT_EQ(form->session().projectType(), kSingle);
    EXPECT_EQ(form->frameGeometry().size(), QSize(645, 458));
    EXPECT_FALSE(options->currentOptions().msgFolder);
    TAboutDlg about(form->vendor());
    EXPECT_EQ(about.form().Label1->text(), QStringLiteral("Velmora Pro"));
    EXPECT_EQ(about.form().Label2->text(), QStringLiteral("(c) us"));
    form->VelmoraHomepage1Click();
    EXPECT_EQ(launcher.targets, QByteArrayList{"http://home.example/"});
}

TEST_F(MainWindowTest, ABadChoiceIsShownAndStartUpGoesOn)
{
    start("[OPTIONS]\nCHOSING_NEW_PRJ=x1\nMSG_FILE=No\n");
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("'x1' is not a valid integer value.")});
    EXPECT_EQ(prompter.calls()[0].caption, QStringLiteral("Velmora"));
    EXPECT_FALSE(options->currentOptions().msgFile);
    EXPECT_EQ(form->session().projectType(), kInterlinked);
}

TEST_F(MainWindowTest, CancellingTheTypeAtStartUpEndsWithoutTouchingSettings)
{
    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nCHOSING_NEW_PRJ=2\n");
    const QByteArray before = test::readFile(file("velmora.ini"));
    prompter.answerProjectType(std::nullopt);
    start();
    EXPECT_EQ(quit->count(), 1);
    form->close();
    EXPECT_EQ(test::readFile(file("velmora.ini")), before);
}

TEST_F(MainWindowTest, CancellingTheTypeLaterKeepsTheProject)
{
    prompter.answerProjectType(kSingle).answerProjectType(std::nullopt);
    start("[OPTIONS]\nCHOSING_NEW_PRJ=2\n");
    click(ui().Button2);
    click(ui().Button11);
    EXPECT_EQ(quit->count(), 0);
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 2"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project1.kpj"));
}

TEST_F(MainWindowTest, PagingAppendsPagesWithBackLinksInAnInterlinkedProject)
{
    start();
    type(ui().Heading, QStringLiteral("First"));
    ui().Edit2->setText(QStringLiteral("one"));
    click(ui().Button2);
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 2"));
    EXPECT_EQ(ui().PreviousLinkName->text(), QStringLiteral("First"));
    EXPECT_EQ(ui().PreviousLinkAddress->text(), QStringLiteral("one.htm"));
    EXPECT_EQ(ui().Heading->text(), QString());
    click(ui().Button1);
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("First"));
    EXPECT_EQ(ui().Edit2->text(), QStringLiteral("one.htm"));
    EXPECT_TRUE(ui().PreviousLinkName->isHidden());
}

TEST_F(MainWindowTest, ASingleProjectHasNoBackLinks)
{
    start("[OPTIONS]\nCHOSING_NEW_PRJ=1\n");
    type(ui().Heading, QStringLiteral("First"));
    click(ui().Button2);
    EXPECT_EQ(ui().PreviousLinkName->text(), QString());
}

TEST_F(MainWindowTest, TheChangeFlagCountsShownPagesFillAndColours)
{
    start();
    click(ui().Button2);
    click(ui().Button1);
    EXPECT_FALSE(form->session().changed());  // identical pages change nothing

    ui().CompanyBox->click();
    EXPECT_TRUE(form->session().changed());
    EXPECT_FALSE(ui().FooterText->isEnabled());
    click(ui().Button4);
    click(ui().Button2);  // the new page's box is on again
    EXPECT_TRUE(form->session().changed());
    EXPECT_TRUE(ui().FooterText->isEnabled());

    click(ui().Button4);
    type(ui().KeywordPhrase, QStringLiteral("cheap used cars"));
    click(ui().Button4);
    QTest::keyClick(ui().KeywordPhrase, Qt::Key_Return);
    EXPECT_TRUE(form->session().changed());
    EXPECT_EQ(ui().Word6->text(), QStringLiteral("used cars"));
    EXPECT_EQ(ui().Description->toPlainText(),
              QStringLiteral("cheap used cars -- description goes here, minimum 75 words"));

    click(ui().Button4);
    prompter.answerColour(0x0000FF);
    click(ui().SpeedButton1);
    EXPECT_TRUE(form->session().changed());
    EXPECT_EQ(form->colour(ColourField::HeadingColor), 0x0000FFu);

    click(ui().Button4);
    ui().Edit2->setText(QStringLiteral("x"));  // the file name reports nothing
    EXPECT_FALSE(form->session().changed());
}

TEST_F(MainWindowTest, TheRobotsChoiceRewritesTheTag)
{
    start();
    ui().ComboBox1->setCurrentIndex(3);
    EXPECT_EQ(ui().RobotsTag->text(), QStringLiteral("<meta name=\"robots\" content=\"noindex\">"));
    EXPECT_TRUE(form->session().changed());
    ui().RobotsBox->click();
    EXPECT_FALSE(ui().ComboBox1->isEnabled());
    EXPECT_FALSE(ui().RobotsTag->isEnabled());
}

TEST_F(MainWindowTest, SaveLoadAndSaveAsSetTheTitle)
{
    start();
    type(ui().Heading, QStringLiteral("kept"));
    prompter.answerSaveFile(file("mine.kpj"));
    click(ui().Button12);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - mine.kpj"));

    click(ui().Button11);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project1.kpj"));
    prompter.answerOpenFile(file("mine.kpj"));
    click(ui().Button5);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - mine.kpj"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("kept"));
    const auto open = prompter.callsOf(ScriptedPrompter::Kind::OpenFile);
    EXPECT_EQ(open[0].request.filter, QStringLiteral("Quenby's Velmora project files|*.kpj"));
    EXPECT_TRUE(open[0].request.mustExist);

    dir.write(QStringLiteral("short.kpj"), "\x01\x00");
    prompter.answerOpenFile(file("short.kpj"));
    click(ui().Button5);
    EXPECT_EQ(prompter.messages().last(), QStringLiteral("Error opening file"));
    EXPECT_EQ(prompter.calls().last().informative,
              file("short.kpj") +
                  QStringLiteral("\nnot a Velmora project: it is shorter than its header"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - mine.kpj"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("kept"));
}

TEST_F(MainWindowTest, SavingIntoAFolderThatCannotTakeTheFileFails)
{
    start();
    type(ui().Heading, QStringLiteral("x"));
    prompter.answerSaveFile(file("missing/dir/p.kpj"));
    click(ui().Button12);
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("Ошибка!")});
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project1.kpj"));
    click(ui().Button4);  // Save now goes to the path chosen last
    EXPECT_EQ(prompter.messages().last(), QStringLiteral("Error saving file"));
    EXPECT_TRUE(form->session().changed());
}

TEST_F(MainWindowTest, AReadOnlyProjectFileIsNotSavedOver)
{
    start();
    type(ui().Heading, QStringLiteral("x"));
    click(ui().Button4);
    const QByteArray saved = test::readFile(file("Project1.kpj"));
    QFile::setPermissions(file("Project1.kpj"), QFileDevice::ReadOwner);
    type(ui().Heading, QStringLiteral("y"));
    click(ui().Button4);
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("Error saving file")});
    EXPECT_EQ(test::readFile(file("Project1.kpj")), saved);
    EXPECT_TRUE(form->session().changed());

    prompter.answerQuestion(Answer::No).answerOpenFile(file("Project1.kpj"));
    click(ui().Button5);  // a read-only file cannot be opened either
    EXPECT_EQ(prompter.messages().last(), QStringLiteral("Error opening file"));
}

TEST_F(MainWindowTest, ClosingWithChangesAsks)
{
    start();
    type(ui().Heading, QStringLiteral("x"));
    prompter.answerQuestion(Answer::Cancel);
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(iniExists());
    EXPECT_EQ(prompter.calls()[0].text, QStringLiteral("Do you want to save project: Project1.kpj"));

    prompter.answerQuestion(Answer::No);
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(QFile::exists(file("Project1.kpj")));
    const SettingsFile settings = form->settings();
    EXPECT_EQ(settings.read("WSIZE", "Height", ""), "480");
    EXPECT_EQ(settings.read("WSIZE", "Width", ""), "650");
    EXPECT_EQ(settings.read("WSIZE", "Left", ""), QByteArray::number(form->frameGeometry().x()));
    EXPECT_EQ(settings.read("WSIZE", "Top", ""), QByteArray::number(form->frameGeometry().y()));
}

TEST_F(MainWindowTest, ClosingWithYesSavesAndClosesButStaysWhenSavingFails)
{
    start();
    type(ui().Heading, QStringLiteral("x"));
    prompter.answerQuestion(Answer::Yes);
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(QFile::exists(file("Project1.kpj")));

    options.reset();
    form.reset();
    start();
    click(ui().Button2);
    type(ui().Heading, QStringLiteral("unsaved"));
    ASSERT_EQ(form->session().projectName(), QStringLiteral("Project2.kpj"));
    QDir().mkpath(file("Project2.kpj"));  // a folder where the project would be saved
    // Exit, then New: each save fails, and the window keeps its edits.
    prompter.answerQuestion(Answer::Yes).answerQuestion(Answer::Yes);
    EXPECT_FALSE(form->close());
    click(ui().Button11);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(prompter.messages(), (QStringList{QStringLiteral("Error saving file"),
                                                QStringLiteral("Error saving file")}));
    EXPECT_EQ(prompter.callsOf(ScriptedPrompter::Kind::Message)[0].informative,
              file("Project2.kpj") + QStringLiteral("\nnot a regular file"));
    EXPECT_EQ(form->session().projectName(), QStringLiteral("Project2.kpj"));
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 2"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("unsaved"));
    EXPECT_TRUE(form->session().changed());
}

// Three scripts: one, two and three bytes a character.
class PasteIntoHeading : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PasteIntoHeading, IsCutToTheFieldAtACharacterAndTypingStops)
{
    start();
    const QString character = QString::fromUtf8(GetParam());
    const qsizetype bytesEach = character.toUtf8().size();
    const QString pasted = character.repeated(300 / bytesEach);  // 300 bytes
    QApplication::clipboard()->setText(pasted);
    ui().Heading->setFocus();
    QTest::keyClick(ui().Heading, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents();

    const QByteArray kept = ui().Heading->text().toUtf8();
    EXPECT_EQ(kept.size(), 259 / bytesEach * bytesEach);  // Heading holds 259 bytes
    EXPECT_TRUE(pasted.toUtf8().startsWith(kept));
    EXPECT_EQ(form->statusNote().note(),
              QStringLiteral("The pasted text was cut to fit: Heading holds 259 bytes."));

    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
    QApplication::sendEvent(ui().Heading, &typed);  // full: typing stops
    EXPECT_EQ(ui().Heading->text().toUtf8(), kept);
    click(ui().Button2);
    click(ui().Button1);
    EXPECT_EQ(ui().Heading->text().toUtf8(), kept);  // stored whole

    // A multi-line box counts its line breaks as the CR LF it stores.
    const QString lines = (pasted + u'\n').repeated(5);
    QApplication::clipboard()->setText(lines);
    ui().SubHeading->setFocus();
    QTest::keyClick(ui().SubHeading, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents();
    const QByteArray sub = ui().SubHeading->toPlainText().toUtf8();
    const qsizetype stored = normaliseMultiLine(TextField::SubHeading, sub).size();
    EXPECT_LE(stored, 1259);  // SubHeading holds 1259 bytes
    EXPECT_GT(stored, 1259 - 3);
    EXPECT_TRUE(lines.toUtf8().startsWith(sub));
}

INSTANTIATE_TEST_SUITE_P(Scripts, PasteIntoHeading, ::testing::Values("a", "ж", "中"));

TEST_F(MainWindowTest, UndoPutsDeletedPagesBackWhenNoBoxHasItsOwnUndo)
{
    start();
    QApplication::setActiveWindow(form.get());
    type(ui().Heading, QStringLiteral("one"));
    click(ui().Button2);
    type(ui().Heading, QStringLiteral("two"));
    click(ui().Button1);
    ui().DeletePage1->trigger();
    ASSERT_EQ(ui().Heading->text(), QStringLiteral("two"));
    click(ui().Button4);  // saved: the deletion is still undone
    type(ui().Word1, QStringLiteral("k"));
    QTest::keyClick(ui().Word1, Qt::Key_Z, Qt::ControlModifier);  // the box's own undo
    EXPECT_EQ(ui().Word1->text(), QString());
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 1 of 1"));
    QTest::keyClick(ui().Word1, Qt::Key_Z, Qt::ControlModifier);  // nothing left there
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 1 of 2"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("one"));
    EXPECT_TRUE(form->session().changed());
}

TEST_F(MainWindowTest, WithoutABrowserPreviewAndHelpSaySo)
{
    start("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
    launcher.starts = false;
    click(ui().Button8);
    ui().ContentsIndex1->trigger();
    ASSERT_EQ(prompter.messages().size(), 2);
    EXPECT_EQ(prompter.messages()[0],
              QStringLiteral("No web browser could be started to show ") +
                  file("Project1/Project1b.htm") + u'.')
        << prompter.messages()[0].toStdString();
    EXPECT_TRUE(prompter.messages()[1].endsWith(QStringLiteral("velmora-help.html.")));
}

TEST_F(MainWindowTest, ClosingWithoutChangesAsksNothing)
{
    start();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(prompter.calls().isEmpty());
    EXPECT_TRUE(iniExists());
}

TEST_F(MainWindowTest, GenerateHtmlAndPreview)
{
    start("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
    type(ui().Heading, QStringLiteral("one"));
    click(ui().Button2);
    click(ui().Button2);
    click(ui().Button10);
    EXPECT_TRUE(QFile::exists(file("Project1/Project1o.htm")));
    EXPECT_TRUE(QFile::exists(file("Project1.kpj")));  // saved first
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 3 of 3"));
    EXPECT_EQ(ui().Edit2->text(), QStringLiteral("Project1o.htm"));

    click(ui().Button8);
    EXPECT_EQ(launcher.targets, QByteArrayList{QFile::encodeName(file("Project1/Project1o.htm"))});

    QFile::remove(file("Project1/Project1b.htm"));
    ui().Generate1->trigger();  // the menu item runs the same command
    EXPECT_TRUE(QFile::exists(file("Project1/Project1b.htm")));
}

TEST_F(MainWindowTest, ANewProjectFindsItsPictureInTheStartUpDirectory)
{
    start("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
    const QByteArray picture = test::readFile(file("splash1.jpg"));
    EXPECT_TRUE(picture.startsWith("\xFF\xD8\xFF"));
    click(ui().Button10);
    EXPECT_EQ(test::readFile(file("Project1/splash1.jpg")), picture);
    EXPECT_TRUE(prompter.calls().isEmpty()) << "nothing skipped, nothing to tell";
}

TEST_F(MainWindowTest, SkippedImagesAreToldInOneMessageAfterGeneration)
{
    start("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
    dir.write(QStringLiteral("notes.txt"), "not a picture");
    for (int page = 0; page < 3; ++page) {
        if (page > 0) click(ui().Button2);
        prompter.answerOpenFile(file(page == 1 ? "missing.gif" : "notes.txt"));
        click(ui().Button3);
    }
    click(ui().Button10);
    ASSERT_EQ(prompter.calls().size(), 4);  // three image dialogs, then one message
    const auto& told = prompter.calls().last();
    EXPECT_EQ(told.caption, QStringLiteral("Message"));
    EXPECT_EQ(told.icon, MessageIcon::Warning);
    EXPECT_EQ(told.text, QStringLiteral("3 of 3 pages written\n"
                                        "Image skipped: %1 is not a GIF, JPEG, PNG or WebP picture\n"
                                        "Image skipped: cannot read %2")
                             .arg(file("notes.txt"), file("missing.gif")));
    EXPECT_TRUE(QFile::exists(file("Project1/Project1o.htm")));
}

TEST_F(MainWindowTest, AnImagePathTooLongForItsFieldIsRefused)
{
    start();
    const QString deep = dir.path() + u'/' + QString(260 - dir.path().size(), u'i') + QStringLiteral(".gif");
    prompter.answerOpenFile(deep);
    click(ui().Button3);
    EXPECT_EQ(prompter.messages().last(),
              QStringLiteral("Path too long: %1 (a page record holds 259 bytes at most)").arg(deep));
    EXPECT_EQ(ui().Image->text(), QStringLiteral("splash1.jpg"));
}

TEST_F(MainWindowTest, PreviewAfterACancelledDialogOpensNothing)
{
    start("[OPTIONS]\nAUTO_NAME=No\n");
    prompter.answerSaveFile(std::nullopt);
    click(ui().Button8);
    EXPECT_TRUE(launcher.targets.isEmpty());
}

TEST_F(MainWindowTest, APageThatCannotBeWrittenIsReportedOnce)
{
    start("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
    QDir().mkpath(file("Project1/Project1b.htm"));
    click(ui().Button8);
    EXPECT_EQ(prompter.messages(),
              QStringList{QStringLiteral("Cannot create file ") + file("Project1/Project1b.htm") +
                          u'.'});
    EXPECT_TRUE(launcher.targets.isEmpty());
}

// The window and velmora-cli generate through one engine: the same bytes
// under the same names, whether the window names the pages itself or takes
// the names the records hold.
struct NamingCase {
    const char* name;
    const char* autoName;
    QByteArrayList recordNames;  // empty: named by generation
    QStringList files;
};

class WindowAndCli : public MainWindowTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(WindowAndCli, WriteTheSameFiles)
{
    const NamingCase& c = GetParam();
    // A project with texts that are not UTF-8, as from another system.
    test::ProjectBuilder project(3);
    project.startupDir(QFile::encodeName(dir.path()))
        .text(TextField::Heading, test::numbered("\xC4\xE5\xF8\xE5\xE2\xFB\xE5 "))
        .text(TextField::SubHeading, "line one\r\nline two")
        .text(TextField::Description, "para\r\n\r\nend\r\n")
        .text(TextField::Word3, "w\xE9");
    if (!c.recordNames.isEmpty())
        project.text(TextField::Edit2, [&c](int i) { return c.recordNames[i]; });
    project.writeTo(dir);

    start(QByteArray("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\nAUTO_NAME=") + c.autoName +
          "\n[VENDOR]\nLINK_IN_HTML=http://credit.example/\n");
    prompter.answerOpenFile(file("site.kpj"));
    click(ui().Button5);
    click(ui().Button10);
    EXPECT_TRUE(prompter.messages().isEmpty()) << prompter.messages().join(u'|').toStdString();
    QByteArrayList fromWindow;
    for (const QString& name : c.files) {
        fromWindow.append(test::readFile(dir.file(name)));
        QFile::remove(dir.file(name));
    }
    EXPECT_TRUE(fromWindow[2].contains("<title>\xC4\xE5\xF8\xE5\xE2\xFB\xE5 2</title>"));

    const test::CliRun cli =
        test::runCliProgram({QStringLiteral("generate"), file("site.kpj")}, {.workingDirectory = dir.path()});
    ASSERT_EQ(cli.exitCode, 0) << cli.err.toStdString();
    for (int i = 0; i < c.files.size(); ++i)
        EXPECT_EQ(test::readFile(dir.file(c.files[i])), fromWindow[i]) << c.files[i].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Naming, WindowAndCli,
    ::testing::Values(
        NamingCase{"Automatic", "Yes", {},
                   {QStringLiteral("site/siteb.htm"), QStringLiteral("site/sitev.htm"), QStringLiteral("site/siteo.htm")}},
        NamingCase{"FromTheRecords", "No", {"one.htm", "two.htm", "three.html"},
                   {QStringLiteral("site/one.htm"), QStringLiteral("site/two.htm"), QStringLiteral("site/three.html")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, EditCommandsActOnlyOnTextBoxes)
{
    start();
    QApplication::setActiveWindow(form.get());
    ui().Description->setPlainText(QStringLiteral("one\ntwo"));
    ui().Description->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), ui().Description);
    ui().Selectall1->trigger();
    EXPECT_EQ(ui().Description->textCursor().selectedText().size(), 7);

    ui().RobotsTag->setFocus();
    ui().RobotsTag->setSelection(0, 5);
    ui().Copy1->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("<meta"));

    click(ui().Button4);
    ui().Heading->setFocus();
    ui().Paste1->trigger();
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("<meta"));
    EXPECT_TRUE(form->session().changed());

    ui().Heading->selectAll();
    ui().Cut1->trigger();
    EXPECT_EQ(ui().Heading->text(), QString());

    ui().HeadingAlign->setFocus();
    ui().HeadingAlign->lineEdit()->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    ui().Paste1->trigger();
    EXPECT_EQ(ui().HeadingAlign->currentText(), QStringLiteral("center"));
}

TEST_F(MainWindowTest, FtpOpensItsDialogOnlyAfterASuccessfulGeneration)
{
    start("[OPTIONS]\nAUTO_NAME=No\n");
    int published = 0;
    form->setFtpCommand([&](ProjectSession& session) {
        ++published;
        EXPECT_EQ(session.project().pages[0].text(TextField::Edit2), "p.htm");
    });
    prompter.answerSaveFile(std::nullopt);
    ui().FTP1->trigger();
    EXPECT_EQ(published, 0);
    prompter.answerSaveFile(file("p.htm"));
    click(ui().Button6);
    EXPECT_EQ(published, 1);

    int submitted = 0;
    form->setSubmitCommand([&] { ++submitted; });
    click(ui().Button9);
    ui().AddURL1->trigger();
    EXPECT_EQ(submitted, 2);
}

TEST_F(MainWindowTest, HelpOpensTheShippedPage)
{
    start();
    form->ContentsIndex1Click();
    form->Upgrades1Click();
    ASSERT_EQ(launcher.targets.size(), 2);
    EXPECT_TRUE(launcher.targets[0].endsWith("velmora-help.html"));
    EXPECT_TRUE(launcher.targets[1].startsWith("file://"));
    EXPECT_TRUE(launcher.targets[1].endsWith("velmora-help.html#upgrades"));
}

TEST_F(MainWindowTest, TheImageBrowseButtonSetsTheNameAndSource)
{
    start();
    prompter.answerOpenFile(file("pics/logo.gif"));
    click(ui().Button3);
    EXPECT_EQ(ui().Image->text(), QStringLiteral("logo.gif"));
    click(ui().Button2);
    EXPECT_EQ(form->session().project().pages[0].text(TextField::ImageSource),
              QFile::encodeName(file("pics/logo.gif")));
    EXPECT_EQ(prompter.callsOf(ScriptedPrompter::Kind::OpenFile)[0].request.filter,
              QStringLiteral("Image Files|*.gif; *.jpg; *.jpeg; *.png; *.webp"));
}

TEST_F(MainWindowTest, ImportKeywordListAppendsPagesAndEndsOnTheFirst)
{
    start();
    type(ui().Heading, QStringLiteral("Home"));
    form->session().save();
    ASSERT_FALSE(form->session().changed());
    QByteArray phrases;
    for (int i = 0; i < 300; ++i) phrases += "phrase number " + QByteArray::number(i) + "\n\n";
    dir.write(QStringLiteral("list.txt"), phrases);
    prompter.answerOpenFile(file("list.txt"));

    ui().ImportKeywordList1->trigger();
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 301"));
    EXPECT_EQ(ui().KeywordPhrase->text(), QStringLiteral("phrase number 0"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("phrase number 0"));
    EXPECT_EQ(ui().Word4->text(), QStringLiteral("phrase number"));
    EXPECT_EQ(ui().PreviousLinkName->text(), QStringLiteral("Home"));
    EXPECT_TRUE(form->session().changed());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project1.kpj"));
    EXPECT_EQ(prompter.callsOf(ScriptedPrompter::Kind::Message).size(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone again

    ui().Button1->click();
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("Home"));
}

TEST_F(MainWindowTest, ABadKeywordListIsShownAndChangesNothing)
{
    start();
    dir.write(QStringLiteral("list.txt"), "good\n\xFF\xFE\n");
    prompter.answerOpenFile(file("list.txt"));
    ui().ImportKeywordList1->trigger();
    EXPECT_EQ(prompter.messages(),
              QStringList{QStringLiteral("Line 2 of %1 is not UTF-8 text.").arg(file("list.txt"))});
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 1 of 1"));
    EXPECT_FALSE(form->session().changed());
}

TEST_F(MainWindowTest, DeletePageAndGoToPageFromTheFileMenu)
{
    start();
    for (const char* heading : {"one", "two", "three"}) {
        if (QByteArrayView(heading) != "one") ui().Button2->click();
        type(ui().Heading, QString::fromLatin1(heading));
    }
    prompter.answerNumber(2);
    ui().GoToPage1->trigger();
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 3"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("two"));

    form->session().save();
    ui().DeletePage1->trigger();
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 2"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("three"));
    EXPECT_EQ(ui().PreviousLinkName->text(), QStringLiteral("one"));
    EXPECT_TRUE(form->session().changed());

    ui().DeletePage1->trigger();
    ui().DeletePage1->trigger();
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 1 of 1"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("one"));
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("A project keeps at least one page.")});
}

// Clipboard contents of the kinds a fresh login or another program leaves.
void emptyClipboard() { QApplication::clipboard()->setMimeData(new QMimeData); }
void imageOnlyClipboard()
{
    auto* data = new QMimeData;
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    data->setImageData(image);
    QApplication::clipboard()->setMimeData(data);
}

QString textOf(QWidget* box)
{
    if (auto* line = qobject_cast<QLineEdit*>(box)) return line->text();
    return static_cast<QPlainTextEdit*>(box)->toPlainText();
}

// Opens a multi-line box's own context menu, as a right click does.
QMenu* openContextMenu(QPlainTextEdit* memo)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            memo->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(memo->viewport(), &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

TEST_F(MainWindowTest, AnEmptyOrTextlessClipboardPastesNothingByAnyWay)
{
    start();
    QApplication::setActiveWindow(form.get());
    type(ui().Heading, QStringLiteral("kept"));
    ui().SubHeading->setPlainText(QStringLiteral("sub"));
    ui().Description->setPlainText(QStringLiteral("one\ntwo"));
    click(ui().Button4);
    ASSERT_FALSE(form->session().changed());

    for (void (*fill)() : {&emptyClipboard, &imageOnlyClipboard}) {
        for (QWidget* box :
             std::initializer_list<QWidget*>{ui().Description, ui().SubHeading, ui().Heading}) {
            const QString before = textOf(box);
            fill();
            box->setFocus();
            ui().Selectall1->trigger();
            ui().Paste1->trigger();                                    // Edit › Paste
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);      // Ctrl+V
            QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);  // Shift+Insert
            if (auto* memo = qobject_cast<QPlainTextEdit*>(box)) {
                QMenu* menu = openContextMenu(memo);
                ASSERT_NE(menu, nullptr);
                QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
                ASSERT_NE(paste, nullptr);
                EXPECT_FALSE(paste->isEnabled());
                menu->close();
            }
            EXPECT_EQ(textOf(box), before) << box->objectName().toStdString();
        }
    }
    // The clipboard empties while the context menu is open.
    QApplication::clipboard()->setText(QStringLiteral("x"));
    QMenu* menu = openContextMenu(ui().Description);
    ASSERT_NE(menu, nullptr);
    QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
    ASSERT_TRUE(paste->isEnabled());
    emptyClipboard();
    paste->trigger();
    menu->close();
    EXPECT_EQ(ui().Description->toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_FALSE(form->session().changed());

    // Text on the clipboard pastes by every way.
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    ui().Description->setFocus();
    ui().Selectall1->trigger();
    QTest::keyClick(ui().Description, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ui().Description->toPlainText(), QStringLiteral("pasted"));
    ui().Heading->setFocus();
    ui().Heading->selectAll();
    ui().Paste1->trigger();
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("pasted"));
    EXPECT_TRUE(form->session().changed());
}

class EditMenuByKeys : public MainWindowTest {
protected:
    // Alt pressed and let go (the menu bar takes the focus), then E for the
    // Edit menu, then the item's letter.
    void altThenEdit(QWidget* box, Qt::Key item)
    {
        QTest::keyClick(box, Qt::Key_Alt, Qt::AltModifier);
        ASSERT_EQ(QApplication::focusWidget(), form->menuBar());
        QTest::keyClick(form->menuBar(), Qt::Key_E);
        QWidget* menu = QApplication::activePopupWidget();
        ASSERT_NE(menu, nullptr);
        QTest::keyClick(menu, item);
    }
    // Alt+E together, then the item's letter.
    void altEThen(QWidget* box, Qt::Key item)
    {
        QTest::keyClick(box, Qt::Key_E, Qt::AltModifier);
        QWidget* menu = QApplication::activePopupWidget();
        ASSERT_NE(menu, nullptr);
        QTest::keyClick(menu, item);
    }
};

TEST_F(EditMenuByKeys, ActOnTheBoxAndSelectionThatHadTheFocus)
{
    start();
    QApplication::setActiveWindow(form.get());
    QLineEdit* heading = ui().Heading;
    type(heading, QStringLiteral("hello world"));
    heading->setSelection(6, 5);

    altThenEdit(heading, Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("world"));
    EXPECT_EQ(QApplication::focusWidget(), heading);
    EXPECT_EQ(heading->selectedText(), QStringLiteral("world"));

    heading->setSelection(11, -6);  // selected from the end backwards
    altThenEdit(heading, Qt::Key_T);
    EXPECT_EQ(heading->text(), QStringLiteral("hello"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral(" world"));

    heading->setCursorPosition(0);
    altThenEdit(heading, Qt::Key_P);
    EXPECT_EQ(heading->text(), QStringLiteral(" worldhello"));

    altThenEdit(heading, Qt::Key_S);
    EXPECT_EQ(heading->selectedText(), QStringLiteral(" worldhello"));

    // The same with Alt+E pressed together, and in a multi-line box.
    QPlainTextEdit* description = ui().Description;
    description->setFocus();
    QTest::keyClicks(description, QStringLiteral("first"));
    QTest::keyClick(description, Qt::Key_Return);
    QTest::keyClicks(description, QStringLiteral("second"));
    QTextCursor cursor = description->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    description->setTextCursor(cursor);
    altEThen(description, Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("rst\nsec"));
    altThenEdit(description, Qt::Key_T);
    EXPECT_EQ(description->toPlainText(), QStringLiteral("fiond"));

    // A combo box's line keeps out of the Edit commands.
    ui().HeadingAlign->setFocus();
    ui().HeadingAlign->lineEdit()->selectAll();
    altThenEdit(ui().HeadingAlign->lineEdit(), Qt::Key_T);
    EXPECT_EQ(ui().HeadingAlign->currentText(), QStringLiteral("center"));
}

TEST_F(MainWindowTest, TextTypedIntoADropDownIsNotAddedToItsList)
{
    start();
    QApplication::setActiveWindow(form.get());
    for (QComboBox* box : {ui().HeadingAlign, ui().SubheadingAlign, ui().DescriptionAlign,
                           ui().ImageAlign, ui().ComboBox1}) {
        const int entries = box->count();
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), QStringLiteral("justify"));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(box->count(), entries) << box->objectName().toStdString();
        EXPECT_EQ(box->findText(QStringLiteral("justify")), -1);
        EXPECT_EQ(box->currentText(), QStringLiteral("justify"));  // the typed text stays
    }
    EXPECT_EQ(ui().RobotsTag->text(), QStringLiteral("<meta name=\"robots\" content=\"justify\">"));
}

TEST_F(MainWindowTest, ShownAlignmentsSetNoChangeButTheUsersOwnDo)
{
    start();
    click(ui().Button2);
    ui().HeadingAlign->setCurrentIndex(0);  // "left", chosen by the user
    EXPECT_EQ(ui().HeadingAlign->currentText(), QStringLiteral("left"));
    EXPECT_TRUE(form->session().changed());
    type(ui().ImageAlign->lineEdit(), QStringLiteral("right"));
    click(ui().Button4);
    ASSERT_FALSE(form->session().changed());

    click(ui().Button1);  // the first page: "center" everywhere
    EXPECT_EQ(ui().HeadingAlign->currentText(), QStringLiteral("center"));
    EXPECT_EQ(ui().ImageAlign->currentText(), QStringLiteral("center"));
    click(ui().Button2);
    EXPECT_EQ(ui().ImageAlign->currentText(), QStringLiteral("right"));
    EXPECT_FALSE(form->session().changed());
}

TEST_F(MainWindowTest, KeysBesideTheAccessKeysRunTheirCommands)
{
    start("[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
    QApplication::setActiveWindow(form.get());
    const std::pair<QAction*, const char*> shown[] = {
        {ui().New1, "Ctrl+N"},     {ui().Open1, "Ctrl+O"}, {ui().Save1, "Ctrl+S"},
        {ui().Saveas1, "Ctrl+Shift+S"}, {ui().Exit1, "Ctrl+Q"}, {ui().Preview1, "F5"},
        {ui().ContentsIndex1, "F1"}};
    for (const auto& [action, key] : shown)
        EXPECT_EQ(action->shortcut().toString(), QString::fromLatin1(key)) << key;

    QWidget* field = ui().KeywordPhrase;
    field->setFocus();
    QTest::keyClick(field, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 2"));
    ui().Description->setFocus();
    QTest::keyClick(ui().Description, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 1 of 2"));

    QTest::keyClick(ui().Heading, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFile::exists(file("Project1.kpj")));
    QTest::keyClick(ui().Heading, Qt::Key_F5);
    EXPECT_EQ(launcher.targets, QByteArrayList{QFile::encodeName(file("Project1/Project1b.htm"))});
    QTest::keyClick(ui().Heading, Qt::Key_F1);
    EXPECT_TRUE(launcher.targets.last().endsWith("velmora-help.html"));

    prompter.answerSaveFile(file("other.kpj"));
    QTest::keyClick(ui().Heading, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - other.kpj"));
    prompter.answerOpenFile(file("Project1.kpj"));
    QTest::keyClick(ui().Heading, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project1.kpj"));
    QTest::keyClick(ui().Heading, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Project2.kpj"));
    QTest::keyClick(ui().Heading, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible());
}

// The application font for one test.
class FontForTest {
public:
    explicit FontForTest(qreal points) : saved_(QApplication::font())
    {
        QFont font = saved_;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    ~FontForTest() { QApplication::setFont(saved_); }

private:
    QFont saved_;
};

TEST_F(MainWindowTest, ALargerFontGrowsTheWindowSoNoTextIsCut)
{
    const FontForTest large(11);
    start();
    EXPECT_GT(form->frameGeometry().width(), 645);
    EXPECT_GT(form->frameGeometry().height(), 458);
    const QRect inside = ui().centralwidget->rect();
    for (QWidget* w : ui().centralwidget->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(form.get()) || w->parentWidget() != ui().centralwidget) continue;
        EXPECT_TRUE(inside.contains(w->geometry())) << w->objectName().toStdString();
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(form.get()) || label->text().isEmpty()) continue;
        const QFontMetrics fm = label->fontMetrics();
        EXPECT_LE(fm.horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
        EXPECT_LE(fm.height(), label->height()) << label->text().toStdString();
    }
    for (QPushButton* button : form->findChildren<QPushButton*>()) {
        const QFontMetrics fm = button->fontMetrics();
        EXPECT_LT(fm.horizontalAdvance(button->text()), button->width() - 4)
            << button->text().toStdString();
    }
    // The layout keeps its proportions.
    EXPECT_GT(ui().Label2->width(), 90);
    EXPECT_EQ(ui().Heading->x() > ui().Label2->x() + ui().Label2->width(), true);
}

// A font so large that the grown design outruns the screen: the window stays
// inside the screen's free area and its controls scroll, none of them cut.
TEST_F(MainWindowTest, AWindowLargerThanTheScreenStaysOnItAndScrolls)
{
    const FontForTest huge(22);
    start();
    const QRect free = form->screen()->availableGeometry();
    EXPECT_TRUE(free.contains(form->frameGeometry()))
        << form->frameGeometry().width() << "x" << form->frameGeometry().height();
    auto* area = qobject_cast<QScrollArea*>(form->centralWidget());
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->widget(), ui().centralwidget);
    EXPECT_GT(ui().centralwidget->width(), area->viewport()->width());
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(form.get()) || label->text().isEmpty()) continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
    }
}

TEST_F(MainWindowTest, StopEndsALongGenerationAfterThePageBeingWritten)
{
    start("[OPTIONS]\nMSG_FOLDER=No\n");
    for (int i = 1; i <= 6; ++i) {
        type(ui().Heading, QStringLiteral("Page %1").arg(i));
        if (i < 6) click(ui().Button2);
    }
    for (int i = 0; i < 4; ++i) click(ui().Button1);
    ASSERT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 6"));

    // The progress shows at once here; the user presses Stop in it as soon
    // as it lets events in, on the first page.
    form->setProgressDelay(0);
    QString labelAtStop;
    QList<Qt::CursorShape> cursors;
    QTimer::singleShot(0, form.get(), [&] {
        auto* progress = form->findChild<QProgressDialog*>();
        ASSERT_NE(progress, nullptr);
        ASSERT_TRUE(progress->isVisible());
        labelAtStop = progress->labelText();
        const QCursor* cursor = QApplication::overrideCursor();
        cursors << (cursor ? cursor->shape() : Qt::ArrowCursor);
        for (QPushButton* button : progress->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Stop")) button->click();
    });
    click(ui().Button8);  // Preview: generation first
    EXPECT_EQ(labelAtStop, QStringLiteral("Page 1 of 6"));
    EXPECT_TRUE(QFile::exists(file("Project1/Project1b.htm")));
    for (const char* name : {"Project1v.htm", "Project1o.htm", "Project1r.htm"})
        EXPECT_FALSE(QFile::exists(file("Project1/") + QLatin1String(name))) << name;
    EXPECT_TRUE(launcher.targets.isEmpty());  // stopped: no preview, as after a cancelled dialog
    // The file message waited for the progress to close; then how far it got.
    EXPECT_EQ(prompter.messages(),
              (QStringList{QStringLiteral("Project1b.htm file has been created."),
                           QStringLiteral("1 of 6 pages written")}));
    // The page current before is shown again.
    EXPECT_EQ(ui().PageNo->text(), QStringLiteral("Page: 2 of 6"));
    EXPECT_EQ(ui().Heading->text(), QStringLiteral("Page 2"));
    // Busy while it worked, and no longer.
    EXPECT_EQ(cursors, QList<Qt::CursorShape>{Qt::BusyCursor});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The next run starts afresh and goes to the end.
    prompter.clear();
    click(ui().Button10);
    EXPECT_EQ(prompter.messages().size(), 7);  // six files and the count
    EXPECT_EQ(prompter.messages().last(), QStringLiteral("6 of 6 pages written"));
    EXPECT_TRUE(QFile::exists(file("Project1/Project1r.htm")));
}

// The default options tell the folder and every file: each message is
// answered, none ever stands under or over the progress, every page is
// written, by Generate, Preview and FTP alike.
TEST_F(MainWindowTest, TheDefaultMessagesNeverBlockTheProgress)
{
    start();
    for (int i = 1; i <= 3; ++i) {
        type(ui().Heading, QStringLiteral("Page %1").arg(i));
        if (i < 3) click(ui().Button2);
    }
    form->setProgressDelay(0);
    int shownOverProgress = 0;
    prompter.whileMessageShown = [&](const QString&) {
        for (auto* progress : form->findChildren<QProgressDialog*>())
            if (progress->isVisible()) ++shownOverProgress;
    };
    bool ftpOpened = false;
    form->setFtpCommand([&](ProjectSession& session) { ftpOpened = session.project().pages.size() == 3; });
    for (QPushButton* command : {ui().Button10, ui().Button8, ui().Button6}) {
        prompter.clear();
        QDir(file("Project1")).removeRecursively();
        click(command);
        EXPECT_EQ(prompter.messages(),
                  (QStringList{QStringLiteral("HTML files will be copied to the folder: ") +
                                   file("Project1/"),
                               QStringLiteral("Project1b.htm file has been created."),
                               QStringLiteral("Project1v.htm file has been created."),
                               QStringLiteral("Project1o.htm file has been created."),
                               QStringLiteral("3 of 3 pages written")}))
            << command->objectName().toStdString();
        for (const char* name : {"Project1b.htm", "Project1v.htm", "Project1o.htm"})
            EXPECT_TRUE(QFile::exists(file("Project1/") + QLatin1String(name))) << name;
    }
    EXPECT_EQ(shownOverProgress, 0);
    EXPECT_EQ(launcher.targets.size(), 1);
    EXPECT_TRUE(ftpOpened);
}

TEST_F(MainWindowTest, AProjectNamedAtStartUpIsOpened)
{
    ProjectData project;
    project.projectType = kSingle;
    for (int i = 0; i < 2; ++i) project.pages.append().setText(TextField::Heading, "given");
    ASSERT_EQ(WriteProjectFile(file("given.kpj"), project), kFileOk);
    QDir::setCurrent(dir.path());
    for (const char* name : {"given.kpj", "missing.kpj"}) {
        prompter.clear();
        form = std::make_unique<TForm1>(prompter, launcher);
        form->setStartupProject(file(name));
        form->show();
        const bool given = QByteArray(name) == "given.kpj";
        EXPECT_EQ(form->windowTitle(),
                  given ? QStringLiteral("Velmora - given.kpj") : QStringLiteral("Velmora - Project1.kpj"));
        EXPECT_EQ(ui().PageNo->text(), given ? QStringLiteral("Page: 1 of 2") : QStringLiteral("Page: 1 of 1"));
        EXPECT_EQ(prompter.messages(), given ? QStringList() : QStringList{QStringLiteral("Error opening file")});
    }
}

}  // namespace
}  // namespace velmora
