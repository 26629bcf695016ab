#include "PageRecord.h"

#include <algorithm>
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

QByteArray PageRecord::text(TextField f) const
{
    const FieldSlot& slot = slotOf(f);
    const char* begin = bytes_.data() + slot.offset;
    const auto* zero = static_cast<const char*>(std::memchr(begin, 0, slot.width));
    const std::size_t length = zero ? static_cast<std::size_t>(zero - begin) : slot.width;
    return QByteArray(begin, static_cast<qsizetype>(length));
}

void PageRecord::setText(TextField f, QByteArrayView value)
{
    const FieldSlot& slot = slotOf(f);
    // A zero byte inside the value ends the text, as it would on reading.
    const qsizetype zeroAt = value.indexOf('\0');
    if (zeroAt >= 0) value = value.first(zeroAt);
    const qsizetype length = fittingLength(value, static_cast<qsizetype>(slot.width) - 1);
    char* begin = bytes_.data() + slot.offset;
    if (length > 0) std::memcpy(begin, value.data(), static_cast<std::size_t>(length));
    std::memset(begin + length, 0, slot.width - static_cast<std::size_t>(length));
}

std::uint32_t PageRecord::colour(ColourField f) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + slotOf(f).offset);
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void PageRecord::setColour(ColourField f, std::uint32_t value)
{
    auto* p = reinterpret_cast<unsigned char*>(bytes_.data() + slotOf(f).offset);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool PageRecord::flag(FlagField f) const { return bytes_[slotOf(f).offset] != 0; }

void PageRecord::setFlag(FlagField f, bool on) { bytes_[slotOf(f).offset] = on ? 1 : 0; }

}  // namespace velmora
