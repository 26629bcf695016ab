// velmora-cli upload against pyftpdlib on 127.0.0.1.

#include <gtest/gtest.h>

#include <QDir>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <cstdio>

#include "support/PyFtpServer.h"
#include "support/QtPrint.h"
#include "support/ScriptedFtpServer.h"
#include "support/VsftpdServer.h"
#include "base/SettingsFile.h"
#include "publish/ftp/TlsSettings.h"
#include "project/ProjectFile.h"
#include "support/CliRun.h"
#include "support/InProcessCli.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::CliRun;


// Runs the command in this process, with the password in the environment.
CliRun upload(const QStringList& args, const QByteArray& password)
{
    return test::runCliInProcess(QStringList{QStringLiteral("upload")} + args,
                                 {.environment = {{QStringLiteral("VELMORA_FTP_PASSWORD"), password}}});
}

class UploadCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pub")));
        image = QByteArray("GIF89a\r\n\0\x01\r\n\n\0", 13);
        work.write(QStringLiteral("logo.gif"), image);
        // The second page shows no picture.
        const QByteArray logo = QFile::encodeName(work.file(QStringLiteral("logo.gif")));
        test::ProjectBuilder(3)
            .type(kSingle)
            .text(TextField::Heading, test::numbered("Page "))
            .text(TextField::ImageSource, [logo](int i) { return i != 1 ? logo : QByteArray(); })
            .text(TextField::Image,
                  [](int i) { return i != 1 ? "logo" + QByteArray::number(i) + ".gif" : QByteArray(); })
            .write(projectPath);
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
    EXPECT_TRUE(run.err.startsWith("127.0.0.1 port ")) << run.err.constData();
    EXPECT_TRUE(run.err.contains(" refused the login: 530 ")) << run.err.constData();
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
        args() + QStringList{QStringLiteral("--protocol"), QStringLiteral("gopher")},
        args() + QStringList{QStringLiteral("--protocol"), QStringLiteral("FTP")},
        // Options of one protocol with another.
        args() + QStringList{QStringLiteral("--protocol"), QStringLiteral("sftp"),
                             QStringLiteral("--passive")},
        args() + QStringList{QStringLiteral("--protocol"), QStringLiteral("sftp"),
                             QStringLiteral("--ca-file"), QStringLiteral("ca.pem")},
        args() + QStringList{QStringLiteral("--known-hosts"), QStringLiteral("kh")},
        args() + QStringList{QStringLiteral("--ca-file"), QStringLiteral("ca.pem")},
        args() + QStringList{QStringLiteral("--passive"), QStringLiteral("--active")},
        args() + QStringList{QStringLiteral("--timeout"), QStringLiteral("0")},
        args() + QStringList{QStringLiteral("--timeout"), QStringLiteral("soon")},
        args() + QStringList{QStringLiteral("--timeout")},
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
    EXPECT_EQ(upload(deadPort, "secret").err,
              QByteArray("Connection Failed (127.0.0.1 port 1: connection refused)\n"));

    QStringList missing = args();
    missing[0] = work.file(QStringLiteral("none.kpj"));
    const CliRun run = upload(missing, "secret");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err, QByteArray("Error opening file\n"));
}

TEST_F(UploadCommandTest, TheProgramTakesThePasswordFromItsEnvironment)
{
    const CliRun run = test::runCliProgram(
        QStringList{QStringLiteral("upload")} + args(),
        {.workingDirectory = work.path(), .environment = {{QStringLiteral("VELMORA_FTP_PASSWORD"), "secret"}}});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out.count('\n'), 4);
}


// ---------------------------------------------------- modes, FTPS, timing

class UploadOptionsTest : public UploadCommandTest {
protected:
    QStringList to(int port, const QStringList& more) const
    {
        return QStringList{projectPath, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("--port"), QString::number(port),
                           QStringLiteral("--user"),
                           QLatin1String(test::VsftpdServer::kUser)} +
               more;
    }
    QList<QByteArray> printed(const CliRun& run) const
    {
        return run.out.isEmpty() ? QList<QByteArray>() : run.out.trimmed().split('\n');
    }

