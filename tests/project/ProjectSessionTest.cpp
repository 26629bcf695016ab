#include <gtest/gtest.h>

#include <QDir>

#include "base/Errors.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"
#include "project/ProjectSession.h"
#include "support/ScriptedPrompter.h"
#include "support/ProjectBuilder.h"
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

TEST_F(ProjectSessionTest, SaveAsTakesWhatLivesBesideTheProjectAlong)
{
    session.newProject(0, true);
    prompter.answerSaveFile(file("shop.kpj"));
    session.saveAs();
    const FileStamp stamp{QByteArray(64, 'a'), 12};
    ASSERT_EQ(session.companion().path(), ProjectCompanion::pathFor(file("shop.kpj")));
    session.companion().setValue(kSiteAddressKey, QStringLiteral("https://shop.example/"));
    session.companion().recordStamp(QStringLiteral("ftp://u@h:21/www"), "www/a.htm", stamp);
    // Another project already lives under the name chosen: its companion
    // goes with the project file that is replaced.
    {
        ProjectCompanion other(file("other.kpj"));
        other.setValue(kSiteAddressKey, QStringLiteral("https://other.example/"));
        other.setValue(kIndexNowKeyKey, QStringLiteral("0123456789abcdef"));
    }
    prompter.answerSaveFile(file("other.kpj"));
    session.saveAs();
    EXPECT_TRUE(prompter.messages().isEmpty()) << prompter.messages().join(u'\n').toStdString();
    const ProjectCompanion carried(file("other.kpj"));
    EXPECT_EQ(carried.value(kSiteAddressKey), QStringLiteral("https://shop.example/"));
    EXPECT_EQ(carried.value(kIndexNowKeyKey), QString());
    EXPECT_EQ(carried.stamp(QStringLiteral("ftp://u@h:21/www"), "www/a.htm"), stamp);
    EXPECT_EQ(ProjectCompanion(file("shop.kpj")).value(kSiteAddressKey),
              QStringLiteral("https://shop.example/"))
        << "the project saved from keeps its own";
    // The session now records beside the project saved to, in the file the
    // carry rewrote, not in the one it replaced.
    session.companion().setValue(kIndexNowKeyKey, QStringLiteral("fedcba9876543210"));
    EXPECT_EQ(ProjectCompanion(file("other.kpj")).value(kIndexNowKeyKey),
              QStringLiteral("fedcba9876543210"));
    EXPECT_EQ(ProjectCompanion(file("shop.kpj")).value(kIndexNowKeyKey), QString());

    // A project with nothing beside it leaves nothing of the replaced one.
    newProject(1);
    prompter.answerSaveFile(file("other.kpj"));
    session.saveAs();
    const ProjectCompanion emptied(file("other.kpj"));
    EXPECT_TRUE(emptied.keys().isEmpty());
    EXPECT_TRUE(emptied.scopes().isEmpty());
    prompter.answerSaveFile(file("fresh.kpj"));
    session.saveAs();
    EXPECT_FALSE(QFile::exists(ProjectCompanion::pathFor(file("fresh.kpj"))))
        << "nothing to carry makes no file";
}

