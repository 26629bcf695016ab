#pragma once

#include <QByteArray>

namespace velmora {

// What the user typed into the five value boxes, as bytes.
struct SubmissionValues {
    QByteArray url = {};    // $URL
    QByteArray email = {};  // $EMAIL
    QByteArray name = {};   // $NAME
    QByteArray par1 = {};   // $PAR1
    QByteArray par2 = {};   // $PAR2
};

// Fills the placeholders "$URL", "$EMAIL", "$NAME", "$PAR1" and "$PAR2" of a
// submission string, in that order: each occurrence, matched with letter case,
// is replaced by its value as typed, without escaping, and the search starts
// over from the beginning, so a value put in for one placeholder is searched
// for the later ones. A value that holds its own placeholder would be found
// again for ever; for that placeholder the search goes on after the value.
QByteArray FillSubmissionString(QByteArray text, const SubmissionValues& values);

}  // namespace velmora
