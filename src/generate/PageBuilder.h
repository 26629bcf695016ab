#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <cstdint>

#include "project/PageFields.h"

namespace velmora {

// Six upper-case hex digits, red, green, blue; the highest byte is ignored.
QByteArray ColourText(std::uint32_t colour);

// As ColourText, each component one step up (255 stays 254): the hidden text
// is written in a colour one step away from the page background.
QByteArray HiddenColourText(std::uint32_t colour);

// The robots meta tag made from the robots choice.
QByteArray RobotsTagFor(const QByteArray& choice);

// The keywords joined with ", ", empty ones left out.
QByteArray KeywordList(const PageFields& fields);

// What a page's head carries beyond the template's lines.
struct PageHead {
    // The charset, the viewport and, with an address, the canonical link.
    bool modern = false;
    // The page's own public address, for the canonical link; empty for none.
    QByteArray canonicalAddress = {};
};

inline const QByteArray kCharsetLine = "<meta charset=\"utf-8\">";
inline const QByteArray kViewportLine =
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";

// The lines of one page's HTML file, from the shown fields. A page whose
// text is UTF-8 and not all ASCII declares its charset first thing in the
// head, as hosts often send no charset and browsers then guess a legacy
// one; an all-ASCII page, or one in another encoding, is left as it was.
QByteArrayList BuildPage(const PageFields& fields, int projectType, const QByteArray& creditLink,
                         const PageHead& head = {});

}  // namespace velmora
