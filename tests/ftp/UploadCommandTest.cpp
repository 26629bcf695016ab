// velmora-cli upload against pyftpdlib on 127.0.0.1.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>

#include "CliCommands.h"
#include "PyFtpServer.h"
#include "QtPrint.h"
#include "project/ProjectFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readBack(std::FILE* stream)
{
    std::rewind(stream);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(stream);
    return bytes;
}

// Runs the command in this process, with the password in the environment.
CliRun upload(const QStringList& args, const QByteArray& password)
{
    qputenv("VELMORA_FTP_PASSWORD", password);
    cli::Output io{std::tmpfile(), std::tmpfile()};
    CliRun run;
    run.exitCode = cli::runCli(QStringList{QStringLiteral("upload")} + args, io);
    run.out = readBack(io.out);
    run.err = readBack(io.err);
    qunsetenv("VELMORA_FTP_PASSWORD");
    return run;
}

class UploadCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pub")));
        image = QByteArray("GIF89a\r\n\0\x01\r\n\n\0", 13);
        work.write(QStringLiteral("logo.gif"), image);
        ProjectData project;
        project.projectType = kSingle;
        for (int i = 0; i < 3; ++i) {
            PageRecord& page = project.pages.append();
            InitPage(page, {.projectType = kSingle, .index = i, .startupDir = "/nowhere"});
            page.setText(TextField::Heading, "Page " + QByteArray::number(i));
            const bool withImage = i != 1;
            page.setText(TextField::ImageSource,
                         withImage ? QFile::encodeName(work.file(QStringLiteral("logo.gif")))
                                   : QByteArray());
            page.setText(TextField::Image, withImage ? "logo" + QByteArray::number(i) + ".gif"
                                                     : QByteArray());
        }
        ASSERT_EQ(WriteProjectFile(projectPath, project), kFileOk);
    }

    QStringList args(const QString& user = QStringLiteral("alice")) const
    {
        return {projectPath,
                QStringLiteral("--host"),
                QStringLiteral("127.0.0.1"),
                QStringLiteral("--port"),
                QString::number(server.port()),
                QStringLiteral("--user"),
                user,
                QStringLiteral("--dir"),
                QStringLiteral("pub")};
    }

    test::TempDir root;  // the server's files
    test::TempDir work;  // the project, its pages and its image
    QString projectPath = work.file(QStringLiteral("site.kpj"));
    QByteArray image;
    test::PyFtpServer server{root.path()};
};

TEST_F(UploadCommandTest, GeneratesThenUploadsEveryPageAndEachImageOnce)
{
    const CliRun run = upload(args(), "secret");
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.isEmpty());

    const QStringList generated =
        QDir(work.file(QStringLiteral("site"))).entryList({QStringLiteral("*.htm")}, QDir::Files);
    ASSERT_EQ(generated.size(), 3) << "the pages were generated first";
    const QList<QByteArray> printed = run.out.trimmed().split('\n');
    ASSERT_EQ(printed.size(), 4);
    EXPECT_EQ(printed[0], QByteArray("pub/logo0.gif"));
    int pagesPrinted = 0;
    for (const QByteArray& name : printed) {
        ASSERT_TRUE(name.startsWith("pub/"));
        const QString file = QString::fromUtf8(name.mid(4));
        if (file.endsWith(QLatin1String(".htm"))) {
            ++pagesPrinted;
            EXPECT_TRUE(generated.contains(file)) << name.constData();
            EXPECT_TRUE(test::readFile(root.file(QString::fromUtf8(name))) ==
                        test::readFile(work.file(QStringLiteral("site/") + file)));
        }
    }
    EXPECT_EQ(pagesPrinted, 3);
    EXPECT_TRUE(test::readFile(root.file(QStringLiteral("pub/logo0.gif"))) == image);
    EXPECT_FALSE(QFile::exists(root.file(QStringLiteral("pub/logo2.gif"))))
        << "the shared image goes once, under the first page's name";
}

