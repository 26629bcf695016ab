#include <gtest/gtest.h>

#include <QDir>

#include "base/Errors.h"
#include "generate/Generation.h"
#include "generate/PageBuilder.h"
#include "project/ProjectSession.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::ScriptedPrompter;

const QByteArray kLink = "http://credit.example/";

class GenerationTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(prompter.allAnswersUsed());
        QDir::setCurrent(originalDir);
    }

    // A new project of `pages` pages whose headings are "Page 1" ... and
    // whose image is a real file in the start-up directory.
    void makeProject(int type, int pages)
    {
        dir.write(QStringLiteral("splash1.jpg"), QByteArray("GIF89a\r\n\0\x01", 10));
        session.newProject(type, true);
        for (int i = 0; i < pages; ++i) {
            if (i > 0) session.nextPage();
            fields.setText(TextField::Heading, "Page " + QByteArray::number(i + 1));
            fields.setText(TextField::LinkName, "link" + QByteArray::number(i + 1));
        }
    }

    bool generate(bool autoName = true, bool messages = false)
    {
        return generator.GeneratePages(session, {.autoName = autoName,
                                                 .msgFolder = messages,
                                                 .msgFile = messages,
                                                 .creditLink = kLink,
                                                 .saveFirst = true},
                                       &written);
    }

    void goTo(int index)
    {
        session.storeCurrentPage();
        session.showPage(index);
    }

    QString out(const char* name) const
    {
        return dir.file(QStringLiteral("Project1/") + QString::fromLatin1(name));
    }

    // What the page file of page `index` must hold, built from its record.
    QByteArray expectedFile(int index)
    {
        MemoryPageFields shown;
        ShowPage(session.project().pages[index], shown, session.projectType(), index,
                 session.project().pages.size());
        return BuildPage(shown, session.projectType(), kLink).join("\r\n") + "\r\n";
    }

    QString originalDir = QDir::currentPath();
    test::TempDir dir;
    MemoryPageFields fields;
    ScriptedPrompter prompter;
    ProjectSession session{fields, prompter, dir.path()};
    PageGenerator generator;
    QStringList written;
};

TEST_F(GenerationTest, AutoNamedPagesGoBesideTheProjectWithBackLinks)
{
    makeProject(0, 3);
    ASSERT_TRUE(generate());
    EXPECT_EQ(written, (QStringList{out("Project1b.htm"), out("Project1v.htm"), out("Project1o.htm")}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(test::readFile(written[i]), expectedFile(i));
    const auto& pages = session.project().pages;
    EXPECT_EQ(pages[1].text(TextField::PreviousLinkAddress), "Project1b.htm");
    EXPECT_EQ(pages[2].text(TextField::PreviousLinkAddress), "Project1v.htm");
    EXPECT_TRUE(test::readFile(out("Project1o.htm"))
                    .contains("<b><p align=\"center\"><a href=\"Project1v.htm\">Page 2</a></p></b>\r\n"));
    EXPECT_EQ(QFile::decodeName(pages[0].text(TextField::PageFolder)), out(""));
    EXPECT_EQ(test::readFile(out("splash1.jpg")), test::readFile(dir.file(QStringLiteral("splash1.jpg"))));
    EXPECT_EQ(fields.pageNo(), "Page: 3 of 3");  // the page current before is shown again
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("Project1.kpj"))).size(), 8 + 3 * 37600);
}

TEST_F(GenerationTest, TheTwoMessagesNameTheFolderAndEachFile)
{
    makeProject(1, 3);
    ASSERT_TRUE(generate(true, true));
    EXPECT_EQ(prompter.messages(),
              (QStringList{QStringLiteral("HTML files will be copied to the folder: ") + out(""),
                           QStringLiteral("Project1b.htm file has been created."),
                           QStringLiteral("Project1v.htm file has been created."),
                           QStringLiteral("Project1o.htm file has been created.")}));
    EXPECT_EQ(prompter.calls()[0].caption, QStringLiteral("Message"));
    EXPECT_EQ(prompter.calls()[0].icon, MessageIcon::Information);
}

TEST_F(GenerationTest, ASingleProjectNeverGetsBackLinks)
{
    makeProject(1, 2);
    ASSERT_TRUE(generate());
    EXPECT_EQ(session.project().pages[1].text(TextField::PreviousLinkAddress), "");
    EXPECT_FALSE(test::readFile(written[1]).contains("Project1b.htm"));
}

TEST_F(GenerationTest, NamesGivenByTheUserAreKeptAndEleventhPageIsVb)
{
    makeProject(0, 11);
    goTo(3);
    fields.setText(TextField::Edit2, "index");
    ASSERT_TRUE(generate());
    EXPECT_EQ(written[3], out("index.htm"));
    EXPECT_EQ(written[10], out("Project1vb.htm"));
    EXPECT_EQ(session.project().pages[4].text(TextField::PreviousLinkAddress), "index.htm");

    const QByteArray first = test::readFile(written[0]);
    written.clear();
    ASSERT_TRUE(generate());  // the same names again, files replaced
    EXPECT_EQ(written[10], out("Project1vb.htm"));
    EXPECT_EQ(test::readFile(written[0]), first);
}

TEST_F(GenerationTest, AMissingImageOrNoImageStillWritesThePage)
{
    makeProject(1, 2);
    fields.setText(TextField::Image, "");
    goTo(0);
    fields.setText(TextField::ImageSource, QFile::encodeName(dir.file(QStringLiteral("none.gif"))));
    ASSERT_TRUE(generate());
    EXPECT_EQ(written.size(), 2);
    EXPECT_FALSE(test::readFile(written[1]).contains("<img"));
}

