// The pieces of passive and active mode, remote folders, RFC 959's
// multi-line replies and the trust the user gives a certificate.

#include <gtest/gtest.h>

#include "support/QtPrint.h"
#include "base/Errors.h"
#include "publish/ftp/DataChannel.h"
#include "publish/Publishing.h"
#include "publish/ftp/ReplyLines.h"
#include "publish/ServerTrust.h"
#include "publish/ftp/TlsSettings.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

TEST(PassiveReplyTest, TheExtendedPassivePortOfA229)
{
    const std::pair<const char*, std::optional<quint16>> cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)\r\n", 6446},
        {"229 Entering Extended Passive Mode (!!!1!)\r\n", 1},
        {"229 ok (|||65535|)", 65535},
        {"229 (|||0|)\r\n", std::nullopt},
        {"229 (|||65536|)\r\n", std::nullopt},
        {"229 (|||123456|)\r\n", std::nullopt},
        {"229 (||6446|)\r\n", std::nullopt},
        {"229 (|||6446)\r\n", std::nullopt},
        {"229 (|||6446", std::nullopt},
        {"229 (1116461)\r\n", std::nullopt},
        {"229 Entering Extended Passive Mode\r\n", std::nullopt},
        {"229 (", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [reply, port] : cases) EXPECT_EQ(extendedPassivePort(reply), port) << reply;
}

TEST(PassiveReplyTest, ThePortOfA227WhateverItsAddress)
{
    const std::pair<const char*, std::optional<quint16>> cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,26)\r\n", 1050},
        {"227 Entering Passive Mode (10,99,98,97,0,255)\r\n", 255},
        {"227 =192,168,1,5,200,13\r\n", 200 * 256 + 13},
        {"227 Entering Passive Mode 1,2,3,4,5,6\r\n", 5 * 256 + 6},
        {"227 (256,0,0,1,4,26)\r\n", std::nullopt},
        {"227 (127,0,0,1,4,260)\r\n", std::nullopt},
        {"227 (127,0,0,1,0,0)\r\n", std::nullopt},
        {"227 (127,0,0,1,4)\r\n", std::nullopt},
        {"227 (1270,0,0,1,4,26)\r\n", std::nullopt},
        {"227 Entering Passive Mode\r\n", std::nullopt},
        {"227", std::nullopt},
        // Six numbers after five that do not make an address.
        {"227 (1,2,3) then (9,9,9,9,1,1)\r\n", 257},
    };
    for (const auto& [reply, port] : cases) EXPECT_EQ(passivePort(reply), port) << reply;
}

TEST(ActiveModeCommandTest, PortForIPv4AndEprtForIPv6)
{
    EXPECT_EQ(activeModeCommand(QHostAddress(QStringLiteral("192.168.1.5")), 1050),
              QByteArray("PORT 192,168,1,5,4,26"));
    EXPECT_EQ(activeModeCommand(QHostAddress(QStringLiteral("::1")), 1050),
              QByteArray("EPRT |2|::1|1050|"));
    EXPECT_EQ(activeModeCommand(QHostAddress(QStringLiteral("fe80::1%lo")), 21),
              QByteArray("EPRT |2|fe80::1|21|"))
        << "no scope: it means nothing to the server";
}

TEST(RemoteDirectoryLevelsTest, EachFolderOutermostFirst)
{
    const std::pair<QByteArray, QList<QByteArray>> cases[] = {
        {"", {}},
        {"www/", {"www"}},
        {"www/docs/", {"www", "www/docs"}},
        {"a/b/c/", {"a", "a/b", "a/b/c"}},
        {"/pub/", {"/pub"}},
        {"a//b/", {"a", "a//b"}},
        {"./a/../b/", {"./a", "./a/../b"}},
        // Only "/" separates: a backslash is part of a name.
        {"pub\\", {}},
        {"pub\\x/", {"pub\\x"}},
        {"www/docs", {"www"}},
    };
    for (const auto& [directory, levels] : cases)
        EXPECT_EQ(RemoteDirectoryLevels(directory), levels) << directory.constData();
}

