#include "PageRecord.h"

namespace velmora {

QByteArray PageRecord::text(TextField f) const
{
    const FieldSlot& slot = slotOf(f);
    return readFixedText(std::span<const char>(bytes_).subspan(slot.offset, slot.width));
}

void PageRecord::setText(TextField f, QByteArrayView value) &
{
    const FieldSlot& slot = slotOf(f);
    writeFixedText(std::span<char>(bytes_).subspan(slot.offset, slot.width), value);
}

std::uint32_t PageRecord::colour(ColourField f) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + slotOf(f).offset);
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void PageRecord::setColour(ColourField f, std::uint32_t value) &
{
    auto* p = reinterpret_cast<unsigned char*>(bytes_.data() + slotOf(f).offset);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool PageRecord::flag(FlagField f) const { return bytes_[slotOf(f).offset] != 0; }

void PageRecord::setFlag(FlagField f, bool on) & { bytes_[slotOf(f).offset] = on ? 1 : 0; }

}  // namespace velmora
