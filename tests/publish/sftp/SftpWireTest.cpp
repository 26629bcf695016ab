// The SFTP wire format, remote paths and host-key texts, without a server.

#include <gtest/gtest.h>

#include <QProcess>
#include <QtEndian>

#include "support/QtPrint.h"
#include "support/SshServer.h"
#include "publish/sftp/SftpSession.h"
#include "publish/sftp/SftpUploader.h"
#include "publish/sftp/SftpWire.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using namespace sftp;

QByteArray be32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray str(const QByteArray& bytes) { return be32(quint32(bytes.size())) + bytes; }

// A whole packet of a type around a body.
QByteArray packet(quint8 type, const QByteArray& body)
{
    return be32(quint32(body.size() + 1)) + char(type) + body;
}

Packet body(quint8 type, const QByteArray& bytes) { return {type, bytes}; }

TEST(SftpWire, RequestsCarryTheirLengthTypeAndFields)
{
    const QByteArray open = openRequest(7, "a/b.htm", kOpenWrite | kOpenCreate | kOpenExclusive);
    EXPECT_EQ(open, packet(kOpen, be32(7) + str("a/b.htm") + be32(0x2a) + be32(0)));
    EXPECT_EQ(initRequest(), packet(kInit, be32(3)));
    EXPECT_EQ(posixRenameRequest(9, "t", "f"),
              packet(kExtended, be32(9) + str("posix-rename@openssh.com") + str("t") + str("f")));
    EXPECT_EQ(pathRequest(kRemove, 1, "x"), packet(kRemove, be32(1) + str("x")));
}

TEST(SftpWire, AWriteHeadCountsTheDataThatFollowsIt)
{
    const QByteArray data(1000, 'd');
    const QByteArray whole = writeRequestHead(5, "HANDLE", 0x1'0000'0002ull, quint32(data.size())) + data;
    QByteArray expectedBody = be32(5) + str("HANDLE");
    expectedBody += be32(1) + be32(2);  // the 64-bit offset
    expectedBody += str(data);
    EXPECT_EQ(whole, packet(kWrite, expectedBody));
}

TEST(SftpWire, PacketsAreCutFromAStreamWhateverItsPieces)
{
    const QByteArray stream = packet(kStatus, be32(1) + be32(0) + str("ok") + str("")) +
                              packet(kHandle, be32(2) + str("h1")) + packet(kVersion, be32(3));
    for (qsizetype piece : {qsizetype(1), qsizetype(3), qsizetype(7), stream.size()}) {
        PacketAssembler assembler;
        QList<quint8> types;
        for (qsizetype at = 0; at < stream.size(); at += piece) {
            assembler.append(stream.constData() + at, std::min(piece, stream.size() - at));
            while (std::optional<Packet> next = assembler.next()) types << next->type;
        }
        EXPECT_EQ(types, (QList<quint8>{kStatus, kHandle, kVersion})) << "pieces of " << piece;
        EXPECT_EQ(assembler.buffered(), 0);
        EXPECT_FALSE(assembler.broken());
    }
}

TEST(SftpWire, AnImpossibleLengthBreaksTheStreamForGood)
{
    for (quint32 length : {0u, kMaxPacketLength + 1, 0xffffffffu}) {
        PacketAssembler assembler;
        const QByteArray bytes = be32(length) + QByteArray(64, 'x');
        assembler.append(bytes.constData(), bytes.size());
        EXPECT_EQ(assembler.next(), std::nullopt);
        EXPECT_TRUE(assembler.broken()) << length;
        const QByteArray more = packet(kStatus, be32(1) + be32(0));
        assembler.append(more.constData(), more.size());
        EXPECT_EQ(assembler.next(), std::nullopt);
    }
}

