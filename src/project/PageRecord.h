#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/FixedText.h"

namespace velmora {

// Every text field of a page record, in record order. PageFolder has no
// counterpart among the window's fields; only generation reads and writes it.
enum class TextField {
    KeywordPhrase,
    Heading,
    SubHeading,
    Description,
    Image,
    ImageSource,
    HeadingAlign,
    SubheadingAlign,
    DescriptionAlign,
    ComboBox1,
    ImageAlign,
    Word,
    Word1,
    Word2,
    Word3,
    Word4,
    Word5,
    Word6,
    Word7,
    Word8,
    Word9,
    Word10,
    Word11,
    Word12,
    Word13,
    Word14,
    RobotsTag,
    HiddenText,
    HomePage,
    LinkName,
    FooterText,
    PageFolder,
    Edit2,
    PreviousLinkName,
    PreviousLinkAddress,
};

enum class ColourField {
    HeadingColor,
    SubheadingColor,
    DescriptionColor,
    LinkColor,
    VisitedLinkColor,
    BackgroundColor,
};

enum class FlagField {
    RobotsBox,
    CommentsBox,
    CompanyBox,
};

struct FieldSlot {
    std::string_view name;
    std::size_t offset;
    std::size_t width;
};

inline constexpr std::size_t kPageRecordSize = 37600;
inline constexpr int kTextFieldCount = 35;
inline constexpr int kColourFieldCount = 6;
inline constexpr int kFlagFieldCount = 3;
inline constexpr int kKeywordFieldCount = 15;  // Word, Word1 ... Word14

// The layout of the record: offsets and widths are part of the project file
// format, so they live here and nowhere else.
inline constexpr std::array<FieldSlot, kTextFieldCount> kTextSlots{{
    {"KeywordPhrase", 0, 260},
    {"Heading", 260, 260},
    {"SubHeading", 520, 1260},
    {"Description", 1780, 28995},
    {"Image", 30775, 260},
    {"ImageSource", 31035, 260},
    {"HeadingAlign", 31295, 7},
    {"SubheadingAlign", 31302, 7},
    {"DescriptionAlign", 31309, 7},
    {"ComboBox1", 31316, 7},
    {"ImageAlign", 31323, 7},
    {"Word", 31330, 260},
    {"Word1", 31590, 260},
    {"Word2", 31850, 260},
    {"Word3", 32110, 260},
    {"Word4", 32370, 260},
    {"Word5", 32630, 260},
    {"Word6", 32890, 260},
    {"Word7", 33150, 260},
    {"Word8", 33410, 260},
    {"Word9", 33670, 260},
    {"Word10", 33930, 260},
    {"Word11", 34190, 260},
    {"Word12", 34450, 260},
    {"Word13", 34710, 260},
    {"Word14", 34970, 260},
    {"RobotsTag", 35230, 260},
    {"HiddenText", 35490, 260},
    {"HomePage", 35750, 260},
    {"LinkName", 36010, 260},
    {"FooterText", 36270, 260},
    {"PageFolder", 36559, 260},
    {"Edit2", 36819, 260},
    {"PreviousLinkName", 37079, 260},
    {"PreviousLinkAddress", 37339, 260},
}};

inline constexpr std::array<FieldSlot, kColourFieldCount> kColourSlots{{
    {"HeadingColor", 36532, 4},
    {"SubheadingColor", 36536, 4},
    {"DescriptionColor", 36540, 4},
    {"LinkColor", 36544, 4},
    {"VisitedLinkColor", 36548, 4},
    {"BackgroundColor", 36552, 4},
}};

inline constexpr std::array<FieldSlot, kFlagFieldCount> kFlagSlots{{
    {"RobotsBox", 36556, 1},
    {"CommentsBox", 36557, 1},
    {"CompanyBox", 36558, 1},
}};

constexpr const FieldSlot& slotOf(TextField f) { return kTextSlots[static_cast<std::size_t>(f)]; }
constexpr const FieldSlot& slotOf(ColourField f) { return kColourSlots[static_cast<std::size_t>(f)]; }
constexpr const FieldSlot& slotOf(FlagField f) { return kFlagSlots[static_cast<std::size_t>(f)]; }

constexpr TextField keywordField(int n)  // 0 is Word, 1 ... 14 are Word1 ... Word14
{
    return static_cast<TextField>(static_cast<int>(TextField::Word) + n);
}

// True when the text fits its field whole: at most the width minus one
// bytes and no zero byte, so that storing it cuts nothing.
inline bool fitsField(TextField f, QByteArrayView value)
{
    return value.size() < static_cast<qsizetype>(slotOf(f).width) && !value.contains('\0');
}

namespace layout_checks {
// Fields follow each other without gaps except for the two padding runs.
constexpr bool textSlotsAreContiguous()
{
    for (std::size_t i = 1; i < kTextSlots.size(); ++i) {
        const auto& prev = kTextSlots[i - 1];
        const auto& cur = kTextSlots[i];
        std::size_t expected = prev.offset + prev.width;
        if (cur.name == "PageFolder") expected = kFlagSlots.back().offset + 1;
        if (cur.offset != expected) return false;
    }
    return true;
}
static_assert(textSlotsAreContiguous());
static_assert(slotOf(TextField::FooterText).offset + 260 + 2 == slotOf(ColourField::HeadingColor).offset,
              "two padding bytes before the colours");
static_assert(slotOf(ColourField::BackgroundColor).offset + 4 == slotOf(FlagField::RobotsBox).offset);
static_assert(slotOf(TextField::Word14).offset == 34970);
static_assert(slotOf(TextField::PreviousLinkAddress).offset + 260 + 1 == kPageRecordSize,
              "one padding byte at the end");
}  // namespace layout_checks

// One page as the fixed 37600-byte block that the project file stores. All
// access goes through the field accessors, which never touch a byte outside
// the field they name.
class PageRecord {
public:
    PageRecord() { bytes_.fill(0); }

    // The text up to its terminating zero, or the whole field when it has none.
    QByteArray text(TextField f) const;
    // Cuts the text to the field's width minus one byte, at a UTF-8 character
    // boundary, and zero-fills the rest of the field. The setters refuse a
    // temporary: a change to a copy of a page would be lost.
    void setText(TextField f, QByteArrayView value) &;

    std::uint32_t colour(ColourField f) const;
    void setColour(ColourField f, std::uint32_t value) &;

    bool flag(FlagField f) const;
    void setFlag(FlagField f, bool on) &;

    std::span<const char, kPageRecordSize> bytes() const& { return bytes_; }
    std::span<char, kPageRecordSize> bytes() & { return bytes_; }

    friend bool operator==(const PageRecord&, const PageRecord&) = default;

private:
    std::array<char, kPageRecordSize> bytes_;
};

static_assert(sizeof(PageRecord) == kPageRecordSize);

}  // namespace velmora