    test::TempDir vsftpdRoot;
};

TEST_F(UploadOptionsTest, PassiveAndActiveFollowTheFlagsElseTheStoredChoice)
{
    test::VsftpdServer refusesPort(vsftpdRoot.path(), {.portEnabled = false});
    ASSERT_TRUE(refusesPort.isRunning()) << refusesPort.error().toStdString();

    const CliRun active = upload(to(refusesPort.port(), {}), test::VsftpdServer::kPassword);
    EXPECT_NE(active.exitCode, 0) << "active mode by default";
    EXPECT_TRUE(active.err.contains("try passive mode")) << active.err.constData();
    EXPECT_EQ(active.err.count('\n'), 1) << "one line";
    EXPECT_TRUE(active.out.isEmpty());

    const CliRun passive = upload(to(refusesPort.port(), {QStringLiteral("--passive")}),
                                  test::VsftpdServer::kPassword);
    ASSERT_EQ(passive.exitCode, 0) << passive.err.constData();
    EXPECT_EQ(printed(passive).size(), 4);

    // The dialog's stored choice, from velmora.ini where the command runs.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    SettingsFile::inDirectory(work.path()).write("FTP", "PASSIVE", "Yes");
    const CliRun stored = upload(to(refusesPort.port(), {}), test::VsftpdServer::kPassword);
    const CliRun overridden = upload(to(refusesPort.port(), {QStringLiteral("--active")}),
                                     test::VsftpdServer::kPassword);
    QDir::setCurrent(before);
    EXPECT_EQ(stored.exitCode, 0) << stored.err.constData();
    EXPECT_NE(overridden.exitCode, 0);
}

TEST_F(UploadOptionsTest, FtpsRefusesAnUnknownCertificateUnlessACaFileHoldsItsIssuer)
{
    const test::TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.error().toStdString();
    test::VsftpdServer tls(vsftpdRoot.path(),
                           {.tls = true,
                            .certificateFile = certificates.certificateFile(),
                            .keyFile = certificates.keyFile()});
    ASSERT_TRUE(tls.isRunning()) << tls.error().toStdString();
    QFile pem(certificates.certificateFile());
    ASSERT_TRUE(pem.open(QIODevice::ReadOnly));
    const QByteArray fingerprint =
        certificateFingerprint(QSslCertificate(pem.readAll(), QSsl::Pem));

    const QStringList ftps = {QStringLiteral("--protocol"), QStringLiteral("ftps"),
                              QStringLiteral("--passive")};
    const CliRun refused = upload(to(tls.port(), ftps), test::VsftpdServer::kPassword);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_TRUE(refused.err.contains(fingerprint)) << refused.err.constData();
    EXPECT_TRUE(refused.err.contains("--ca-file"));
    EXPECT_EQ(refused.err.count('\n'), 1);
    EXPECT_EQ(tls.commands(), QList<QByteArray>{"AUTH TLS"}) << "no login was tried";

    const CliRun trusted = upload(
        to(tls.port(), ftps + QStringList{QStringLiteral("--ca-file"), certificates.caFile()}),
        test::VsftpdServer::kPassword);
    ASSERT_EQ(trusted.exitCode, 0) << trusted.err.constData();
    EXPECT_EQ(printed(trusted).size(), 4);
    EXPECT_TRUE(test::readFile(vsftpdRoot.file(QStringLiteral("logo0.gif"))) == image);

    // The server's own certificate in the file will do as well, in active
    // mode too.
    const CliRun own =
        upload(to(tls.port(),
                  {QStringLiteral("--protocol"), QStringLiteral("ftps"), QStringLiteral("--active"),
                   QStringLiteral("--ca-file"), certificates.certificateFile()}),
               test::VsftpdServer::kPassword);
    EXPECT_EQ(own.exitCode, 0) << own.err.constData();

    const CliRun missing = upload(
        to(tls.port(),
           ftps + QStringList{QStringLiteral("--ca-file"), work.file(QStringLiteral("no.pem"))}),
        test::VsftpdServer::kPassword);
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.startsWith("Cannot open file ")) << missing.err.constData();
}

