// The FTP client and the publishing step against a real FTP server:
// pyftpdlib, started by the test on 127.0.0.1.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "support/PyFtpServer.h"
#include "support/QtPrint.h"
#include "publish/FtpErrors.h"
#include "publish/Publishing.h"
#include "publish/ftp/VexFTP.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

// A GIF-like image: its header, then bytes with CR LF pairs, lone CRs and
// LFs and zero bytes, all of which an ASCII-type transfer would alter.
QByteArray imageBytes()
{
    QByteArray bytes = QByteArray("GIF89a\x10\x00\x10\x00\x80\x00\x00", 13);
    for (int i = 0; i < 4000; ++i) {
        bytes += char(i % 256);
        if (i % 7 == 0) bytes += "\r\n";
        if (i % 11 == 0) bytes += QByteArray(3, '\0');
        if (i % 13 == 0) bytes += '\n';
        if (i % 17 == 0) bytes += '\r';
    }
    return bytes;
}

class PyFtpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pub")));
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("www/docs")));
        ASSERT_TRUE(server.isRunning());
        ftp.Host = QStringLiteral("127.0.0.1");
        ftp.Port = server.port();
        ftp.UserID = "alice";
        ftp.Password = "secret";
        ftp.TimeOut = 10000;
        ftp.OnConnect = [this](TPowersock&) { events << QStringLiteral("connect"); };
        ftp.OnDisconnect = [this](TPowersock&) { events << QStringLiteral("disconnect"); };
        ftp.OnSuccess = [this](TCmdType type) {
            events << QStringLiteral("success %1").arg(static_cast<int>(type));
        };
    }

    QByteArray stored(const QString& name) { return test::readFile(root.file(name)); }

    test::TempDir root;  // the server's files
    test::TempDir local;  // the client's files
    test::PyFtpServer server{root.path()};
    TVexFTP ftp;
    QStringList events;
};

TEST_F(PyFtpTest, LogsInWithAPassword)
{
    QStringList protocol;
    ftp.ReportLevel = 1;
    ftp.OnStatus = [&](TPowersock&, const QString& text) { protocol << text; };
    ftp.Connect();
    EXPECT_TRUE(ftp.Connected());
    EXPECT_TRUE(protocol.contains(QStringLiteral("PASS ")));
    EXPECT_FALSE(protocol.contains(QStringLiteral("PASS secret"))) << "the password is never shown";
    ftp.Disconnect();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(events, (QStringList{QStringLiteral("connect"), QStringLiteral("disconnect")}));
    EXPECT_TRUE(protocol.last().startsWith(QStringLiteral("221")));
}

TEST_F(PyFtpTest, LogsInWithoutAPasswordWhenUserIsAnsweredWith230)
{
    QStringList protocol;
    ftp.ReportLevel = 1;
    ftp.OnStatus = [&](TPowersock&, const QString& text) { protocol << text; };
    ftp.UserID = "nopass";
    ftp.Password = "";
    ftp.Connect();
    EXPECT_TRUE(ftp.Connected());
    EXPECT_EQ(events, QStringList{QStringLiteral("connect")});
    EXPECT_TRUE(protocol.contains(QStringLiteral("USER nopass")));
    EXPECT_FALSE(protocol.contains(QStringLiteral("PASS "))) << "230 to USER: no PASS";
    ftp.Disconnect();
}

TEST_F(PyFtpTest, ARefusedPasswordClosesTheConnectionAndRaisesTheReply)
{
    ftp.Password = "wrong";
    try {
        ftp.Connect();
        FAIL() << "the login was accepted";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.reply().startsWith("530 ")) << e.reply().constData();
        EXPECT_TRUE(e.reply().endsWith("\r\n"));
    }
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(events, QStringList{QStringLiteral("disconnect")});

    ftp.Password = "secret";
    ftp.Connect();
    EXPECT_TRUE(ftp.Connected());
}

TEST_F(PyFtpTest, ThreePagesSharingOneImageGiveFourUploads)
{
    const QByteArray image = imageBytes();
    local.write(QStringLiteral("logo.gif"), image);
    PageList pages;
    for (int i = 1; i <= 3; ++i) {
        PageRecord& page = pages.append();
        const QByteArray name = "page" + QByteArray::number(i) + ".htm";
        page.setText(TextField::PageFolder, QFile::encodeName(local.path()) + '/');
        page.setText(TextField::Edit2, name);
        page.setText(TextField::ImageSource,
                     QFile::encodeName(local.file(QStringLiteral("logo.gif"))));
        page.setText(TextField::Image,
                     i == 1 ? QByteArray("logo.gif") : "copy" + QByteArray::number(i) + ".gif");
        local.write(QString::fromLatin1(name),
                    "<html>page " + QByteArray::number(i) + "</html>\r\n");
    }
    const auto plan = PlanUploads(pages, NormalisedRemoteDirectory("pub")).items;
    ftp.Connect();
    QList<QByteArray> started;
    UploadPlan(ftp, plan, [&](const UploadItem& item, int, int) { started << item.remoteName; });
    ftp.Disconnect();

    EXPECT_EQ(started, (QList<QByteArray>{"pub/logo.gif", "pub/page1.htm", "pub/page2.htm",
                                          "pub/page3.htm"}));
    EXPECT_EQ(events.count(QStringLiteral("success 9")), 4);
    EXPECT_EQ(QDir(root.file(QStringLiteral("pub"))).entryList(QDir::Files),
              (QStringList{QStringLiteral("logo.gif"), QStringLiteral("page1.htm"),
                           QStringLiteral("page2.htm"), QStringLiteral("page3.htm")}));
    EXPECT_TRUE(stored(QStringLiteral("pub/logo.gif")) == image);
    EXPECT_EQ(stored(QStringLiteral("pub/page2.htm")), QByteArray("<html>page 2</html>\r\n"));
}