TEST(SftpWire, RepliesAreReadOnlyWhenTheyFit)
{
    const std::optional<StatusReply> status =
        parseStatus(body(kStatus, be32(4) + be32(kPermissionDenied) + str("Permission denied") + str("en")));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->id, 4u);
    EXPECT_EQ(status->code, quint32(kPermissionDenied));
    EXPECT_EQ(status->message, QByteArray("Permission denied"));
    // Version 3 lets a server leave out the message.
    EXPECT_TRUE(parseStatus(body(kStatus, be32(4) + be32(0))));
    // Too short, or a message longer than the packet, or the wrong type.
    EXPECT_FALSE(parseStatus(body(kStatus, be32(4) + QByteArray(2, '\0'))));
    EXPECT_FALSE(parseStatus(body(kStatus, be32(4) + be32(0) + be32(1000) + "abc")));
    EXPECT_FALSE(parseStatus(body(kHandle, be32(4) + be32(0))));

    EXPECT_EQ(parseHandle(body(kHandle, be32(1) + str("abc"))), QByteArray("abc"));
    EXPECT_FALSE(parseHandle(body(kHandle, be32(1) + str(""))));
    EXPECT_FALSE(parseHandle(body(kHandle, be32(1) + str(QByteArray(257, 'h')))));

    EXPECT_EQ(replyId(body(kStatus, be32(77))), 77u);
    EXPECT_FALSE(replyId(body(kStatus, "ab")));
}

TEST(SftpWire, AttributesSkipWhatTheyDoNotNeedAndRefuseWhatIsMissing)
{
    QByteArray attrs = be32(1) + be32(kAttrSize | kAttrUidGid | kAttrPermissions | kAttrTimes | kAttrExtended);
    attrs += be32(0) + be32(99);            // size
    attrs += be32(1000) + be32(1000);       // uid, gid
    attrs += be32(040755);                  // a folder
    attrs += be32(1) + be32(2);             // times
    attrs += be32(1) + str("n") + str("v");  // one extension
    const std::optional<Attributes> folder = parseAttrs(body(kAttrs, attrs));
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->size, 99u);
    EXPECT_TRUE(folder->isDirectory());
    EXPECT_FALSE(parseAttrs(body(kAttrs, be32(1) + be32(kAttrPermissions) + be32(0100644)))->isDirectory());
    // No permissions: not known to be a folder.
    EXPECT_FALSE(parseAttrs(body(kAttrs, be32(1) + be32(0)))->isDirectory());
    // A count of extensions that the packet cannot hold ends at once.
    EXPECT_FALSE(parseAttrs(body(kAttrs, be32(1) + be32(kAttrExtended) + be32(0xffffffffu))));
    EXPECT_FALSE(parseAttrs(body(kAttrs, be32(1) + be32(kAttrSize) + be32(0))));
}

TEST(SftpWire, TheVersionListsExtensionsAndStatvfsGivesTheRoomLeft)
{
    const std::optional<VersionReply> version = parseVersion(
        body(kVersion, be32(3) + str("posix-rename@openssh.com") + str("1") + str("limits@openssh.com") + str("1")));
    ASSERT_TRUE(version);
    EXPECT_TRUE(version->hasExtension("posix-rename@openssh.com", "1"));
    EXPECT_FALSE(version->hasExtension("posix-rename@openssh.com", "2"));
    EXPECT_FALSE(version->hasExtension("statvfs@openssh.com", "2"));
    EXPECT_FALSE(parseVersion(body(kVersion, be32(3) + str("name-without-data"))));

    QByteArray statvfs = be32(3);
    for (quint64 field : {4096ull, 1024ull, 1000ull, 10ull, 7ull, 1ull, 1ull, 1ull, 1ull, 1ull, 255ull}) {
        QByteArray eight(8, '\0');
        qToBigEndian(field, eight.data());
        statvfs += eight;
    }
    const std::optional<FileSystemSpace> space = parseStatvfs(body(kExtendedReply, statvfs));
    ASSERT_TRUE(space);
    EXPECT_EQ(space->bytesAvailable(), 7u * 1024u) << "counted in fragment-size blocks";
    EXPECT_FALSE(parseStatvfs(body(kExtendedReply, statvfs.left(statvfs.size() - 1))));
    EXPECT_EQ((FileSystemSpace{1ull << 40, 1ull << 40}).bytesAvailable(), ~0ull) << "no overflow";
}

