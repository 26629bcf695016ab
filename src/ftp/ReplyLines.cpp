#include "ReplyLines.h"

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

}  // namespace velmora
