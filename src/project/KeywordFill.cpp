#include "KeywordFill.h"

#include <initializer_list>

namespace velmora {

PhraseWords SplitPhrase(const QByteArray& s)
{
    // Positions are 1-based as in the rule this follows; `find` returns the
    // position, counted from `start`, of the first blank among `length`
    // characters from `start`, or 0.
    const qsizetype length = s.size();
    auto find = [&](qsizetype start, qsizetype count) -> qsizetype {
        for (qsizetype i = 0; i < count; ++i)
            if (s[start - 1 + i] == ' ') return i + 1;
        return 0;
    };

    PhraseWords result;
    int kept = 0;
    qsizetype start = 1;
    qsizetype p = find(1, length);
    while (p != 0 && kept < 3) {
        const qsizetype next = start + p;
        const QByteArray piece = s.mid(start - 1, p - 1);
        if (!piece.isEmpty()) result.words[kept++] = piece;
        start = next;
        p = find(start, std::max<qsizetype>(0, length - start));
    }
    result.words[kept] = p == 0 ? s.mid(start - 1) : s.mid(start - 1, p - 1);
    result.count = kept + 1;
    return result;
}

std::array<QByteArray, kKeywordFieldCount> KeywordCombinations(const QByteArray& phrase,
                                                               const PhraseWords& split)
{
    std::array<QByteArray, kKeywordFieldCount> fields;
    const int n = split.count;
    fields[0] = n == 1 ? split.words[0] : phrase;

    // Every combination of fewer than n words: shorter ones first, and within
    // one length in the order of the words' positions. Combinations are built
    // in a text of any length; the record's field width limits them later.
    int next = 1;
    auto join = [&](std::initializer_list<int> picks) {
        QByteArray combination;
        bool first = true;
        for (int w : picks) {
            if (!first) combination += ' ';
            combination += split.words[w];
            first = false;
        }
        return combination;
    };
    for (int size = 1; size < n; ++size) {
        for (int a = 0; a < n; ++a) {
            if (size == 1) {
                fields[next++] = split.words[a];
                continue;
            }
            for (int b = a + 1; b < n; ++b) {
                if (size == 2) {
                    fields[next++] = join({a, b});
                    continue;
                }
                for (int c = b + 1; c < n; ++c) fields[next++] = join({a, b, c});
            }
        }
    }
    return fields;
}

void Fill(PageFields& fields)
{
    const QByteArray phrase = fields.text(TextField::KeywordPhrase);
    fields.setText(TextField::Heading, phrase);
    fields.setText(TextField::SubHeading, phrase + " -- subheading");
    fields.setText(TextField::Description, phrase + " -- description goes here, minimum 75 words");
    fields.setText(TextField::HiddenText, phrase + " -- comment goes here");

    const auto keywords = KeywordCombinations(phrase, SplitPhrase(phrase));
    for (int i = 0; i < kKeywordFieldCount; ++i) fields.setText(keywordField(i), keywords[i]);
}

}  // namespace velmora