// A name on the output is a file on the server: a file refused after its
// bytes went is not printed.
TEST_F(UploadOptionsTest, PrintsANameOnlyOnceTheServerConfirmedTheFile)
{
    // The first file's bytes go, and the server refuses it at the end.
    test::ServerScript failing = test::defaultScript();
    failing.onCommand["STOR"] = {test::send("150 Opening\r\n"), test::connectData(),
                                 test::replyAfterData("552 Quota exceeded.\r\n")};
    test::ScriptedFtpServer server(failing);
    const CliRun run = upload({projectPath, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("--port"), QString::number(server.port()),
                               QStringLiteral("--user"), QStringLiteral("alice")},
                              "secret");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
    EXPECT_EQ(run.err, "Cannot store logo0.gif in the login folder on 127.0.0.1 port " +
                           QByteArray::number(server.port()) + ": 552 Quota exceeded.\n");
    EXPECT_EQ(server.dataReceived().size(), 1) << "its bytes went";
}

TEST_F(UploadOptionsTest, TheTimeOutIsTheOneGiven)
{
    test::ServerScript silent = test::defaultScript();
    silent.greeting = {};
    test::ScriptedFtpServer server(silent);
    QElapsedTimer clock;
    clock.start();
    const CliRun run = upload({projectPath, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("--port"), QString::number(server.port()),
                               QStringLiteral("--user"), QStringLiteral("alice"),
                               QStringLiteral("--timeout"), QStringLiteral("1")},
                              "secret");
    EXPECT_LT(clock.elapsed(), 10000) << "not the 30 seconds of the default";
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err, "Socket readln timed out (127.0.0.1 port " + QByteArray::number(server.port()) +
                           ": no answer in 1 s)\n");
}

// ------------------------------------------------- changed files, dry run

