// Two velmora-cli uploads of one project at once, each to its own mirror
// (pyftpdlib on 127.0.0.1), one of them breaking off; and an upload while
// the publish record is rewritten beside it. Whatever the interleaving, the
// record left must claim of each mirror only what that mirror holds.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <functional>

#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"
#include "publish/ChangedFiles.h"
#include "support/PyFtpServer.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

// Enough pages that one upload is still under way while the other runs.
constexpr int kPages = 400;

class ConcurrentUploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mirror1.isRunning());
        ASSERT_TRUE(mirror2.isRunning());
        ProjectData project;
        project.projectType = kSingle;
        for (int i = 0; i < kPages; ++i) {
            PageRecord& page = project.pages.append();
            InitPage(page, {.projectType = kSingle, .index = i, .startupDir = "/nowhere"});
            page.setText(TextField::Heading, "Page " + QByteArray::number(i));
            page.setText(TextField::Edit2, "page" + QByteArray::number(i) + ".htm");
        }
        ASSERT_EQ(WriteProjectFile(projectPath, project), kFileOk);
    }

    PublishDestination destinationOf(const test::PyFtpServer& server) const
    {
        PublishDestination d;
        d.protocol = PublishProtocol::Ftp;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server.port();
        d.user = "alice";
        d.directory = "pub";
        return d;
    }

    std::unique_ptr<QProcess> start(const test::PyFtpServer& server, const QStringList& more = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELMORA_FTP_PASSWORD"), QStringLiteral("secret"));
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(work.path());
        process->start(QStringLiteral(VELMORA_CLI_PATH),
                       QStringList{QStringLiteral("upload"), projectPath, QStringLiteral("--host"),
                                   QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                   QString::number(server.port()), QStringLiteral("--user"),
                                   QStringLiteral("alice"), QStringLiteral("--dir"),
                                   QStringLiteral("pub"), QStringLiteral("--passive")} +
                           more);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    static int finish(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(120000));
        return process.exitCode();
    }

    // Runs `meanwhile` over and over until the upload has printed its first
    // name (it has read the record and is sending), then once more.
    static void whileSending(QProcess& upload, const std::function<void()>& meanwhile)
    {
        while (upload.state() == QProcess::Running && !upload.canReadLine())
            upload.waitForReadyRead(50);
        meanwhile();
    }

    // Dead lines that make the record worth rewriting at the end of a run,
    // though not during it.
    void padRecord() const
    {
        QFile file(ProjectCompanion::pathFor(projectPath));
        ASSERT_TRUE(file.open(QIODevice::Append));
        const QByteArray value(1000, 'x');
        for (int i = 0; i < 100; ++i)
            file.write("{\"op\":\"set\",\"key\":\"padding\",\"value\":\"" + value + "\"}\n");
        file.write("{\"op\":\"set\",\"key\":\"padding\",\"value\":\"\"}\n");
    }

    // Every record of the mirror names a file the mirror holds, byte for
    // byte; `complete`: every page has one.
    void expectRecordMatches(const test::PyFtpServer& server, const QString& root, bool complete,
                             const char* which) const
    {
        const ProjectCompanion record(projectPath);
        const auto stamps = record.stamps(PublishScope(destinationOf(server)));
        if (complete) {
            EXPECT_EQ(stamps.size(), kPages) << which;
        }
        for (auto it = stamps.constBegin(); it != stamps.constEnd(); ++it) {
            EXPECT_EQ(stampOfFile(QFile::encodeName(root) + '/' + it.key()), it.value())
                << which << ": " << it.key().constData();
        }
    }

    test::TempDir work;
    test::TempDir root1;
    test::TempDir root2;
    QString projectPath = work.file(QStringLiteral("shop.kpj"));
    test::PyFtpServer mirror1{root1.path()};
    test::PyFtpServer mirror2{root2.path()};
};

TEST_F(ConcurrentUploadTest, TheRecordMatchesEachMirrorWhateverRanBesideIt)
{
    const struct {
        const char* name;
        // Runs while the upload to mirror 2 is under way.
        std::function<void()> beside;
    } cases[] = {
        {"an upload to mirror 1 that breaks off",
         [this] {
             // Mirror 1 cannot take page0.htm any more (as if it kept part
             // of it): its record must be withdrawn and stay so.
             QFile::remove(root1.file(QStringLiteral("pub/page0.htm")));
             ASSERT_TRUE(QDir().mkpath(root1.file(QStringLiteral("pub/page0.htm"))));
             const auto broken = start(mirror1);
             EXPECT_NE(finish(*broken), 0);
         }},
        {"rewrites of the record",
         [this] {
             ProjectCompanion record(projectPath);
             for (int i = 0; i < 20; ++i) {
                 record.compact();
                 QThread::msleep(5);
             }
         }},
    };
    for (const auto& c : cases) {
        QDir(root1.file(QStringLiteral("pub"))).removeRecursively();
        QDir(root2.file(QStringLiteral("pub"))).removeRecursively();
        QFile::remove(ProjectCompanion::pathFor(projectPath));
        const auto first = start(mirror1);
        ASSERT_EQ(finish(*first), 0) << first->readAllStandardError().constData();
        padRecord();

        const auto upload = start(mirror2);
        whileSending(*upload, c.beside);
        EXPECT_EQ(finish(*upload), 0) << c.name << upload->readAllStandardError().constData();

        expectRecordMatches(mirror1, root1.path(), false, c.name);
        expectRecordMatches(mirror2, root2.path(), true, c.name);
        const auto check = start(mirror2, {QStringLiteral("--changed-only"), QStringLiteral("--dry-run")});
        EXPECT_EQ(finish(*check), 0);
        EXPECT_EQ(check->readAllStandardOutput(), QByteArray()) << c.name;
    }
}

}  // namespace
}  // namespace velmora
