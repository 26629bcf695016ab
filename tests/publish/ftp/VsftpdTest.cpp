// Publishing to a real vsftpd, started by the test on 127.0.0.1 with its
// own configuration: passive mode against a server that refuses PORT,
// explicit FTPS in both modes with TLS forced on the login and the data,
// session reuse required and uploads that must end in a TLS close, the
// certificate checks, and remote folders made level by level.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSslCertificate>

#include "support/QtPrint.h"
#include "support/VsftpdServer.h"
#include "publish/FtpErrors.h"
#include "publish/PublisherFactory.h"
#include "publish/ftp/TlsSettings.h"
#include "publish/ftp/VexFTP.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::VsftpdOptions;
using test::VsftpdServer;

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(seed);
    for (char& c : bytes) c = static_cast<char>(generator.bounded(256));
    return bytes;
}

const test::TestCertificates& certificates()
{
    static const test::TestCertificates made;
    return made;
}

QByteArray serverFingerprint()
{
    QFile file(certificates().certificateFile());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return certificateFingerprint(QSslCertificate(file.readAll(), QSsl::Pem));
}

class VsftpdTest : public ::testing::Test {
protected:
    void start(VsftpdOptions options)
    {
        if (options.tls) {
            ASSERT_TRUE(certificates().isValid()) << certificates().error().toStdString();
            options.certificateFile = certificates().certificateFile();
            options.keyFile = certificates().keyFile();
        }
        server = std::make_unique<VsftpdServer>(root.path(), options);
        ASSERT_TRUE(server->isRunning()) << server->error().toStdString();
    }

    PublishDestination destination(PublishProtocol protocol, bool passive) const
    {
        PublishDestination d;
        d.protocol = protocol;
        d.host = QStringLiteral("127.0.0.1");
        d.port = server->port();
        d.user = VsftpdServer::kUser;
        d.password = VsftpdServer::kPassword;
        d.passive = passive;
        d.timeOutMs = 10000;
        return d;
    }

    // Files of every kind a Send carries: pages, an image, an empty file,
    // and one large enough to take many chunks and TLS records.
    std::vector<UploadItem> files(const QByteArray& directory)
    {
        contents = {
            {"index.htm", "<html>index</html>\r\n"},
            {"logo.gif", "GIF89a\r\n\0\x01\x02\r\n\n" + randomBytes(5000, 1)},
            {"empty.htm", QByteArray()},
            {"large.bin", randomBytes(3 * 1024 * 1024 + 17, 2)},
        };
        std::vector<UploadItem> plan;
        for (const auto& [name, bytes] : contents) {
            local.write(QString::fromLatin1(name), bytes);
            plan.push_back({UploadItem::Kind::Page,
                            QFile::encodeName(local.file(QString::fromLatin1(name))),
                            directory + name});
        }
        return plan;
    }

    void expectStored(const QByteArray& directory)
    {
        for (const auto& [name, bytes] : contents) {
            const QString path = root.file(QString::fromLatin1(directory + name));
            EXPECT_TRUE(test::readFile(path) == bytes) << path.toStdString();
        }
    }

    test::TempDir root;   // the server's files
    test::TempDir local;  // the files to send
    std::unique_ptr<VsftpdServer> server;
    std::vector<std::pair<QByteArray, QByteArray>> contents;
};

TEST_F(VsftpdTest, PassiveModeWorksWhereTheServerRefusesPort)
{
    start({.portEnabled = false});
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pub")));
    const std::vector<UploadItem> plan = files("pub/");

    PublishDestination active = destination(PublishProtocol::Ftp, false);
    active.directory = "pub";
    try {
        makePublisher(active)->publish(plan);
        FAIL() << "active mode went through a server that refuses PORT";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("passive mode"))) << e.text().toStdString();
        EXPECT_TRUE(e.reply().startsWith("5")) << e.reply().constData();
    }

    PublishDestination passive = active;
    passive.passive = true;
    const auto publisher = makePublisher(passive);
    QList<int> confirmed;
    QObject::connect(publisher.get(), &Publisher::fileConfirmed,
                     [&](int index) { confirmed << index; });
    publisher->publish(plan);
    std::sort(confirmed.begin(), confirmed.end());  // sessions side by side
    EXPECT_EQ(confirmed, (QList<int>{0, 1, 2, 3}));
    expectStored("pub/");
    EXPECT_TRUE(server->commands().contains("EPSV"));
}

