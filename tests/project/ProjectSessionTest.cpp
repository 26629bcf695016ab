#include <gtest/gtest.h>

#include <QDir>

#include "project/ProjectFile.h"
#include "project/ProjectSession.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::ScriptedPrompter;

class ProjectSessionTest : public ::testing::Test {
protected:
    ProjectSessionTest() { session.titleChanged = [this](const QString& t) { title = t; }; }
    void TearDown() override { EXPECT_TRUE(prompter.allAnswersUsed()); }

    void newProject(int choice = 0) { session.newProject(choice, false); }
    QString file(const char* name) const { return dir.file(QString::fromLatin1(name)); }

    test::TempDir dir;
    MemoryPageFields fields;
    ScriptedPrompter prompter;
    ProjectSession session{fields, prompter, dir.path()};
    QString title;
};

TEST_F(ProjectSessionTest, NewTakesTheTypeFromTheChoiceOrAsks)
{
    session.newProject(0, true);
    EXPECT_EQ(session.projectType(), kInterlinked);
    newProject(1);
    EXPECT_EQ(session.projectType(), kSingle);
    EXPECT_TRUE(prompter.calls().isEmpty());

    prompter.answerProjectType(kSingle).answerProjectType(kInterlinked);
    newProject(2);
    EXPECT_EQ(session.projectType(), kSingle);
    newProject(-1);
    EXPECT_EQ(session.projectType(), kInterlinked);
    EXPECT_EQ(title, QStringLiteral("Velmora - Project1.kpj"));
    EXPECT_EQ(session.projectPath(), file("Project1.kpj"));
    EXPECT_FALSE(session.changed());
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 1");
}

TEST_F(ProjectSessionTest, ACancelledTypeChoiceKeepsTheProjectOrQuitsAtStartUp)
{
    prompter.answerProjectType(std::nullopt);
    EXPECT_EQ(session.newProject(2, true), ProjectSession::NewResult::QuitRequested);

    session.newProject(1, true);
    session.nextPage();
    fields.setText(TextField::Heading, "kept");
    prompter.answerQuestion(Answer::No).answerProjectType(std::nullopt);
    EXPECT_EQ(session.newProject(2, false), ProjectSession::NewResult::Cancelled);
    EXPECT_EQ(session.project().pages.size(), 2);
    EXPECT_EQ(session.projectType(), kSingle);
    EXPECT_EQ(fields.text(TextField::Heading), "kept");
}

TEST_F(ProjectSessionTest, NewAsksBeforeDroppingChanges)
{
    session.newProject(0, true);
    fields.setText(TextField::Heading, "unsaved");
    prompter.answerQuestion(Answer::Cancel);
    EXPECT_EQ(session.newProject(0, false), ProjectSession::NewResult::Cancelled);
    EXPECT_EQ(fields.text(TextField::Heading), "unsaved");
    EXPECT_EQ(prompter.calls()[0].text, QStringLiteral("Do you want to save project: Project1.kpj"));
    EXPECT_EQ(prompter.calls()[0].caption, QStringLiteral("Question"));

    prompter.answerQuestion(Answer::Yes);
    newProject();
    EXPECT_TRUE(QFile::exists(file("Project1.kpj")));  // saved first
    EXPECT_EQ(session.projectName(), QStringLiteral("Project2.kpj"));
    EXPECT_EQ(fields.text(TextField::Heading), "");
}

TEST_F(ProjectSessionTest, NextProjectNameCountsOnFromTheLargestNumber)
{
    EXPECT_EQ(NextProjectName(dir.path()), QStringLiteral("Project1.kpj"));
    for (const char* name : {"Project2.kpj", "project9.kpj", "ProjectX.kpj", "Other5.kpj"})
        dir.write(QString::fromLatin1(name), "");
    EXPECT_EQ(NextProjectName(dir.path()), QStringLiteral("Project10.kpj"));
    dir.write(QStringLiteral("PROJECT12a.KPJ"), "");
    EXPECT_EQ(NextProjectName(dir.path()), QStringLiteral("Project13.kpj"));
    EXPECT_EQ(NextProjectName(file("missing")), QStringLiteral("Project1.kpj"));
}