// ---------------------------------------------------------- remote paths

TEST(SftpPaths, FoldersAndTheirLevels)
{
    EXPECT_EQ(remoteFolderOf("page.htm"), QByteArray());
    EXPECT_EQ(remoteFolderOf("/page.htm"), QByteArray("/"));
    EXPECT_EQ(remoteFolderOf("a/b/page.htm"), QByteArray("a/b"));
    EXPECT_EQ(remoteFolderOf("/srv/www/page.htm"), QByteArray("/srv/www"));

    EXPECT_EQ(remoteFolderLevels("a/b/c"), (QList<QByteArray>{"a", "a/b", "a/b/c"}));
    EXPECT_EQ(remoteFolderLevels("/srv//www/"), (QList<QByteArray>{"/srv", "/srv/www"}));
    EXPECT_EQ(remoteFolderLevels("/"), QList<QByteArray>());
    EXPECT_EQ(remoteFolderLevels(""), QList<QByteArray>());
}

TEST(SftpPaths, StatusWordsPreferTheCodeAndHideOpenSshsBareFailure)
{
    EXPECT_EQ(describeStatus({1, kPermissionDenied, "whatever"}), QStringLiteral("permission denied"));
    EXPECT_EQ(describeStatus({1, kNoSpaceOnFilesystem, ""}), QStringLiteral("the server's disk is full"));
    EXPECT_EQ(describeStatus({1, kFailure, "Failure"}), QStringLiteral("the server refused (SFTP status 4)"));
    EXPECT_EQ(describeStatus({1, kFailure, "Read-only file system"}),
              QStringLiteral("the server said: Read-only file system"));
}

// -------------------------------------------------------------- host keys

TEST(SftpHostKeys, TheFingerprintIsOpenSshs)
{
    test::TempDir dir;
    const QString key = dir.file(QStringLiteral("key"));
    ASSERT_TRUE(test::runTool(QStringLiteral("ssh-keygen"),
                              {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("rsa"),
                               QStringLiteral("-b"), QStringLiteral("2048"), QStringLiteral("-N"), QString(),
                               QStringLiteral("-f"), key}));
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-l"), QStringLiteral("-E"),
                                                QStringLiteral("sha256"), QStringLiteral("-f"),
                                                key + QStringLiteral(".pub")});
    ASSERT_TRUE(keygen.waitForFinished(10000));
    const QByteArray theirs = keygen.readAllStandardOutput().split(' ').value(1);
    const QByteArray blob = QByteArray::fromBase64(dir.read(QStringLiteral("key.pub")).split(' ').value(1));
    EXPECT_EQ(sha256Fingerprint(blob), QString::fromLatin1(theirs));
    EXPECT_FALSE(sha256Fingerprint(blob).endsWith(u'=')) << "no padding";
}

TEST(SftpHostKeys, TheTextsNameHostPortKeyAndFile)
{
    const HostKeyQuestion on22{QStringLiteral("example.org"), 22, QStringLiteral("ED25519"),
                               QStringLiteral("SHA256:abc"), QStringLiteral("/home/u/.ssh/known_hosts")};
    EXPECT_TRUE(unknownHostKeyQuestion(on22).startsWith(
        QStringLiteral("The authenticity of host 'example.org' can't be established.\n"
                       "ED25519 key fingerprint is SHA256:abc.\n")));
    HostKeyQuestion onOther = on22;
    onOther.port = 2222;
    EXPECT_TRUE(unknownHostKeyRefusal(onOther).contains(QStringLiteral("'example.org' (port 2222)")));
    EXPECT_TRUE(changedHostKeyWarning(onOther).contains(QStringLiteral("/home/u/.ssh/known_hosts")));
}

}  // namespace
}  // namespace velmora