TEST_F(GenerationTest, AnImageAlreadyInTheOutputFolderIsNotDestroyed)
{
    makeProject(1, 1);
    QDir().mkpath(out(""));
    const QByteArray image("\x89PNG\r\n", 6);
    test::writeFile(out("splash1.jpg"), image);
    fields.setText(TextField::ImageSource, QFile::encodeName(out("splash1.jpg")));
    ASSERT_TRUE(generate());
    EXPECT_EQ(test::readFile(out("splash1.jpg")), image);
}

TEST_F(GenerationTest, APageThatCannotBeWrittenStopsThereAndStaysShown)
{
    makeProject(1, 3);
    QDir().mkpath(out("Project1v.htm"));  // a folder where the second file goes
    try {
        generate();
        FAIL() << "no failure raised";
    } catch (const FileError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Cannot create file ") + out("Project1v.htm"));
    }
    EXPECT_EQ(written, QStringList{out("Project1b.htm")});
    EXPECT_EQ(fields.pageNo(), "Page: 2 of 3");
}

TEST_F(GenerationTest, SaveDialogsNameThePagesAndACancelStops)
{
    makeProject(0, 3);
    const QString chosen = dir.file(QStringLiteral("first.htm"));
    prompter.answerSaveFile(chosen).answerSaveFile(std::nullopt);
    EXPECT_FALSE(generate(false));
    EXPECT_EQ(written, QStringList{chosen});
    const auto dialogs = prompter.callsOf(ScriptedPrompter::Kind::SaveFile);
    ASSERT_EQ(dialogs.size(), 2);
    EXPECT_EQ(dialogs[0].request.title, QStringLiteral("Save File - 1 [Link Name: link1]"));
    EXPECT_EQ(dialogs[1].request.title, QStringLiteral("Save File - 2 [Link Name: link2]"));
    EXPECT_EQ(dialogs[0].request.filter, QStringLiteral("HTML Files (*.htm;  *.html)|*.htm; *.html"));
    EXPECT_TRUE(dialogs[0].request.confirmOverwrite);
    EXPECT_EQ(dialogs[1].request.initialPath, chosen);  // the dialog keeps the file chosen last
    EXPECT_EQ(fields.pageNo(), "Page: 3 of 3");
    EXPECT_TRUE(prompter.messages().isEmpty());
    EXPECT_FALSE(QFile::exists(out("Project1v.htm")));
}

TEST_F(GenerationTest, SaveDialogsAskOnlyForPagesWithoutFolderOrName)
{
    makeProject(0, 2);
    goTo(0);
    fields.setText(TextField::Edit2, "known");
    const QString second = dir.file(QStringLiteral("sub/second.htm"));
    QDir().mkpath(dir.file(QStringLiteral("sub")));
    prompter.answerSaveFile(second);
    ASSERT_TRUE(generate(false));
    // A name without a folder is written in the output folder.
    EXPECT_EQ(written, (QStringList{QStringLiteral("known.htm"), second}));
    EXPECT_TRUE(QFile::exists(out("known.htm")));
    EXPECT_EQ(session.project().pages[1].text(TextField::PreviousLinkAddress), "known.htm");
    EXPECT_EQ(QFile::decodeName(session.project().pages[1].text(TextField::PageFolder)),
              dir.file(QStringLiteral("sub/")));
}

// Stops once `stopAfter` pages have been started, and keeps what it was told.
class StoppingObserver final : public GenerationObserver {
public:
    explicit StoppingObserver(int stopAfter) : stopAfter_(stopAfter) {}
    void pageStarted(int n, int m) override { started << QStringLiteral("%1/%2").arg(n).arg(m); }
    bool stopRequested() override { return started.size() >= stopAfter_; }

    QStringList started;

private:
    int stopAfter_;
};

TEST_F(GenerationTest, AStopEndsAfterTheCurrentPageAsACancelledDialogDoes)
{
    makeProject(0, 4);
    goTo(1);
    StoppingObserver observer(2);
    generator.setObserver(&observer);
    EXPECT_FALSE(generate(true, true));
    EXPECT_EQ(observer.started, (QStringList{QStringLiteral("1/4"), QStringLiteral("2/4")}));
    EXPECT_EQ(written, (QStringList{out("Project1b.htm"), out("Project1v.htm")}));
    EXPECT_FALSE(QFile::exists(out("Project1o.htm")));
    // The message of the page that was being written still comes.
    EXPECT_EQ(prompter.messages().last(), QStringLiteral("Project1v.htm file has been created."));
    EXPECT_EQ(fields.pageNo(), "Page: 2 of 4");  // the page current before, shown again

    // With save dialogs the same: the pages before are written, no more asked.
    written.clear();
    StoppingObserver first(1);
    generator.setObserver(&first);
    for (int i = 0; i < 4; ++i) session.project().pages[i].setText(TextField::PageFolder, "");
    for (int i = 0; i < 4; ++i) session.project().pages[i].setText(TextField::Edit2, "");
    goTo(3);
    fields.setText(TextField::Edit2, "");
    const QString chosen = dir.file(QStringLiteral("only.htm"));
    prompter.answerSaveFile(chosen);
    EXPECT_FALSE(generate(false));
    EXPECT_EQ(written, QStringList{chosen});
    EXPECT_EQ(prompter.callsOf(ScriptedPrompter::Kind::SaveFile).size(), 1);
    EXPECT_EQ(fields.pageNo(), "Page: 4 of 4");

    generator.setObserver(nullptr);
}

}  // namespace
}  // namespace velmora