TEST_F(ProjectSessionTest, PagingForwardAppendsPagesThatLinkBack)
{
    session.newProject(0, true);
    fields.setText(TextField::Heading, "First");
    fields.setText(TextField::Edit2, "first");
    session.nextPage();
    EXPECT_EQ(fields.pageNo(), "Page: 2 of 2");
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "First");
    EXPECT_EQ(fields.text(TextField::PreviousLinkAddress), "first.htm");
    EXPECT_EQ(fields.text(TextField::Heading), "");
    session.nextPage();
    session.previousPage();
    session.previousPage();
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 3");
    EXPECT_EQ(fields.text(TextField::Heading), "First");
    EXPECT_TRUE(session.changed());  // the pages differ

    prompter.answerQuestion(Answer::No);
    newProject(1);
    fields.setText(TextField::Heading, "First");
    session.nextPage();
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "");
}

TEST_F(ProjectSessionTest, ShownAlignmentsAndRobotsChoicesCountNoChangeButShownTextsDo)
{
    session.newProject(0, true);
    session.nextPage();
    for (TextField f : {TextField::HeadingAlign, TextField::SubheadingAlign,
                        TextField::DescriptionAlign, TextField::ImageAlign})
        fields.setText(f, "left");
    fields.setText(TextField::ComboBox1, "none");
    EXPECT_FALSE(session.changed());  // set here, not by the user
    session.save();
    session.previousPage();
    EXPECT_EQ(fields.text(TextField::ImageAlign), "center");
    session.nextPage();
    EXPECT_EQ(fields.text(TextField::HeadingAlign), "left");
    EXPECT_FALSE(session.changed());

    fields.setText(TextField::HiddenText, "only here");
    session.save();
    session.previousPage();
    EXPECT_TRUE(session.changed());  // a text box reports what showing puts there
}

TEST_F(ProjectSessionTest, PreviousOnTheFirstPageDoesNothing)
{
    session.newProject(0, true);
    fields.setText(TextField::Heading, "typed");
    const bool changed = session.changed();
    session.previousPage();
    EXPECT_EQ(session.currentPage().text(TextField::Heading), "");  // not stored
    EXPECT_EQ(session.changed(), changed);
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 1");
}

TEST_F(ProjectSessionTest, SaveWritesToTheAutomaticNameWithoutAsking)
{
    session.newProject(1, true);
    fields.setText(TextField::Heading, "h");
    ASSERT_TRUE(session.save());
    EXPECT_FALSE(session.changed());
    EXPECT_EQ(test::readFile(file("Project1.kpj")).left(8), QByteArray::fromHex("0100000001000000"));
    EXPECT_TRUE(prompter.calls().isEmpty());
}

TEST_F(ProjectSessionTest, AFailedSaveKeepsTheFlagAndTitle)
{
    session.newProject(0, true);
    const QString blocked = file("Project1.kpj");
    ASSERT_TRUE(QDir().mkpath(blocked));  // a folder in the way
    fields.setText(TextField::Heading, "h");
    title.clear();
    EXPECT_FALSE(session.save());
    EXPECT_TRUE(session.changed());
    EXPECT_TRUE(title.isEmpty());
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("Error saving file")});
    EXPECT_EQ(prompter.calls()[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(prompter.calls()[0].icon, MessageIcon::Error);
}

TEST_F(ProjectSessionTest, SaveAsTakesTheChosenPathEvenWhenItFails)
{
    session.newProject(0, true);
    fields.setText(TextField::Heading, "h");
    prompter.answerSaveFile(file("no/such/folder/x.kpj"));
    session.saveAs();
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("Ошибка!")});
    EXPECT_EQ(session.projectName(), QStringLiteral("Project1.kpj"));
    EXPECT_TRUE(session.changed());
    EXPECT_EQ(session.projectPath(), file("no/such/folder/x.kpj"));

    prompter.answerSaveFile(file("mine.kpj"));
    session.saveAs();
    EXPECT_EQ(prompter.callsOf(ScriptedPrompter::Kind::SaveFile)[1].request.initialPath,
              file("no/such/folder/x.kpj"));
    EXPECT_EQ(title, QStringLiteral("Velmora - mine.kpj"));
    EXPECT_FALSE(session.changed());
    EXPECT_EQ(test::readFile(file("mine.kpj")).size(), 37608);

    prompter.answerSaveFile(std::nullopt);
    fields.setText(TextField::Heading, "changed again");
    session.saveAs();
    EXPECT_EQ(session.currentPage().text(TextField::Heading), "h");  // nothing stored
}

