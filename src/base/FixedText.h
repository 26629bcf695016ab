#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <span>

namespace velmora {

// Texts in fixed-width fields of the files' records: a text followed by a
// zero byte, at most the width minus one bytes. Every record reads and
// writes its text fields through these two functions, so no field is ever
// overrun.

// The text up to its terminating zero, or the whole field when it has none.
QByteArray readFixedText(std::span<const char> field);

// Cuts the value at its first zero byte and to the field's width minus one
// byte at a UTF-8 character boundary, and zero-fills the rest of the field.
// A field that already reads as the cut value is left as it is.
void writeFixedText(std::span<char> field, QByteArrayView value);

// Where a text must end to fit into `room` bytes without splitting a UTF-8
// sequence. Bytes that are not UTF-8 are cut at `room`.
qsizetype fittingLength(QByteArrayView text, qsizetype room);

}  // namespace velmora
