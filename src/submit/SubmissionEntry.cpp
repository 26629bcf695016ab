#include "SubmissionEntry.h"

#include <cstring>

#include "project/PageRecord.h"

namespace velmora {

QByteArray SubmissionEntry::text(SubmissionField f) const
{
    const SubmissionSlot& slot = slotOf(f);
    const char* begin = bytes_.data() + slot.offset;
    const auto* zero = static_cast<const char*>(std::memchr(begin, 0, slot.width));
    const std::size_t length = zero ? static_cast<std::size_t>(zero - begin) : slot.width;
    return QByteArray(begin, static_cast<qsizetype>(length));
}

void SubmissionEntry::setText(SubmissionField f, QByteArrayView value)
{
    const SubmissionSlot& slot = slotOf(f);
    // A zero byte inside the value ends the text, as it would on reading.
    const qsizetype zeroAt = value.indexOf('\0');
    if (zeroAt >= 0) value = value.first(zeroAt);
    const qsizetype length = fittingLength(value, static_cast<qsizetype>(slot.width) - 1);
    char* begin = bytes_.data() + slot.offset;
    if (length > 0) std::memcpy(begin, value.data(), static_cast<std::size_t>(length));
    std::memset(begin + length, 0, slot.width - static_cast<std::size_t>(length));
}

}  // namespace velmora