TEST_F(ProjectSessionTest, LoadShowsTheFirstPageAndClearsTheFlag)
{
    session.newProject(1, true);
    fields.setText(TextField::Heading, "one");
    session.nextPage();
    fields.setText(TextField::Heading, "two");
    prompter.answerSaveFile(file("saved.kpj"));
    session.saveAs();

    newProject(0);
    prompter.answerOpenFile(file("saved.kpj"));
    session.load();
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 2");
    EXPECT_EQ(fields.text(TextField::Heading), "one");
    EXPECT_EQ(session.projectType(), kSingle);
    EXPECT_EQ(title, QStringLiteral("Velmora - saved.kpj"));
    EXPECT_FALSE(session.changed());
}

TEST_F(ProjectSessionTest, AFailedLoadKeepsTheCurrentProject)
{
    session.newProject(0, true);
    fields.setText(TextField::Heading, "mine");
    session.nextPage();
    dir.write(QStringLiteral("short.kpj"), QByteArray::fromHex("01000000050000") );
    prompter.answerQuestion(Answer::No).answerOpenFile(file("short.kpj"));
    session.load();
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("Error opening file")});
    EXPECT_EQ(session.project().pages.size(), 2);
    EXPECT_EQ(session.projectType(), kInterlinked);
    EXPECT_EQ(title, QStringLiteral("Velmora - Project1.kpj"));
    EXPECT_TRUE(session.changed());
    EXPECT_EQ(fields.pageNo(), "Page: 2 of 2");
}

TEST_F(ProjectSessionTest, LoadWithChangesAsksFirst)
{
    session.newProject(0, true);
    fields.setText(TextField::Heading, "mine");
    prompter.answerQuestion(Answer::Cancel);
    session.load();
    EXPECT_TRUE(prompter.callsOf(ScriptedPrompter::Kind::OpenFile).isEmpty());

    prompter.answerQuestion(Answer::Yes).answerOpenFile(std::nullopt);
    session.load();
    EXPECT_TRUE(QFile::exists(file("Project1.kpj")));  // saved before the dialog
    EXPECT_EQ(fields.text(TextField::Heading), "mine");
}

TEST_F(ProjectSessionTest, TheColourDialogOpensOnTheLastConfirmedColour)
{
    session.newProject(0, true);
    prompter.answerColour(0x0000FF).answerColour(std::nullopt).answerColour(0x00FF00);
    session.chooseColour(ColourField::HeadingColor);
    EXPECT_TRUE(session.changed());
    EXPECT_EQ(fields.colour(ColourField::HeadingColor), 0x0000FFu);
    session.chooseColour(ColourField::BackgroundColor);
    EXPECT_EQ(fields.colour(ColourField::BackgroundColor), 0x00C8C8C8u);  // cancelled
    session.chooseColour(ColourField::LinkColor);
    const auto calls = prompter.callsOf(ScriptedPrompter::Kind::Colour);
    EXPECT_EQ(calls[0].initialColour, 0u);
    EXPECT_EQ(calls[1].initialColour, 0x0000FFu);
    EXPECT_EQ(calls[2].initialColour, 0x0000FFu);
}

TEST_F(ProjectSessionTest, FillSetsTheChangeFlag)
{
    session.newProject(0, true);
    fields.setText(TextField::KeywordPhrase, "cars");
    session.save();
    session.fill();
    EXPECT_TRUE(session.changed());
}

}  // namespace
}  // namespace velmora
