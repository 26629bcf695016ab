#include "SubmissionEntry.h"

#include "base/FixedText.h"

namespace velmora {

QByteArray SubmissionEntry::text(SubmissionField f) const
{
    const SubmissionSlot& slot = slotOf(f);
    return readFixedText(std::span<const char>(bytes_).subspan(slot.offset, slot.width));
}

void SubmissionEntry::setText(SubmissionField f, QByteArrayView value)
{
    const SubmissionSlot& slot = slotOf(f);
    writeFixedText(std::span<char>(bytes_).subspan(slot.offset, slot.width), value);
}

}  // namespace velmora
