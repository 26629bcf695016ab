#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace velmora {

// The number formed by the run of decimal digits at the start of a reply
// line, at most ten of them; 0 when the line starts with none. Held in 64
// bits so that no reply number wraps into another code.
qint64 replyNumberOf(QByteArrayView line);

// A reply goes on after a line that begins with a space or has "-" as its
// fourth character; any other line ends it, whatever its code.
bool continuesReply(QByteArrayView line);

// A line of three digits and "-" opens a multi-line reply in RFC 959's
// form: it ends only at the closing line, the same three digits followed by
// a blank (or by the line end), and every line between is text, whatever it
// starts with.
bool opensMultiLineReply(QByteArrayView line);
bool closesMultiLineReply(QByteArrayView line, QByteArrayView code);

// 301 to 599: the error test for every command but USER.
constexpr bool isErrorReply(qint64 number) { return number > 300 && number < 600; }
// 401 to 599: USER passes 331 and every other 3xx code.
constexpr bool isUserErrorReply(qint64 number) { return number > 400 && number < 600; }
// 400 to 599: the final reply of a transfer that did not complete.
constexpr bool isTransferErrorReply(qint64 number) { return number >= 400 && number <= 599; }

}  // namespace velmora
