#include "publish/ftp/ByteBuffer.h"

#include <algorithm>

namespace velmora {

qsizetype ByteBuffer::indexOf(char c, qsizetype from) const
{
    const qsizetype at = data_.indexOf(c, start_ + std::max<qsizetype>(from, 0));
    return at < 0 ? -1 : at - start_;
}

QByteArray ByteBuffer::take(qsizetype n)
{
    n = std::clamp<qsizetype>(n, 0, size());
    QByteArray taken = data_.mid(start_, n);
    drop(n);
    return taken;
}

void ByteBuffer::drop(qsizetype n)
{
    start_ += std::clamp<qsizetype>(n, 0, size());
    if (start_ == data_.size()) {
        clear();
    } else if (start_ > data_.size() / 2) {
        data_.remove(0, start_);
        start_ = 0;
    }
}

void ByteBuffer::clear()
{
    data_.clear();
    start_ = 0;
}

}  // namespace velmora
