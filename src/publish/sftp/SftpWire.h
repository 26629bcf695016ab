#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <cstdint>
#include <optional>

// The SFTP protocol, version 3 (the one OpenSSH speaks), as bytes: requests
// are built here and the server's replies are taken apart here, with every
// length checked, since a server's bytes are untrusted. No I/O happens here.
// The packets are our own rather than libssh's sftp_* calls because the
// libssh Debian ships (0.10) writes a file only one request at a time:
// without asynchronous writes a publish would wait a round trip for every
// chunk, where our own packets keep many writes in flight.
namespace velmora::sftp {

enum PacketType : quint8 {
    kInit = 1,
    kVersion = 2,
    kOpen = 3,
    kClose = 4,
    kWrite = 6,
    kFstat = 8,
    kOpendir = 11,
    kReaddir = 12,
    kRemove = 13,
    kMkdir = 14,
    kStat = 17,
    kRename = 18,
    kStatus = 101,
    kHandle = 102,
    kName = 104,
    kAttrs = 105,
    kExtended = 200,
    kExtendedReply = 201,
};

enum StatusCode : quint32 {
    kOk = 0,
    kEof = 1,
    kNoSuchFile = 2,
    kPermissionDenied = 3,
    kFailure = 4,
    kBadMessage = 5,
    kNoConnection = 6,
    kConnectionLost = 7,
    kOpUnsupported = 8,
    // Later protocol versions; some servers send them to version 3 clients.
    kNoSpaceOnFilesystem = 14,
    kQuotaExceeded = 15,
};

enum OpenFlag : quint32 {
    kOpenWrite = 0x02,
    kOpenCreate = 0x08,
    kOpenTruncate = 0x10,
    kOpenExclusive = 0x20,
};

constexpr quint32 kAttrSize = 0x01;
constexpr quint32 kAttrUidGid = 0x02;
constexpr quint32 kAttrPermissions = 0x04;
constexpr quint32 kAttrTimes = 0x08;
constexpr quint32 kAttrExtended = 0x80000000u;

// The largest packet taken from a server: OpenSSH's own limit. A reply to
// anything this client sends is far smaller.
constexpr quint32 kMaxPacketLength = 256 * 1024;

// One packet as it arrived: its type and the bytes after the type.
struct Packet {
    quint8 type = 0;
    QByteArray body;
};

// Builds one packet: length, type, then the fields in order.
class PacketWriter {
public:
    explicit PacketWriter(quint8 type);
    PacketWriter& u32(quint32 value);
    PacketWriter& u64(quint64 value);
    PacketWriter& string(const QByteArray& bytes);
    // An attribute block with no attributes: the server chooses.
    PacketWriter& noAttributes() { return u32(0); }
    // The packet, its length field filled in.
    QByteArray finish();

private:
    QByteArray bytes_;
};

// Reads the fields of a packet body in order. A read past the end yields
// zero or empty and leaves the reader failed for good.
class PacketReader {
public:
    explicit PacketReader(const QByteArray& body) : body_(body) {}
    quint8 u8();
    quint32 u32();
    quint64 u64();
    QByteArray string();
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ == body_.size(); }

private:
    bool take(qsizetype count);

    const QByteArray& body_;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

// Cuts a byte stream into packets.
class PacketAssembler {
public:
    void append(const char* data, qsizetype size) { buffer_.append(data, size); }
    // The next whole packet, or nothing yet. A length of zero or over
    // kMaxPacketLength makes the stream broken for good.
    std::optional<Packet> next();
    bool broken() const { return broken_; }
    qsizetype buffered() const { return buffer_.size() - start_; }

private:
    QByteArray buffer_;
    qsizetype start_ = 0;
    bool broken_ = false;
};

// ------------------------------------------------------------- requests

QByteArray initRequest();
QByteArray openRequest(quint32 id, const QByteArray& path, quint32 flags);
QByteArray closeRequest(quint32 id, const QByteArray& handle);
QByteArray handleRequest(quint8 type, quint32 id, const QByteArray& handle);  // fstat, readdir
QByteArray pathRequest(quint8 type, quint32 id, const QByteArray& path);  // stat, remove, opendir
QByteArray mkdirRequest(quint32 id, const QByteArray& path);
QByteArray renameRequest(quint32 id, const QByteArray& from, const QByteArray& to);
QByteArray posixRenameRequest(quint32 id, const QByteArray& from, const QByteArray& to);
QByteArray statvfsRequest(quint32 id, const QByteArray& path);
QByteArray limitsRequest(quint32 id);
// The fields of a write before its data: the caller appends `dataLength`
// bytes of data to make the packet whole, without copying them twice.
QByteArray writeRequestHead(quint32 id, const QByteArray& handle, quint64 offset,
                            quint32 dataLength);

// --------------------------------------------------------------- replies

struct VersionReply {
    quint32 version = 0;
    QList<QPair<QByteArray, QByteArray>> extensions;  // name, data
    bool hasExtension(const QByteArray& name, const QByteArray& data) const;
};

struct StatusReply {
    quint32 id = 0;
    quint32 code = 0;
    QByteArray message;
};

struct Attributes {
    quint32 flags = 0;
    quint64 size = 0;
    quint32 permissions = 0;
    bool hasPermissions() const { return flags & kAttrPermissions; }
    bool isDirectory() const { return hasPermissions() && (permissions & 0170000) == 0040000; }
};

// One entry of a folder listing: its name and what the server told of it.
struct NameEntry {
    QByteArray name;
    Attributes attributes;
};

struct FileSystemSpace {
    quint64 blockSize = 0;  // f_frsize: the unit of the counts
    quint64 blocksAvailable = 0;
    quint64 bytesAvailable() const;
};

struct Limits {
    quint64 maxPacketLength = 0;
    quint64 maxReadLength = 0;
    quint64 maxWriteLength = 0;
    quint64 maxOpenHandles = 0;
};

// Each parser takes a whole packet of its type and returns nothing when the
// packet is of another type or its fields do not fit it.
std::optional<VersionReply> parseVersion(const Packet& packet);
// The request id of any reply; nothing for a packet too short to hold one.
std::optional<quint32> replyId(const Packet& packet);
std::optional<StatusReply> parseStatus(const Packet& packet);
std::optional<QByteArray> parseHandle(const Packet& packet);
std::optional<Attributes> parseAttrs(const Packet& packet);
// A listing's entries; at most as many as the packet's bytes can hold.
std::optional<QList<NameEntry>> parseName(const Packet& packet);
std::optional<FileSystemSpace> parseStatvfs(const Packet& packet);
std::optional<Limits> parseLimits(const Packet& packet);

}  // namespace velmora::sftp
