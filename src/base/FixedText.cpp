#include "FixedText.h"

#include <cstring>

namespace velmora {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Length of the UTF-8 sequence a lead byte starts, 0 when it is no lead byte.
int sequenceLength(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 0;
}

}  // namespace

qsizetype fittingLength(QByteArrayView text, qsizetype room)
{
    if (text.size() <= room) return text.size();
    // Walk back over at most three continuation bytes to the lead byte of the
    // sequence the cut would split; only a real lead byte moves the cut.
    qsizetype lead = room;
    while (lead > 0 && room - lead < 3 && isContinuationByte(text[lead])) --lead;
    if (lead < room && sequenceLength(text[lead]) > room - lead) return lead;
    return room;
}

QByteArray readFixedText(std::span<const char> field)
{
    const auto* zero = static_cast<const char*>(std::memchr(field.data(), 0, field.size()));
    const std::size_t length = zero ? static_cast<std::size_t>(zero - field.data()) : field.size();
    return QByteArray(field.data(), static_cast<qsizetype>(length));
}

void writeFixedText(std::span<char> field, QByteArrayView value)
{
    if (field.empty()) return;  // no room even for the terminator
    const qsizetype zeroAt = value.indexOf('\0');
    if (zeroAt >= 0) value = value.first(zeroAt);
    const qsizetype length = fittingLength(value, static_cast<qsizetype>(field.size()) - 1);
    // Storing a page writes every field back, most of them unchanged; the
    // widest spans 29 KB, and clearing it again for every page of a large
    // project is most of what storing costs.
    const auto at = static_cast<std::size_t>(length);
    if (field[at] == '\0' && (length == 0 || std::memcmp(field.data(), value.data(), at) == 0))
        return;
    if (length > 0) std::memcpy(field.data(), value.data(), static_cast<std::size_t>(length));
    std::memset(field.data() + length, 0, field.size() - static_cast<std::size_t>(length));
}

}  // namespace velmora
