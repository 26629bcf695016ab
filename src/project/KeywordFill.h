#pragma once

#include <QByteArray>
#include <array>

#include "PageFields.h"

namespace velmora {

struct PhraseWords {
    std::array<QByteArray, 4> words;
    int count = 1;  // always 1 to 4
};

// Splits a keyword phrase at blanks into at most four words, with the
// original rules: a blank at the very end is no separator, empty pieces
// before the fourth word are skipped, and the fourth word runs to the next
// blank even when that leaves it empty.
PhraseWords SplitPhrase(const QByteArray& phrase);

// The fifteen keyword texts Fill makes from a phrase: Word, Word1 ... Word14.
std::array<QByteArray, kKeywordFieldCount> KeywordCombinations(const QByteArray& phrase,
                                                               const PhraseWords& split);

// Fills the current page's heading, placeholder texts and keyword fields
// from its keyword phrase.
void Fill(PageFields& fields);

}  // namespace velmora