TEST_F(VsftpdTest, AnUntrustedCertificateIsRefusedBeforeUser)
{
    start({.tls = true});
    const std::vector<UploadItem> plan = files("");
    PublishDestination d = destination(PublishProtocol::Ftps, true);
    try {
        makePublisher(d)->publish(plan);
        FAIL() << "a certificate from an unknown issuer was taken";
    } catch (const UntrustedServerError& e) {
        EXPECT_EQ(e.fingerprint(), serverFingerprint());
        EXPECT_TRUE(e.text().contains(QStringLiteral("certificate is not trusted")));
        EXPECT_TRUE(e.text().contains(QString::fromLatin1(serverFingerprint())));
    }
    EXPECT_EQ(server->commands(), QList<QByteArray>{"AUTH TLS"}) << "nothing after the handshake";

    // The user's trust in exactly this certificate lets it through; a
    // fingerprint of another does not.
    d.trustedFingerprint = QByteArray(32, '\x11').toHex(':').toUpper();
    EXPECT_THROW(makePublisher(d)->publish(plan), UntrustedServerError);
    d.trustedFingerprint = serverFingerprint();
    makePublisher(d)->publish(plan);
    expectStored("");
}

TEST_F(VsftpdTest, TheHostNameMustMatchTheCertificate)
{
    start({.tls = true});
    PublishDestination d = destination(PublishProtocol::Ftps, true);
    d.caFile = certificates().caFile();
    const std::vector<UploadItem> plan = files("");
    // Issued for localhost and 127.0.0.1: both pass.
    makePublisher(d)->publish(plan);
    d.host = QStringLiteral("localhost");
    makePublisher(d)->publish(plan);

    // A certificate from the same trusted issuer for another name does not.
    server.reset();
    VsftpdOptions other{.tls = true};
    other.certificateFile = certificates().otherNameFile();
    other.keyFile = certificates().keyFile();
    server = std::make_unique<VsftpdServer>(root.path(), other);
    ASSERT_TRUE(server->isRunning()) << server->error().toStdString();
    d.port = server->port();
    try {
        makePublisher(d)->publish(plan);
        FAIL() << "a certificate for another name was taken";
    } catch (const UntrustedServerError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("host name"))) << e.text().toStdString();
    }
    EXPECT_EQ(server->commands(), QList<QByteArray>{"AUTH TLS"});
}

TEST_F(VsftpdTest, MissingFoldersAreMadeLevelByLevel)
{
    start({});
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("www")));
    PublishDestination d = destination(PublishProtocol::Ftp, true);
    d.directory = "www/a/b/c";
    const std::vector<UploadItem> plan = files("www/a/b/c/");
    makePublisher(d)->publish(plan);
    expectStored("www/a/b/c/");
    const QList<QByteArray> commands = server->commands();
    EXPECT_EQ(commands.mid(commands.indexOf(QByteArray("MKD www")), 4),
              (QList<QByteArray>{"MKD www", "MKD www/a", "MKD www/a/b", "MKD www/a/b/c"}));
    // Again, with every level there: the refusals change nothing.
    makePublisher(d)->publish(plan);
    expectStored("www/a/b/c/");
}

class VsftpdTlsTest : public VsftpdTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VsftpdTlsTest, ExplicitTlsWithSessionReuseAndTlsCloseOnEveryDataConnection)
{
    start({.tls = true});
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pub")));
    PublishDestination d = destination(PublishProtocol::Ftps, GetParam());
    d.directory = "pub";
    d.caFile = certificates().caFile();
    const std::vector<UploadItem> plan = files("pub/");
    makePublisher(d)->publish(plan);
    expectStored("pub/");
    // Twice over one login: every data connection resumes the session.
    makePublisher(d)->publish(plan);
    expectStored("pub/");

    const QList<QByteArray> commands = server->commands();
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.first(), QByteArray("AUTH TLS"));
    const qsizetype user = commands.indexOf(QByteArray("USER anonymous"));
    const qsizetype protect = commands.indexOf(QByteArray("PROT P"));
    EXPECT_GT(user, 0);
    EXPECT_GT(protect, user) << "PBSZ and PROT after the login";
    const QByteArray dataCommand = GetParam() ? "EPSV" : "PORT 127,0,0,1,";
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [&](const QByteArray& c) { return c.startsWith(dataCommand); }),
              8);
    // 522: "SSL connection failed: session reuse required".
    EXPECT_FALSE(server->log().contains("\"522 ")) << server->log().constData();
}

INSTANTIATE_TEST_SUITE_P(Modes, VsftpdTlsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Passive" : "Active");
                         });

}  // namespace
}  // namespace velmora
