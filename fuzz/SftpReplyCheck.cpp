// The SFTP client's reading of a server's bytes: the packet framing and
// every reply parser, on an arbitrary stream.
#include <QtEndian>

#include "FuzzChecks.h"
#include "publish/sftp/SftpWire.h"

namespace velmora::fuzz {

namespace {

using namespace sftp;

// Every packet the stream holds, fed in pieces of `piece` bytes.
QList<Packet> cut(const QByteArray& stream, qsizetype piece, bool* broken)
{
    PacketAssembler assembler;
    QList<Packet> packets;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        assembler.append(stream.constData() + at, std::min(piece, stream.size() - at));
        while (std::optional<Packet> packet = assembler.next()) packets.append(std::move(*packet));
    }
    *broken = assembler.broken();
    return packets;
}

QString checkParsers(const Packet& packet)
{
    if (const std::optional<QByteArray> handle = parseHandle(packet))
        if (handle->isEmpty() || handle->size() > 256) return QStringLiteral("a handle out of bounds");
    if (const std::optional<StatusReply> status = parseStatus(packet))
        if (status->message.size() > packet.body.size()) return QStringLiteral("a status message too long");
    if (const std::optional<VersionReply> version = parseVersion(packet)) {
        qsizetype bytes = 4;
        for (const auto& [name, data] : version->extensions) bytes += 8 + name.size() + data.size();
        if (bytes != packet.body.size()) return QStringLiteral("extensions that do not add up");
    }
    parseAttrs(packet);
    if (const std::optional<QList<NameEntry>> names = parseName(packet)) {
        qsizetype bytes = 8;
        for (const NameEntry& entry : *names) bytes += 12 + entry.name.size();
        if (bytes > packet.body.size()) return QStringLiteral("names longer than their packet");
    }
    parseStatvfs(packet);
    parseLimits(packet);
    replyId(packet);
    return {};
}

}  // namespace

QString checkSftpReplies(const QByteArray& stream)
{
    // The pieces come from the first byte, so the fuzzer explores them too.
    const qsizetype piece = stream.isEmpty() ? 1 : 1 + static_cast<unsigned char>(stream[0]) % 64;
    bool brokenWhole = false, brokenPieces = false;
    const QList<Packet> whole = cut(stream, std::max<qsizetype>(stream.size(), 1), &brokenWhole);
    const QList<Packet> pieces = cut(stream, piece, &brokenPieces);
    if (whole.size() != pieces.size() || brokenWhole != brokenPieces)
        return QStringLiteral("the packets depend on how the bytes arrived");

    QByteArray rebuilt;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        const Packet& packet = whole[i];
        if (packet.type != pieces[i].type || packet.body != pieces[i].body)
            return QStringLiteral("the packets depend on how the bytes arrived");
        if (packet.body.size() + 1 > static_cast<qsizetype>(kMaxPacketLength))
            return QStringLiteral("a packet over the limit");
        char length[4];
        qToBigEndian(static_cast<quint32>(packet.body.size() + 1), length);
        rebuilt += QByteArray(length, 4) + char(packet.type) + packet.body;
        if (const QString failure = checkParsers(packet); !failure.isEmpty()) return failure;
    }
    if (!stream.startsWith(rebuilt)) return QStringLiteral("the packets are not the stream's bytes");
    return {};
}

}  // namespace velmora::fuzz