TEST_F(PyFtpTest, BinaryFilesArriveByteIdentical)
{
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i) everyByte += char(i);
    QByteArray random(1024 * 1024 + 17, '\0');
    QRandomGenerator generator(42);
    for (char& c : random) c = static_cast<char>(generator.bounded(256));
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("image.gif"), imageBytes()},
        {QStringLiteral("bytes.bin"), everyByte.repeated(20)},
        {QStringLiteral("crlf.txt"), QByteArray("line\r\n").repeated(1000)},
        {QStringLiteral("random.bin"), random},
        {QStringLiteral("empty.bin"), QByteArray()},
    };
    ftp.Connect();
    for (const auto& [name, bytes] : files) {
        local.write(name, bytes);
        ftp.Upload(local.file(name), QByteArray());  // stored under its own name
    }
    ftp.Disconnect();
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(QFileInfo(root.file(name)).size(), bytes.size()) << name.toStdString();
        EXPECT_TRUE(stored(name) == bytes) << name.toStdString();
    }
}

// The byte-identical check above is no formality: the same upload without
// the image type comes back altered from this server.
TEST_F(PyFtpTest, WithoutTheImageTypeTheServerWouldAlterTheFile)
{
    class AsciiClient : public TVexFTP {
    public:
        QByteArray Transaction(const QByteArray& command) override
        {
            return TVexFTP::Transaction(command == "TYPE I" ? QByteArray("NOOP") : command);
        }
    };
    AsciiClient ascii;
    ascii.Host = ftp.Host;
    ascii.Port = ftp.Port;
    ascii.UserID = ftp.UserID;
    ascii.Password = ftp.Password;
    ascii.TimeOut = ftp.TimeOut;
    const QByteArray image = imageBytes();
    local.write(QStringLiteral("logo.gif"), image);
    ascii.Connect();
    ascii.Upload(local.file(QStringLiteral("logo.gif")), "ascii.gif");
    ascii.Disconnect();
    EXPECT_LT(stored(QStringLiteral("ascii.gif")).size(), image.size());
}

TEST_F(PyFtpTest, RemoteDirectoryForms)
{
    struct Case {
        QByteArray directory;
        QString storedAs;
    };
    const Case cases[] = {
        {"", QStringLiteral("index.htm")},
        {"pub", QStringLiteral("pub/index.htm")},
        {"pub/", QStringLiteral("pub/index.htm")},
        {"/pub", QStringLiteral("pub/index.htm")},
        {"www/docs", QStringLiteral("www/docs/index.htm")},
        // Left as the user wrote it: on this server a plain part of the name.
        {"pub\\", QStringLiteral("pub\\index.htm")},
    };
    local.write(QStringLiteral("index.htm"), "<html></html>");
    ftp.Connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory.constData());
        QFile::remove(root.file(c.storedAs));
        ftp.Upload(local.file(QStringLiteral("index.htm")),
                   NormalisedRemoteDirectory(c.directory) + "index.htm");
        EXPECT_EQ(stored(c.storedAs), QByteArray("<html></html>"));
    }
    ftp.Disconnect();
}

TEST_F(PyFtpTest, AMissingPageFileFailsBeforePortAndTheConnectionStays)
{
    const QString missing = local.file(QStringLiteral("missing.htm"));
    ftp.Connect();
    try {
        ftp.Upload(missing, "missing.htm");
        FAIL() << "a missing file was uploaded";
    } catch (const FileError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Cannot open file ") + missing);
    }
    EXPECT_TRUE(ftp.Connected());
    EXPECT_FALSE(QFile::exists(root.file(QStringLiteral("missing.htm"))));
    local.write(QStringLiteral("there.htm"), "here");
    ftp.Upload(local.file(QStringLiteral("there.htm")), "there.htm");
    ftp.Disconnect();
    EXPECT_EQ(stored(QStringLiteral("there.htm")), QByteArray("here"));
}

}  // namespace
}  // namespace velmora
