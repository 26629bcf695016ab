#include <gtest/gtest.h>

#include <QDir>

#include "app/ui/MainWindow.h"
#include "app/ui/WindowCommandLine.h"
#include "project/PageOperations.h"
#include "project/ProjectFile.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui_MainWindow.h"

namespace velmora {
namespace {

using Request = WindowCommandLine::Request;

QByteArray readBack(std::FILE* stream)
{
    std::rewind(stream);
    QByteArray bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;)
        bytes.append(buffer, qsizetype(n));
    std::fclose(stream);
    return bytes;
}

TEST(WindowCommandLine, TakesOneProjectOrAnswersHelpAndVersion)
{
    struct Case {
        QStringList args;
        Request request;
        QString project;
    };
    const Case cases[] = {
        {{}, Request::Window, QString()},
        {{QStringLiteral("shop.kpj")}, Request::Window, QStringLiteral("shop.kpj")},
        {{QStringLiteral("--"), QStringLiteral("-odd.kpj")}, Request::Window, QStringLiteral("-odd.kpj")},
        {{QStringLiteral("--version")}, Request::Version, QString()},
        {{QStringLiteral("shop.kpj"), QStringLiteral("--version")}, Request::Version, QString()},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--help")}, Request::Help, QString()},
        {{QStringLiteral("-h")}, Request::Help, QString()},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen")}, Request::Misuse, QString()},
        {{QStringLiteral("a.kpj"), QStringLiteral("b.kpj")}, Request::Misuse, QString()},
        {{QStringLiteral("--"), QStringLiteral("a.kpj"), QStringLiteral("b.kpj")}, Request::Misuse, QString()},
    };
    for (const Case& c : cases) {
        const WindowCommandLine call = WindowCommandLine::parse(c.args);
        EXPECT_EQ(call.request, c.request) << c.args.join(u' ').toStdString();
        EXPECT_EQ(call.projectPath, c.project) << c.args.join(u' ').toStdString();
    }
}

TEST(WindowCommandLine, AnswersOnTheRightStreamWithTheRightCode)
{
    struct Case {
        Request request;
        std::optional<int> exitCode;
        QByteArray out;
        QByteArray errStart;
    };
    const Case cases[] = {
        {Request::Window, std::nullopt, "", ""},
        {Request::Version, 0, "velmora " VELMORA_EXPECTED_VERSION "\n", ""},
        {Request::Help, 0, "usage: velmora [PROJECT.kpj]\n       velmora --help | --version\n", ""},
        {Request::Misuse, 2, "", "usage: velmora [PROJECT.kpj]"},
    };
    for (const Case& c : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        EXPECT_EQ(answerWithoutWindow({c.request, QString()}, out, err), c.exitCode);
        EXPECT_EQ(readBack(out), c.out);
        EXPECT_TRUE(readBack(err).startsWith(c.errStart));
    }
}

// The project named on the command line is what the window shows first; one
// that cannot be read is told, and a new project starts as without it.
TEST(WindowCommandLine, TheWindowOpensTheProjectItWasStartedWith)
{
    test::TempDir dir;
    ProjectData project;
    project.projectType = kSingle;
    for (int i = 0; i < 2; ++i) InitPage(project.pages.append(), {});
    project.pages.edit(0).setText(TextField::Heading, "from the file");
    ASSERT_EQ(WriteProjectFile(dir.file(QStringLiteral("shop.kpj")), project), kFileOk);
    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nCHOSING_NEW_PRJ=0\n");
    dir.write(QStringLiteral("broken.kpj"), QByteArray::fromHex("01000000050000"));

    struct Case {
        QString argument;
        QString title;
        QStringList messages;
    };
    const Case cases[] = {
        {QStringLiteral("shop.kpj"), QStringLiteral("Velmora - shop.kpj"), {}},
        {QStringLiteral("broken.kpj"), QStringLiteral("Velmora - Project1.kpj"),
         {QStringLiteral("Error opening file")}},
        {QStringLiteral("missing.kpj"), QStringLiteral("Velmora - Project1.kpj"),
         {QStringLiteral("Error opening file")}},
    };
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    for (const Case& c : cases) {
        test::ScriptedPrompter prompter;
        test::RecordingLauncher launcher;
        TForm1 form(prompter, launcher);
        form.setStartupProject(c.argument);
        form.show();
        EXPECT_EQ(form.windowTitle(), c.title);
        EXPECT_EQ(prompter.messages(), c.messages);
        if (c.messages.isEmpty()) {
            EXPECT_EQ(form.form().PageNo->text(), QStringLiteral("Page: 1 of 2"));
            EXPECT_EQ(form.form().Heading->text(), QStringLiteral("from the file"));
            EXPECT_EQ(form.session().projectPath(), dir.file(QStringLiteral("shop.kpj")));
        }
        EXPECT_FALSE(form.session().changed());
    }
    QDir::setCurrent(before);
}

}  // namespace
}  // namespace velmora
