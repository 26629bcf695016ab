#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstddef>
#include <span>

namespace velmora {

// The two text fields of a submission entry, in entry order.
enum class SubmissionField {
    Name,              // the search engine's display name
    SubmissionString,  // the address with placeholders that Submit fills in
};

struct SubmissionSlot {
    std::size_t offset;
    std::size_t width;
};

inline constexpr std::size_t kSubmissionEntrySize = 520;

// The layout of one entry: offsets and widths are part of the submission
// file format, so they live here and nowhere else.
inline constexpr std::array<SubmissionSlot, 2> kSubmissionSlots{{
    {0, 260},
    {260, 260},
}};

constexpr const SubmissionSlot& slotOf(SubmissionField f)
{
    return kSubmissionSlots[static_cast<std::size_t>(f)];
}

namespace submission_layout_checks {
static_assert(slotOf(SubmissionField::Name).offset == 0);
static_assert(slotOf(SubmissionField::Name).offset + slotOf(SubmissionField::Name).width ==
                  slotOf(SubmissionField::SubmissionString).offset,
              "the string follows the name without a gap");
static_assert(slotOf(SubmissionField::SubmissionString).offset +
                      slotOf(SubmissionField::SubmissionString).width ==
                  kSubmissionEntrySize,
              "nothing follows the string");
}  // namespace submission_layout_checks

// One search engine as the fixed 520-byte block the submission file stores.
// All access goes through the field accessors, which never touch a byte
// outside the field they name. A new entry is blank: both fields empty.
class SubmissionEntry {
public:
    SubmissionEntry() { bytes_.fill(0); }

    // The text up to its terminating zero, or the whole field when it has none.
    QByteArray text(SubmissionField f) const;
    // Cuts the text to 259 bytes at a UTF-8 character boundary and zero-fills
    // the rest of the field.
    void setText(SubmissionField f, QByteArrayView value);

    QByteArray name() const { return text(SubmissionField::Name); }
    QByteArray submissionString() const { return text(SubmissionField::SubmissionString); }

    std::span<const char, kSubmissionEntrySize> bytes() const { return bytes_; }
    std::span<char, kSubmissionEntrySize> bytes() { return bytes_; }

    friend bool operator==(const SubmissionEntry&, const SubmissionEntry&) = default;

private:
    std::array<char, kSubmissionEntrySize> bytes_;
};

static_assert(sizeof(SubmissionEntry) == kSubmissionEntrySize);

}  // namespace velmora
