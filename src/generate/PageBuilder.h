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

// The lines of one page's HTML file, from the shown fields.
QByteArrayList BuildPage(const PageFields& fields, int projectType, const QByteArray& creditLink);

}  // namespace velmora