TEST_F(ProjectSessionTest, ACompanionThatCannotBeWrittenIsToldButTheProjectIsSaved)
{
    session.newProject(0, true);
    prompter.answerSaveFile(file("shop.kpj"));
    session.saveAs();
    session.companion().setValue(kSiteAddressKey, QStringLiteral("https://shop.example/"));
    const QString planted = file("elsewhere.txt");
    test::writeFile(planted, "not ours");
    ASSERT_TRUE(QFile::link(planted, ProjectCompanion::pathFor(file("copy.kpj"))));

    prompter.answerSaveFile(file("copy.kpj"));
    session.saveAs();
    EXPECT_EQ(prompter.messages(),
              QStringList{QStringLiteral("Cannot create file ") +
                          ProjectCompanion::pathFor(file("copy.kpj"))});
    EXPECT_EQ(test::readFile(planted), "not ours");
    EXPECT_EQ(session.projectPath(), file("copy.kpj"));
    EXPECT_FALSE(session.changed());
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

TEST_F(ProjectSessionTest, AProjectOpenedByARelativePathKeepsItsFullPath)
{
    test::ProjectBuilder().startupDir({}).writeTo(dir, QStringLiteral("shop:v2.kpj"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const int result = session.openProject(QStringLiteral("shop:v2.kpj"));
    QDir::setCurrent(before);
    ASSERT_EQ(result, kFileOk);
    EXPECT_EQ(session.projectPath(), file("shop:v2.kpj"));
    EXPECT_EQ(session.projectName(), QStringLiteral("shop:v2.kpj"));
    EXPECT_EQ(title, QStringLiteral("Velmora - shop:v2.kpj"));
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

// --- keyword lists and page management -----------------------------------

class PageManagementTest : public ProjectSessionTest {
protected:
    // A saved project of `count` pages headed "P1", "P2", ..., named
    // "p1.htm", ...; the first page shown and the flag clear.
    void pages(int count, int choice = 0)
    {
        session.newProject(choice, true);
        for (int i = 1; i <= count; ++i) {
            if (i > 1) session.nextPage();
            fields.setText(TextField::Heading, "P" + QByteArray::number(i));
            fields.setText(TextField::Edit2, "p" + QByteArray::number(i) + ".htm");
        }
        session.storeCurrentPage();
        session.showPage(0);
        session.save();
        ASSERT_FALSE(session.changed());
    }
    QByteArray heading(int i) { return session.project().pages[i].text(TextField::Heading); }
    QString list(const QByteArray& bytes)
    {
        dir.write(QStringLiteral("list.txt"), bytes);
        return dir.file(QStringLiteral("list.txt"));
    }
};

TEST_F(PageManagementTest, ImportAppendsAfterTheLastPageAndShowsTheFirstImported)
{
    pages(2);
    session.nextPage();
    session.previousPage();
    fields.setText(TextField::Heading, "P1 edited");  // unsaved edit on the page shown
    session.nextPage();
    fields.setText(TextField::Heading, "P2 edited");  // the last page, shown and not stored
    QList<std::pair<int, int>> progress;
    prompter.answerOpenFile(list("cheap cars\n\n  used bikes  \n"));
    session.importKeywordList([&](int done, int total) { progress.append({done, total}); });

    EXPECT_EQ(prompter.calls()[0].request.title, QStringLiteral("Import Keyword List"));
    EXPECT_TRUE(prompter.calls()[0].request.mustExist);
    ASSERT_EQ(session.project().pages.size(), 4);
    EXPECT_EQ(heading(0), "P1 edited");
    EXPECT_EQ(heading(1), "P2 edited");
    EXPECT_EQ(session.currentIndex(), 2);
    EXPECT_EQ(fields.pageNo(), "Page: 3 of 4");
    EXPECT_EQ(fields.text(TextField::KeywordPhrase), "cheap cars");
    EXPECT_EQ(fields.text(TextField::Word2), "cars");
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "P2 edited");
    EXPECT_EQ(fields.text(TextField::PreviousLinkAddress), "p2.htm");
    EXPECT_EQ(session.project().pages[3].text(TextField::PreviousLinkName), "cheap cars");
    EXPECT_EQ(session.project().pages[3].text(TextField::KeywordPhrase), "used bikes");
    EXPECT_TRUE(session.changed());
    EXPECT_EQ(progress, (QList<std::pair<int, int>>{{1, 2}, {2, 2}}));
}

TEST_F(PageManagementTest, AListThatFailsOrIsCancelledChangesNothing)
{
    pages(2);
    prompter.answerOpenFile(std::nullopt);
    session.importKeywordList();
    EXPECT_THROW(session.importKeywordList(list("fine\n\xC0\xC0\n")), VelmoraError);
    EXPECT_THROW(session.importKeywordList(list(" \n\n")), VelmoraError);
    EXPECT_THROW(session.importKeywordList(file("none.txt")), FileError);
    EXPECT_EQ(session.project().pages.size(), 2);
    EXPECT_EQ(session.currentIndex(), 0);
    EXPECT_FALSE(session.changed());
}

TEST_F(PageManagementTest, DeleteHandsTheBackLinkToThePageAfter)
{
    pages(3);
    session.showPage(1);
    session.deletePage();
    ASSERT_EQ(session.project().pages.size(), 2);
    EXPECT_EQ(heading(1), "P3");
    EXPECT_EQ(session.currentIndex(), 1);  // the page after takes the deleted one's place
    EXPECT_EQ(fields.pageNo(), "Page: 2 of 2");
    EXPECT_EQ(fields.text(TextField::Heading), "P3");
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "P1");
    EXPECT_EQ(fields.text(TextField::PreviousLinkAddress), "p1.htm");
    EXPECT_TRUE(session.changed());

    session.showPage(0);
    session.deletePage();  // the first page's empty link goes to the new first page
    EXPECT_EQ(fields.text(TextField::Heading), "P3");
    EXPECT_EQ(fields.text(TextField::PreviousLinkName), "");
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 1");
}

TEST_F(PageManagementTest, UndoPutsDeletedPagesBackInOrderEvenAfterASave)
{
    pages(4);
    const ProjectData saved = [&] {
        ProjectData read;
        EXPECT_EQ(ReadProjectFile(file("Project1.kpj"), read), kFileOk);
        return read;
    }();
    session.showPage(1);
    session.deletePage();  // P2: P3 takes its link
    session.showPage(2);
    session.deletePage();  // P4, the last
    session.showPage(0);
    session.deletePage();  // P1: P3 takes its empty link
    ASSERT_TRUE(session.save());

    for (int undone = 0; undone < 3; ++undone) {
        ASSERT_TRUE(session.canUndoDelete());
        session.undoDelete();
    }
    EXPECT_FALSE(session.canUndoDelete());
    session.undoDelete();  // nothing left: nothing happens
    ASSERT_EQ(session.project().pages.size(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(session.project().pages[i], saved.pages[i]) << i;
    EXPECT_EQ(session.currentIndex(), 1);  // the page put back last is shown
    EXPECT_EQ(fields.text(TextField::Heading), "P2");
    EXPECT_TRUE(session.changed());

    session.deletePage();
    prompter.answerQuestion(Answer::No);
    newProject();  // another project: what was deleted before is gone for good
    EXPECT_FALSE(session.canUndoDelete());
}

TEST_F(PageManagementTest, AProjectChangedOnDiskIsSavedOverOnlyWhenTheUserSaysSo)
{
    pages(1);
    fields.setText(TextField::Heading, "mine");
    ProjectData theirs;
    ASSERT_EQ(ReadProjectFile(file("Project1.kpj"), theirs), kFileOk);
    theirs.pages.append();
    ASSERT_EQ(WriteProjectFile(file("Project1.kpj"), theirs), kFileOk);
    const QByteArray onDisk = test::readFile(file("Project1.kpj"));

    prompter.answerQuestion(Answer::No).answerQuestion(Answer::Yes);
    EXPECT_FALSE(session.save());
    EXPECT_EQ(test::readFile(file("Project1.kpj")), onDisk);
    EXPECT_TRUE(session.changed());
    EXPECT_TRUE(session.save());
    const auto asked = prompter.callsOf(ScriptedPrompter::Kind::Question);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0].text, file("Project1.kpj") +
                                 QStringLiteral(" was changed by another program since it was "
                                                "opened. Save over it?"));
    EXPECT_EQ(asked[0].buttons, QStringLiteral("Yes No"));
    fields.setText(TextField::Heading, "mine again");
    EXPECT_TRUE(session.save());  // what it saved itself is no change by another
}

TEST_F(PageManagementTest, DeletingTheLastPageShowsTheNewLastAndOnePageStays)
{
    pages(2);
    session.nextPage();
    session.deletePage();
    EXPECT_EQ(session.currentIndex(), 0);
    EXPECT_EQ(fields.text(TextField::Heading), "P1");
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 1");

    session.save();
    session.deletePage();
    EXPECT_EQ(session.project().pages.size(), 1);
    EXPECT_EQ(prompter.messages(), QStringList{QStringLiteral("A project keeps at least one page.")});
    EXPECT_FALSE(session.changed());
}

TEST_F(PageManagementTest, GoToPageAsksANumberInRangeAndStoresTheShownPage)
{
    pages(3);
    fields.setText(TextField::Heading, "P1 edited");
    prompter.answerNumber(3).answerNumber(std::nullopt).answerNumber(0).answerNumber(4);
    session.goToPage();
    const ScriptedPrompter::Call& call = prompter.calls()[0];
    EXPECT_EQ(call.caption, QStringLiteral("Go to Page"));
    EXPECT_EQ(call.value, 1);
    EXPECT_EQ(call.minimum, 1);
    EXPECT_EQ(call.maximum, 3);
    EXPECT_EQ(fields.pageNo(), "Page: 3 of 3");
    EXPECT_EQ(heading(0), "P1 edited");
    for (int i = 0; i < 3; ++i) session.goToPage();  // cancelled, then out of range
    EXPECT_EQ(session.currentIndex(), 2);
    EXPECT_EQ(prompter.calls()[1].value, 3);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A saved project of `count` pages whose headings are "P1", "P2", ...
class ProjectStoreTest : public ProjectSessionTest {
protected:
    void makeSaved(int count)
    {
        newProject(1);
        for (int i = 0; i < count; ++i) {
            if (i > 0) session.nextPage();
            fields.setText(TextField::Heading, "P" + QByteArray::number(i + 1));
        }
        ASSERT_TRUE(session.save());
        ASSERT_EQ(session.project().pages.heldCount(), 0);
    }

    QByteArrayList headings() const
    {
        QByteArrayList out;
        const PageList& pages = session.project().pages;
        for (int i = 0; i < pages.size(); ++i) out << pages.at(i).text(TextField::Heading);
        return out;
    }
};

TEST_F(ProjectStoreTest, OnlyChangedPagesAreHeldAndSaveLetsThemGo)
{
    makeSaved(5);
    ProjectSession reopened(fields, prompter, dir.path());
    ASSERT_EQ(reopened.openProject(session.projectPath()), kFileOk);
    // Paging through every page and back changes nothing: nothing is held.
    for (int i = 0; i < 4; ++i) reopened.nextPage();
    for (int i = 0; i < 4; ++i) reopened.previousPage();
    EXPECT_EQ(reopened.project().pages.heldCount(), 0);

    fields.setText(TextField::Heading, "changed");
    reopened.nextPage();
    EXPECT_EQ(reopened.project().pages.heldCount(), 1);
    ASSERT_TRUE(reopened.save());
    EXPECT_EQ(reopened.project().pages.heldCount(), 0);
    ProjectData read;
    ASSERT_EQ(ReadProjectFile(session.projectPath(), read), kFileOk);
    EXPECT_EQ(read.pages.at(0).text(TextField::Heading), "changed");
    EXPECT_EQ(read.pages.at(4).text(TextField::Heading), "P5");
}

struct StoreCase {
    const char* name;
    std::function<void(ProjectSession&, ScriptedPrompter&, MemoryPageFields&)> act;
    QByteArrayList headings;  // after the act, and after save and reopen
};

class ProjectStoreCases : public ProjectStoreTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(ProjectStoreCases, WorkOnAProjectReadOnDemandAndSurviveSaving)
{
    makeSaved(4);
    ProjectSession opened(fields, prompter, dir.path());
    ASSERT_EQ(opened.openProject(session.projectPath()), kFileOk);
    GetParam().act(opened, prompter, fields);
    const auto headingsOf = [](const ProjectSession& s) {
        QByteArrayList out;
        for (int i = 0; i < s.project().pages.size(); ++i)
            out << s.project().pages.at(i).text(TextField::Heading);
        return out;
    };
    opened.storeCurrentPage();
    EXPECT_EQ(headingsOf(opened), GetParam().headings);
    ASSERT_TRUE(opened.save());
    EXPECT_EQ(headingsOf(opened), GetParam().headings);
    ProjectSession again(fields, prompter, dir.path());
    ASSERT_EQ(again.openProject(session.projectPath()), kFileOk);
    EXPECT_EQ(headingsOf(again), GetParam().headings);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ProjectStoreCases,
    ::testing::Values(
        StoreCase{"DeleteInTheMiddle",
                  [](ProjectSession& s, ScriptedPrompter&, MemoryPageFields&) {
                      s.showPage(1);
                      s.deletePage();
                      s.deletePage();
                  },
                  {"P1", "P4"}},
        StoreCase{"GoToAndChange",
                  [](ProjectSession& s, ScriptedPrompter& p, MemoryPageFields& f) {
                      p.answerNumber(3);
                      s.goToPage();
                      f.setText(TextField::Heading, "three");
                  },
                  {"P1", "P2", "three", "P4"}},
        StoreCase{"AppendAfterDeletingTheLast",
                  [](ProjectSession& s, ScriptedPrompter&, MemoryPageFields& f) {
                      s.showPage(3);
                      s.deletePage();
                      s.nextPage();
                      f.setText(TextField::Heading, "new");
                  },
                  {"P1", "P2", "P3", "new"}},
        StoreCase{"ChangeDeleteChangeAgain",
                  [](ProjectSession& s, ScriptedPrompter&, MemoryPageFields& f) {
                      f.setText(TextField::Heading, "one");
                      s.nextPage();
                      s.deletePage();
                      f.setText(TextField::Heading, "was three");
                  },
                  {"one", "was three", "P4"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectStoreTest, AProjectCutShortUnderneathFailsLoudlyOnTheNextRead)
{
    makeSaved(3);
    ProjectSession opened(fields, prompter, dir.path());
    ASSERT_EQ(opened.openProject(session.projectPath()), kFileOk);
    QFile file(session.projectPath());
    ASSERT_TRUE(file.resize(8 + 37600));  // someone else cut it in place
    EXPECT_THROW(opened.showPage(2), FileError);
    EXPECT_EQ(fields.pageNo(), "Page: 1 of 3");
}

}  // namespace
}  // namespace velmora
