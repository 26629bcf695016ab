// velmora-cli upload --protocol sftp against an OpenSSH server started by
// the test, the program run as a user runs it.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "support/CliRun.h"
#include "support/ProjectBuilder.h"
#include "support/QtPrint.h"
#include "support/SshServer.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::CliRun;

class SftpUploadCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        ASSERT_TRUE(QDir().mkpath(work.file(QStringLiteral("keys"))));
        image = QByteArray("GIF89a\r\n\0\x01\r\n\n\0", 13);
        work.write(QStringLiteral("logo.gif"), image);
        test::ProjectBuilder(3)
            .type(kSingle)
            .text(TextField::Heading, test::numbered("Page "))
            .image(work.file(QStringLiteral("logo.gif")), "logo.gif")
            .write(projectPath);
    }

    CliRun upload(const QStringList& options, const QByteArray& password = test::SshServer::password())
    {
        return test::runCliProgram(
            QStringList{QStringLiteral("upload"), projectPath, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--user"),
                        QString::fromUtf8(test::SshServer::user()), QStringLiteral("--dir"),
                        QStringLiteral("www/site")} +
                options,
            {.workingDirectory = work.path(),
             .environment = {{QStringLiteral("VELMORA_FTP_PASSWORD"), password}},
             .unset = {QStringLiteral("SSH_AUTH_SOCK")}});
    }

    QStringList sftp(const QStringList& more = {}) const
    {
        return QStringList{QStringLiteral("--protocol"), QStringLiteral("sftp"), QStringLiteral("--known-hosts"),
                           knownHosts} +
               more;
    }

    QString remote(const QString& name) const { return server.home() + QStringLiteral("/www/site/") + name; }

    test::TempDir work;
    test::SshServer server;
    QString projectPath = work.file(QStringLiteral("site.kpj"));
    QString knownHosts = work.file(QStringLiteral("keys/known_hosts"));
    QByteArray image;
};

TEST_F(SftpUploadCommandTest, AnUnknownKeyIsRefusedNamingItsFingerprint)
{
    const CliRun run = upload(sftp());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith("Host key unknown: '127.0.0.1' (port " + QByteArray::number(server.port()) +
                                   ") offers the ED25519 key SHA256:"))
        << run.err.constData();
    EXPECT_TRUE(run.err.contains("--accept-new-host-key")) << run.err.constData();
    EXPECT_EQ(run.err.count('\n'), 1) << "one line";
    EXPECT_FALSE(QFile::exists(knownHosts));
    EXPECT_FALSE(QFile::exists(server.home() + QStringLiteral("/www")));

    // Where there is no folder for the file yet, the same.
    QDir(work.file(QStringLiteral("keys"))).removeRecursively();
    EXPECT_TRUE(upload(sftp()).err.startsWith("Host key unknown"));
    EXPECT_FALSE(QFile::exists(knownHosts));
}

TEST_F(SftpUploadCommandTest, AcceptingANewKeyRecordsItAndUploadsEveryFile)
{
    // The file's folder is made as well, for its owner alone.
    QDir(work.file(QStringLiteral("keys"))).removeRecursively();
    const CliRun run = upload(sftp({QStringLiteral("--accept-new-host-key")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QByteArray> printed = run.out.trimmed().split('\n');
    ASSERT_EQ(printed.size(), 4) << run.out.constData();
    EXPECT_EQ(printed[0], QByteArray("www/site/logo.gif"));
    EXPECT_EQ(test::readFile(remote(QStringLiteral("logo.gif"))), image);
    const QStringList pages = QDir(work.file(QStringLiteral("site"))).entryList({QStringLiteral("*.htm")});
    ASSERT_EQ(pages.size(), 3);
    for (const QString& page : pages) {
        EXPECT_TRUE(printed.contains("www/site/" + page.toUtf8()));
        EXPECT_EQ(test::readFile(remote(page)), test::readFile(work.file(QStringLiteral("site/") + page)));
    }
    EXPECT_EQ(test::readFile(knownHosts), server.knownHostsLine()) << "recorded as OpenSSH records it";
    EXPECT_EQ(QFile::permissions(work.file(QStringLiteral("keys"))) & 0x0077, 0) << "nobody else's";

    // Known now: the same call without the option goes through.
    EXPECT_EQ(upload(sftp()).exitCode, 0);
}

TEST_F(SftpUploadCommandTest, AChangedKeyIsRefusedWhateverTheOptions)
{
    QByteArray line = server.knownHostsLine();
    // The same type, another key: the recorded key's bytes altered.
    const qsizetype keyStart = line.indexOf("AAAA") + 40;
    line[keyStart] = line[keyStart] == 'A' ? 'B' : 'A';
    test::writeFile(knownHosts, line);
    const CliRun run = upload(sftp({QStringLiteral("--accept-new-host-key")}));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.startsWith("WARNING: the host key of '127.0.0.1' (port " +
                                   QByteArray::number(server.port()) + ") has changed!"))
        << run.err.constData();
    EXPECT_EQ(test::readFile(knownHosts), line);
    EXPECT_FALSE(QFile::exists(server.home() + QStringLiteral("/www")));
}

TEST_F(SftpUploadCommandTest, AWrongPasswordFailsInOneLine)
{
    test::writeFile(knownHosts, server.knownHostsLine());
    const CliRun run = upload(sftp(), "wrong");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err, QByteArray("Login failed: wrong password for user velmora-sftp, or no such user\n"));
}

TEST_F(SftpUploadCommandTest, HostKeyOptionsBelongToSftpAlone)
{
    for (const QStringList& options :
         {QStringList{QStringLiteral("--known-hosts"), knownHosts},
          QStringList{QStringLiteral("--accept-new-host-key")},
          QStringList{QStringLiteral("--protocol"), QStringLiteral("ftp"), QStringLiteral("--accept-new-host-key")},
          QStringList{QStringLiteral("--protocol"), QStringLiteral("scp")}}) {
        const CliRun run = upload(options);
        EXPECT_NE(run.exitCode, 0) << options.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("usage: velmora-cli upload")) << run.err.constData();
    }
}

}  // namespace
}  // namespace velmora