class ChangedOnlyUploadTest : public UploadCommandTest {
protected:
    // Names in the order of the plan: the image, then the three pages.
    QList<QByteArray> publishOnce()
    {
        // One connection: the names come in the plan's order, as a dry run lists them.
        const CliRun run = upload(args() + QStringList{QStringLiteral("--changed-only"),
                                                       QStringLiteral("--connections"), QStringLiteral("1")},
                                  "secret");
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        return run.out.trimmed().split('\n');
    }
    // Page 2 keeps its size with other words; a fourth page is added.
    void changeOnePageAndAddOne()
    {
        ProjectData project;
        ASSERT_EQ(ReadProjectFile(projectPath, project), kFileOk);
        project.pages.edit(2).setText(TextField::Heading, "Page X");
        PageRecord& added = project.pages.append();
        InitPage(added, {.projectType = kSingle, .index = 3, .startupDir = "/nowhere"});
        added.setText(TextField::ImageSource, "");
        added.setText(TextField::Image, "");
        ASSERT_EQ(WriteProjectFile(projectPath, project), kFileOk);
    }
    void ageEveryFileOnTheServer(const QList<QByteArray>& names)
    {
        for (const QByteArray& name : names) {
            QFile file(root.file(QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
    }
    bool writtenAgain(const QByteArray& name)
    {
        return QFileInfo(root.file(QString::fromUtf8(name))).lastModified() != old;
    }
    QStringList dryRun(const QStringList& more = {}) const
    {
        return args() + QStringList{QStringLiteral("--changed-only"), QStringLiteral("--dry-run")} +
               more;
    }

    const QDateTime old = QDateTime::fromSecsSinceEpoch(1000000000);
};

TEST_F(ChangedOnlyUploadTest, TheDryRunAndTheUploadNameExactlyTheChangedAndTheAddedPage)
{
    const QList<QByteArray> first = publishOnce();
    ASSERT_EQ(first.size(), 4);
    ageEveryFileOnTheServer(first);
    changeOnePageAndAddOne();

    // Without the password a login would fail: the dry run logs in nowhere.
    const CliRun dry = upload(dryRun(), "");
    ASSERT_EQ(dry.exitCode, 0) << dry.err.constData();
    EXPECT_TRUE(dry.err.isEmpty());
    const QList<QByteArray> named = dry.out.trimmed().split('\n');
    ASSERT_EQ(named.size(), 2) << dry.out.constData();
    EXPECT_EQ(named[0], first[3]) << "the changed page";
    EXPECT_TRUE(named[1].startsWith("pub/") && !first.contains(named[1])) << "the new page";
    for (const QByteArray& name : first) EXPECT_FALSE(writtenAgain(name)) << "a dry run sends nothing";

    const CliRun sent = upload(args() + QStringList{QStringLiteral("--changed-only")}, "secret");
    ASSERT_EQ(sent.exitCode, 0) << sent.err.constData();
    EXPECT_EQ(sent.out.trimmed().split('\n'), named);
    for (const QByteArray& name : first)
        EXPECT_EQ(writtenAgain(name), name == named[0]) << name.constData();
    const QString site = work.file(QStringLiteral("site/"));
    for (const QByteArray& name : named)
        EXPECT_TRUE(test::readFile(root.file(QString::fromUtf8(name))) ==
                    test::readFile(site + QString::fromUtf8(name.mid(4))))
            << name.constData();

    EXPECT_TRUE(upload(dryRun(), "").out.isEmpty()) << "nothing left to send";
    const CliRun nothing = upload(args() + QStringList{QStringLiteral("--changed-only")}, "wrong");
    EXPECT_EQ(nothing.exitCode, 0) << "nothing to send logs in nowhere";
    EXPECT_TRUE(nothing.out.isEmpty());
}

TEST_F(ChangedOnlyUploadTest, AnotherFolderOrUserIsANewDestination)
{
    const QList<QByteArray> first = publishOnce();
    ASSERT_EQ(first.size(), 4);
    EXPECT_TRUE(upload(dryRun(), "").out.isEmpty());

    QStringList otherFolder = dryRun();
    otherFolder[8] = QStringLiteral("www");
    QList<QByteArray> expected;
    for (const QByteArray& name : first) expected << "www/" + name.mid(4);
    EXPECT_EQ(upload(otherFolder, "").out.trimmed().split('\n'), expected);

    QStringList otherUser = dryRun();
    otherUser[6] = QStringLiteral("nopass");
    EXPECT_EQ(upload(otherUser, "").out.trimmed().split('\n'), first);

    // Without --changed-only the dry run names everything a full upload sends.
    QStringList everything = args() + QStringList{QStringLiteral("--dry-run")};
    EXPECT_EQ(upload(everything, "").out.trimmed().split('\n'), first);
}

TEST_F(ChangedOnlyUploadTest, WithoutTheOptionEverythingGoesAgain)
{
    const QList<QByteArray> first = publishOnce();
    ageEveryFileOnTheServer(first);
    const CliRun run =
        upload(args() + QStringList{QStringLiteral("--connections"), QStringLiteral("1")}, "secret");
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out.trimmed().split('\n'), first);
    for (const QByteArray& name : first) EXPECT_TRUE(writtenAgain(name)) << name.constData();
    const QStringList twice[] = {dryRun({QStringLiteral("--dry-run")}),
                                 dryRun({QStringLiteral("--changed-only")})};
    for (const QStringList& arguments : twice)
        EXPECT_TRUE(upload(arguments, "").err.startsWith("usage: ")) << "an option given twice";
}

}  // namespace
}  // namespace velmora