TEST(MultiLineReplyTest, OpenedByCodeAndDashClosedByTheSameCodeAndABlank)
{
    EXPECT_TRUE(opensMultiLineReply("220-Welcome\r\n"));
    EXPECT_TRUE(opensMultiLineReply("999-"));
    EXPECT_FALSE(opensMultiLineReply("220 Ready\r\n"));
    EXPECT_FALSE(opensMultiLineReply("22-x\r\n"));
    EXPECT_FALSE(opensMultiLineReply("abc-rest\r\n"));
    EXPECT_FALSE(opensMultiLineReply(" 220-x\r\n"));

    EXPECT_TRUE(closesMultiLineReply("220 Ready\r\n", "220"));
    EXPECT_TRUE(closesMultiLineReply("220\r\n", "220"));
    EXPECT_TRUE(closesMultiLineReply("220\n", "220"));
    EXPECT_TRUE(closesMultiLineReply("220", "220"));
    EXPECT_FALSE(closesMultiLineReply("220-more\r\n", "220"));
    EXPECT_FALSE(closesMultiLineReply("230 Ready\r\n", "220"));
    EXPECT_FALSE(closesMultiLineReply("2200 x\r\n", "220"));
    EXPECT_FALSE(closesMultiLineReply(" 220 x\r\n", "220"));
    EXPECT_FALSE(closesMultiLineReply("Please behave.\r\n", "220"));
}

TEST(ServerTrustTest, OneFingerprintPerHostAndPortNewestFirst)
{
    test::TempDir dir;
    const SettingsFile settings(dir.file(QStringLiteral("velmora.ini")));
    const ServerTrust trust(settings);
    const QByteArray a = QByteArray(32, '\xab').toHex(':').toUpper();
    const QByteArray b = QByteArray(32, '\x01').toHex(':').toUpper();
    EXPECT_TRUE(trust.fingerprint(QStringLiteral("ftp.example.com"), 21).isEmpty());

    trust.remember(QStringLiteral("ftp.example.com"), 21, a);
    trust.remember(QStringLiteral("ftp.example.com"), 990, b);
    EXPECT_EQ(trust.fingerprint(QStringLiteral("FTP.Example.com"), 21), a) << "names ignore case";
    EXPECT_EQ(trust.fingerprint(QStringLiteral("ftp.example.com"), 990), b);
    EXPECT_TRUE(trust.fingerprint(QStringLiteral("other.example.com"), 21).isEmpty());

    // A new answer for the same host replaces the old one.
    trust.remember(QStringLiteral("ftp.example.com"), 21, b);
    EXPECT_EQ(trust.fingerprint(QStringLiteral("ftp.example.com"), 21), b);
    EXPECT_EQ(settings.read("FTP", "TRUSTED_CERTS", {}).count("ftp.example.com:21="), 1);

    // Hosts that would break the list are not stored.
    trust.remember(QStringLiteral("a b"), 21, a);
    trust.remember(QStringLiteral("a=b"), 21, a);
    trust.remember(QStringLiteral("host"), 21, "not a fingerprint");
    EXPECT_EQ(settings.read("FTP", "TRUSTED_CERTS", {}).count('='), 2);

    // Many hosts: the value keeps within its 1023 bytes, the newest kept.
    for (int i = 0; i < 40; ++i)
        trust.remember(QStringLiteral("host%1.example.com").arg(i), 21, a);
    EXPECT_LE(settings.read("FTP", "TRUSTED_CERTS", {}).size(), SettingsFile::kMaxValueLength);
    EXPECT_EQ(trust.fingerprint(QStringLiteral("host39.example.com"), 21), a);
    EXPECT_TRUE(trust.fingerprint(QStringLiteral("host0.example.com"), 21).isEmpty());

    // A hand-edited entry that is no fingerprint trusts nothing.
    settings.write("FTP", "TRUSTED_CERTS", "evil:21=XYZ evil:22=");
    EXPECT_TRUE(trust.fingerprint(QStringLiteral("evil"), 21).isEmpty());
    EXPECT_TRUE(trust.fingerprint(QStringLiteral("evil"), 22).isEmpty());
}

TEST(CertificateFileTest, ReadsEveryPemCertificateAndRefusesTheRest)
{
    test::TempDir dir;
    EXPECT_THROW(readCertificateFile(dir.file(QStringLiteral("none.pem"))), FileError);
    dir.write(QStringLiteral("junk.pem"), "-----BEGIN CERTIFICATE-----\nnonsense\n");
    EXPECT_THROW(readCertificateFile(dir.file(QStringLiteral("junk.pem"))), FileError);
    dir.write(QStringLiteral("huge.pem"), QByteArray(5 * 1024 * 1024, 'A'));
    EXPECT_THROW(readCertificateFile(dir.file(QStringLiteral("huge.pem"))), FileError);
    EXPECT_TRUE(certificateFingerprint(QSslCertificate()).isEmpty());
}

}  // namespace
}  // namespace velmora