TEST_F(UploadCommandTest, WithASiteAddressTheSiteFilesFollowThePages)
{
    const CliRun run = upload(args() + QStringList{QStringLiteral("--site-url"),
                                                   QStringLiteral("https://shop.example.com/")},
                              "secret");
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QByteArray> printed = run.out.trimmed().split('\n');
    ASSERT_EQ(printed.size(), 7);
    EXPECT_TRUE(printed[4].endsWith(".txt")) << "the key file";
    EXPECT_EQ(printed.mid(5), (QList<QByteArray>{"pub/sitemap.xml", "pub/robots.txt"}));
    for (const QByteArray& name : printed.mid(4)) {
        const QString file = QString::fromLatin1(name.mid(4));
        EXPECT_EQ(test::readFile(root.file(QStringLiteral("pub/") + file)),
                  test::readFile(work.file(QStringLiteral("site/") + file)));
    }
    EXPECT_TRUE(test::readFile(root.file(QStringLiteral("pub/sitemap.xml")))
                    .contains("<loc>https://shop.example.com/siteb.htm</loc>"));
    // Recorded: the next upload sends them without being told again.
    const CliRun again = upload(args(), "secret");
    EXPECT_TRUE(again.out.contains("pub/sitemap.xml\n")) << again.out.constData();

    const CliRun bad = upload(args() + QStringList{QStringLiteral("--site-url"),
                                                   QStringLiteral("shop.example.com")},
                              "secret");
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_EQ(bad.err, QByteArray("The site address must be an absolute http or https address "
                                  "ending in \"/\"\n"));
    EXPECT_TRUE(bad.out.isEmpty());
}

TEST_F(UploadCommandTest, ARefusedLoginFailsWithTheServersLine)
{
    const CliRun run = upload(args(), "wrong");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith("530 ")) << run.err.constData();
    EXPECT_EQ(run.err.count('\n'), 1) << "one line";
    EXPECT_TRUE(QDir(root.file(QStringLiteral("pub"))).isEmpty());
}

TEST_F(UploadCommandTest, TheArgumentsAreChecked)
{
    const QStringList bad[] = {
        {projectPath, QStringLiteral("--user"), QStringLiteral("alice")},
        {projectPath, QStringLiteral("--host"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--user"),
         QStringLiteral("a")},
        args() + QStringList{QStringLiteral("--password"), QStringLiteral("secret")},
        {projectPath, QStringLiteral("--host"), QStringLiteral("h"), QStringLiteral("--user"),
         QStringLiteral("u"), QStringLiteral("--port"), QStringLiteral("70000")},
        {projectPath, QStringLiteral("--host"), QStringLiteral("h"), QStringLiteral("--user")},
    };
    for (const QStringList& arguments : bad) {
        const CliRun run = upload(arguments, "secret");
        EXPECT_NE(run.exitCode, 0) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("usage: velmora-cli upload PROJECT.kpj --host HOST"));
    }
    EXPECT_FALSE(QFile::exists(work.file(QStringLiteral("site")))) << "nothing generated";
}

TEST_F(UploadCommandTest, FailuresBeforeTheLoginEndNonZeroWithTheirText)
{
    QStringList deadPort = args();
    deadPort[4] = QString::number(1);
    EXPECT_EQ(upload(deadPort, "secret").err, QByteArray("Connection Failed\n"));

    QStringList missing = args();
    missing[0] = work.file(QStringLiteral("none.kpj"));
    const CliRun run = upload(missing, "secret");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err, QByteArray("Error opening file\n"));
}

TEST_F(UploadCommandTest, TheProgramTakesThePasswordFromItsEnvironment)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_FTP_PASSWORD"), QStringLiteral("secret"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(work.path());
    process.start(QStringLiteral(VELMORA_CLI_PATH), QStringList{QStringLiteral("upload")} + args());
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    EXPECT_EQ(process.readAllStandardOutput().count('\n'), 4);
}

}  // namespace
}  // namespace velmora
