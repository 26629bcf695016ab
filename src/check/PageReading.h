#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <cstdint>
#include <vector>

namespace velmora {

// What a search engine reads in one page: its title, its description, the
// words a visitor sees, and whether it carries text set in the colour of
// its background. Read from the page's HTML as generation writes it, with
// the tolerance of a browser: markup typed into a field is markup.
struct PageReading {
    QByteArray title;  // white space runs made one blank, trimmed
    bool hasDescription = false;  // a description meta tag with more than blanks in it
    bool hasHiddenText = false;   // words in a colour a step or two from the background
    // One hash per visible word, in reading order; words are runs of
    // letters and digits, compared without regard to ASCII case.
    std::vector<std::uint64_t> words;
};

PageReading ReadPage(const QByteArrayList& lines);

// How far apart two colours may be, in every component, and still be one
// colour to the eye.
inline constexpr int kHiddenColourDistance = 8;

}  // namespace velmora
