#include "PageFields.h"

#include <QByteArrayList>

namespace velmora {

bool reportsChange(TextField f)
{
    switch (f) {
    case TextField::ComboBox1:
    case TextField::ImageSource:
    case TextField::PageFolder:
    case TextField::Edit2:
    case TextField::PreviousLinkName:
    case TextField::PreviousLinkAddress:
        return false;
    default:
        return true;
    }
}

bool reportsShownChange(TextField f)
{
    switch (f) {
    case TextField::HeadingAlign:
    case TextField::SubheadingAlign:
    case TextField::DescriptionAlign:
    case TextField::ImageAlign:
        return false;
    default:
        return reportsChange(f);
    }
}

namespace {

QByteArrayList splitLines(const QByteArray& text)
{
    QByteArrayList lines;
    QByteArray line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.append(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line.append(c);
        }
    }
    if (!line.isEmpty()) lines.append(line);
    return lines;
}

}  // namespace

QByteArray normaliseMultiLine(TextField f, const QByteArray& text)
{
    if (!text.contains('\r') && !text.contains('\n')) {
        if (f == TextField::Description && !text.isEmpty()) return text + "\r\n";
        return text;
    }
    if (f == TextField::Description) {
        QByteArray result;
        for (const QByteArray& line : splitLines(text)) result += line + "\r\n";
        return result;
    }
    if (f == TextField::SubHeading) {
        QByteArray result;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\r' || c == '\n') {
                result += "\r\n";
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            } else {
                result += c;
            }
        }
        return result;
    }
    return text;
}

namespace {

// True when every line break is CR LF and the text ends with one, as the
// fields hold a description; found with memchr, since the builder asks for
// every page.
bool isStoredDescription(QByteArrayView text)
{
    if (text.isEmpty()) return true;
    if (!text.endsWith("\r\n")) return false;
    for (qsizetype at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1))
        if (at == 0 || text[at - 1] != '\r') return false;
    for (qsizetype at = text.indexOf('\r'); at >= 0; at = text.indexOf('\r', at + 1))
        if (at + 1 == text.size() || text[at + 1] != '\n') return false;
    return true;
}

}  // namespace

QByteArray shownDescription(const QByteArray& text)
{
    QByteArray lines =
        isStoredDescription(text) ? text : normaliseMultiLine(TextField::Description, text);
    if (lines.endsWith("\r\n")) lines.chop(2);
    return lines;
}

MemoryPageFields::MemoryPageFields()
{
    // The window's initial state, before any page is shown.
    texts_[static_cast<int>(TextField::RobotsTag)] = "<meta name=\"robots\" content=\"all\"> ";
    texts_[static_cast<int>(TextField::ComboBox1)] = "all";
    texts_[static_cast<int>(TextField::HomePage)] = "http://";
    for (TextField f : {TextField::HeadingAlign, TextField::SubheadingAlign,
                        TextField::DescriptionAlign, TextField::ImageAlign})
        texts_[static_cast<int>(f)] = "center";
    flags_.fill(true);
}

QByteArray MemoryPageFields::text(TextField f) const { return texts_[static_cast<int>(f)]; }

void MemoryPageFields::setText(TextField f, const QByteArray& value)
{
    QByteArray& held = texts_[static_cast<int>(f)];
    const QByteArray normalised = normaliseMultiLine(f, value);
    if (held == normalised) return;
    held = normalised;
    if (reportsShownChange(f)) reportChange();
}

std::uint32_t MemoryPageFields::colour(ColourField f) const { return colours_[static_cast<int>(f)]; }

void MemoryPageFields::setColour(ColourField f, std::uint32_t value)
{
    colours_[static_cast<int>(f)] = value;
}

bool MemoryPageFields::flag(FlagField f) const { return flags_[static_cast<int>(f)]; }

void MemoryPageFields::setFlag(FlagField f, bool on)
{
    bool& held = flags_[static_cast<int>(f)];
    if (held == on) return;
    held = on;
    reportChange();
}

}  // namespace velmora
