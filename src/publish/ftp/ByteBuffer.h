#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace velmora {

// A growable byte queue: bytes are appended at the end and taken from the
// front. Taking only moves a start offset; the taken bytes are dropped in
// one move once they make up most of the storage, so draining a large
// buffer chunk by chunk never copies the remainder over and over.
class ByteBuffer {
public:
    qsizetype size() const { return data_.size() - start_; }
    bool isEmpty() const { return size() == 0; }
    QByteArrayView view() const { return QByteArrayView(data_).sliced(start_); }

    void append(QByteArrayView bytes) { data_.append(bytes.data(), bytes.size()); }
    // Position of the first `c` at or after `from`, or -1.
    qsizetype indexOf(char c, qsizetype from = 0) const;
    // Removes and returns the first `n` bytes (all of them when n > size()).
    QByteArray take(qsizetype n);
    void drop(qsizetype n);
    void clear();

private:
    QByteArray data_;
    qsizetype start_ = 0;
};

}  // namespace velmora
