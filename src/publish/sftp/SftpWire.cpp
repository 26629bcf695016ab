#include "publish/sftp/SftpWire.h"

#include <QtEndian>
#include <limits>

namespace velmora::sftp {

// ---------------------------------------------------------------- writer

PacketWriter::PacketWriter(quint8 type)
{
    bytes_.reserve(64);
    u32(0);  // the length, filled in by finish()
    bytes_.append(static_cast<char>(type));
}

PacketWriter& PacketWriter::u32(quint32 value)
{
    char field[4];
    qToBigEndian(value, field);
    bytes_.append(field, 4);
    return *this;
}

PacketWriter& PacketWriter::u64(quint64 value)
{
    char field[8];
    qToBigEndian(value, field);
    bytes_.append(field, 8);
    return *this;
}

PacketWriter& PacketWriter::string(const QByteArray& bytes)
{
    u32(static_cast<quint32>(bytes.size()));
    bytes_.append(bytes);
    return *this;
}

QByteArray PacketWriter::finish()
{
    qToBigEndian(static_cast<quint32>(bytes_.size() - 4), bytes_.data());
    return bytes_;
}

// ---------------------------------------------------------------- reader

bool PacketReader::take(qsizetype count)
{
    if (!ok_ || count > body_.size() - pos_) {
        ok_ = false;
        return false;
    }
    return true;
}

quint8 PacketReader::u8()
{
    if (!take(1)) return 0;
    return static_cast<quint8>(body_[pos_++]);
}

quint32 PacketReader::u32()
{
    if (!take(4)) return 0;
    const quint32 value = qFromBigEndian<quint32>(body_.constData() + pos_);
    pos_ += 4;
    return value;
}

quint64 PacketReader::u64()
{
    if (!take(8)) return 0;
    const quint64 value = qFromBigEndian<quint64>(body_.constData() + pos_);
    pos_ += 8;
    return value;
}

QByteArray PacketReader::string()
{
    const quint32 length = u32();
    if (!take(static_cast<qsizetype>(length))) return {};
    QByteArray value = body_.mid(pos_, static_cast<qsizetype>(length));
    pos_ += static_cast<qsizetype>(length);
    return value;
}

// ------------------------------------------------------------- assembler

std::optional<Packet> PacketAssembler::next()
{
    if (broken_ || buffered() < 4) return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(buffer_.constData() + start_);
    if (length == 0 || length > kMaxPacketLength) {
        broken_ = true;
        return std::nullopt;
    }
    if (buffered() - 4 < static_cast<qsizetype>(length)) return std::nullopt;
    Packet packet;
    packet.type = static_cast<quint8>(buffer_[start_ + 4]);
    packet.body = buffer_.mid(start_ + 5, static_cast<qsizetype>(length) - 1);
    start_ += 4 + static_cast<qsizetype>(length);
    // Drop what was taken once it outweighs what is left, so the buffer
    // neither grows without end nor is moved for every packet.
    if (start_ > 65536 && start_ * 2 > buffer_.size()) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    return packet;
}

// -------------------------------------------------------------- requests

QByteArray initRequest() { return PacketWriter(kInit).u32(3).finish(); }

QByteArray openRequest(quint32 id, const QByteArray& path, quint32 flags)
{
    return PacketWriter(kOpen).u32(id).string(path).u32(flags).noAttributes().finish();
}

QByteArray closeRequest(quint32 id, const QByteArray& handle)
{
    return handleRequest(kClose, id, handle);
}

QByteArray handleRequest(quint8 type, quint32 id, const QByteArray& handle)
{
    return PacketWriter(type).u32(id).string(handle).finish();
}

QByteArray pathRequest(quint8 type, quint32 id, const QByteArray& path)
{
    return PacketWriter(type).u32(id).string(path).finish();
}

QByteArray mkdirRequest(quint32 id, const QByteArray& path)
{
    return PacketWriter(kMkdir).u32(id).string(path).noAttributes().finish();
}

QByteArray renameRequest(quint32 id, const QByteArray& from, const QByteArray& to)
{
    return PacketWriter(kRename).u32(id).string(from).string(to).finish();
}

QByteArray posixRenameRequest(quint32 id, const QByteArray& from, const QByteArray& to)
{
    return PacketWriter(kExtended)
        .u32(id)
        .string("posix-rename@openssh.com")
        .string(from)
        .string(to)
        .finish();
}

QByteArray statvfsRequest(quint32 id, const QByteArray& path)
{
    return PacketWriter(kExtended).u32(id).string("statvfs@openssh.com").string(path).finish();
}

QByteArray limitsRequest(quint32 id)
{
    return PacketWriter(kExtended).u32(id).string("limits@openssh.com").finish();
}

QByteArray writeRequestHead(quint32 id, const QByteArray& handle, quint64 offset,
                            quint32 dataLength)
{
    QByteArray head = PacketWriter(kWrite).u32(id).string(handle).u64(offset).u32(dataLength).finish();
    // The length covers the data still to come.
    qToBigEndian(static_cast<quint32>(head.size() - 4) + dataLength, head.data());
    return head;
}

// --------------------------------------------------------------- replies

bool VersionReply::hasExtension(const QByteArray& name, const QByteArray& data) const
{
    for (const auto& [extension, value] : extensions)
        if (extension == name && value == data) return true;
    return false;
}

quint64 FileSystemSpace::bytesAvailable() const
{
    if (blockSize != 0 && blocksAvailable > std::numeric_limits<quint64>::max() / blockSize)
        return std::numeric_limits<quint64>::max();
    return blockSize * blocksAvailable;
}

std::optional<VersionReply> parseVersion(const Packet& packet)
{
    if (packet.type != kVersion) return std::nullopt;
    PacketReader reader(packet.body);
    VersionReply reply;
    reply.version = reader.u32();
    while (reader.ok() && !reader.atEnd()) {
        QByteArray name = reader.string();
        QByteArray data = reader.string();
        if (reader.ok()) reply.extensions.append({std::move(name), std::move(data)});
    }
    if (!reader.ok()) return std::nullopt;
    return reply;
}

std::optional<quint32> replyId(const Packet& packet)
{
    PacketReader reader(packet.body);
    const quint32 id = reader.u32();
    if (!reader.ok()) return std::nullopt;
    return id;
}

std::optional<StatusReply> parseStatus(const Packet& packet)
{
    if (packet.type != kStatus) return std::nullopt;
    PacketReader reader(packet.body);
    StatusReply reply;
    reply.id = reader.u32();
    reply.code = reader.u32();
    if (!reader.ok()) return std::nullopt;
    // Version 3 servers may leave out the message and language.
    if (!reader.atEnd()) {
        reply.message = reader.string();
        if (!reader.atEnd()) reader.string();
        if (!reader.ok()) return std::nullopt;
    }
    return reply;
}

std::optional<QByteArray> parseHandle(const Packet& packet)
{
    if (packet.type != kHandle) return std::nullopt;
    PacketReader reader(packet.body);
    reader.u32();
    QByteArray handle = reader.string();
    // A handle is at most 256 bytes long.
    if (!reader.ok() || handle.isEmpty() || handle.size() > 256) return std::nullopt;
    return handle;
}

namespace {

Attributes readAttributes(PacketReader& reader)
{
    Attributes attributes;
    attributes.flags = reader.u32();
    if (attributes.flags & kAttrSize) attributes.size = reader.u64();
    if (attributes.flags & kAttrUidGid) {
        reader.u32();
        reader.u32();
    }
    if (attributes.flags & kAttrPermissions) attributes.permissions = reader.u32();
    if (attributes.flags & kAttrTimes) {
        reader.u32();
        reader.u32();
    }
    if (attributes.flags & kAttrExtended) {
        const quint32 count = reader.u32();
        for (quint32 i = 0; i < count && reader.ok(); ++i) {
            reader.string();
            reader.string();
        }
    }
    return attributes;
}

}  // namespace

std::optional<Attributes> parseAttrs(const Packet& packet)
{
    if (packet.type != kAttrs) return std::nullopt;
    PacketReader reader(packet.body);
    reader.u32();
    const Attributes attributes = readAttributes(reader);
    if (!reader.ok()) return std::nullopt;
    return attributes;
}

std::optional<QList<NameEntry>> parseName(const Packet& packet)
{
    if (packet.type != kName) return std::nullopt;
    PacketReader reader(packet.body);
    reader.u32();
    const quint32 count = reader.u32();
    // Each entry takes at least 12 bytes: a count the packet cannot hold is a lie.
    if (!reader.ok() || count > static_cast<quint32>(packet.body.size() / 12)) return std::nullopt;
    QList<NameEntry> entries;
    entries.reserve(count);
    for (quint32 i = 0; i < count && reader.ok(); ++i) {
        NameEntry entry;
        entry.name = reader.string();
        reader.string();  // the long name, as ls shows it
        entry.attributes = readAttributes(reader);
        entries.append(std::move(entry));
    }
    if (!reader.ok()) return std::nullopt;
    return entries;
}

std::optional<FileSystemSpace> parseStatvfs(const Packet& packet)
{
    if (packet.type != kExtendedReply) return std::nullopt;
    PacketReader reader(packet.body);
    reader.u32();
    FileSystemSpace space;
    reader.u64();  // f_bsize
    space.blockSize = reader.u64();
    reader.u64();  // f_blocks
    reader.u64();  // f_bfree
    space.blocksAvailable = reader.u64();
    for (int i = 0; i < 6; ++i) reader.u64();  // files, ffree, favail, fsid, flag, namemax
    if (!reader.ok()) return std::nullopt;
    return space;
}

std::optional<Limits> parseLimits(const Packet& packet)
{
    if (packet.type != kExtendedReply) return std::nullopt;
    PacketReader reader(packet.body);
    reader.u32();
    Limits limits;
    limits.maxPacketLength = reader.u64();
    limits.maxReadLength = reader.u64();
    limits.maxWriteLength = reader.u64();
    limits.maxOpenHandles = reader.u64();
    if (!reader.ok()) return std::nullopt;
    return limits;
}

}  // namespace velmora::sftp
