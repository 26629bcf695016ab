#include "Json.h"

namespace velmora::cli {

QByteArray jsonString(const QByteArray& bytes)
{
    const QByteArray utf8 = QString::fromUtf8(bytes).toUtf8();
    QByteArray out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20) {
                out += "\\u00";
                out += QByteArray::number(u, 16).rightJustified(2, '0');
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

void JsonObjectWriter::addKey(const char* key)
{
    if (!body_.isEmpty()) body_ += ", ";
    body_ += jsonString(key) + ": ";
}

JsonObjectWriter& JsonObjectWriter::add(const char* key, const QByteArray& text)
{
    addKey(key);
    body_ += jsonString(text);
    return *this;
}

JsonObjectWriter& JsonObjectWriter::add(const char* key, qint64 number)
{
    addKey(key);
    body_ += QByteArray::number(number);
    return *this;
}

JsonObjectWriter& JsonObjectWriter::addRaw(const char* key, const QByteArray& json)
{
    addKey(key);
    body_ += json;
    return *this;
}

}  // namespace velmora::cli
