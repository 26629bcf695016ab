#include "publish/ftp/ReplyLines.h"

namespace velmora {

namespace {

constexpr int kMaxReplyDigits = 10;

}  // namespace

qint64 replyNumberOf(QByteArrayView line)
{
    qint64 number = 0;
    for (qsizetype i = 0; i < line.size() && i < kMaxReplyDigits; ++i) {
        const char c = line[i];
        if (c < '0' || c > '9') break;
        number = number * 10 + (c - '0');
    }
    return number;
}

bool continuesReply(QByteArrayView line)
{
    if (line.isEmpty()) return false;
    return line[0] == ' ' || (line.size() >= 4 && line[3] == '-');
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool opensMultiLineReply(QByteArrayView line)
{
    return line.size() >= 4 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]) &&
           line[3] == '-';
}

bool closesMultiLineReply(QByteArrayView line, QByteArrayView code)
{
    if (code.size() != 3 || !line.startsWith(code)) return false;
    if (line.size() == 3) return true;
    const char next = line[3];
    return next == ' ' || next == '\r' || next == '\n';
}

}  // namespace velmora
