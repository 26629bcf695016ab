#pragma once

#include <QByteArray>
#include <QString>

namespace velmora::cli {

// A small JSON writer that keeps keys in the order they are added, so the
// output reads in record order.
class JsonObjectWriter {
public:
    JsonObjectWriter& add(const char* key, const QByteArray& text);  // bytes shown as UTF-8
    JsonObjectWriter& add(const char* key, qint64 number);
    JsonObjectWriter& addRaw(const char* key, const QByteArray& json);
    QByteArray finish() const { return "{" + body_ + "}"; }

private:
    void addKey(const char* key);
    QByteArray body_;
};

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
QByteArray jsonString(const QByteArray& bytes);

}  // namespace velmora::cli
