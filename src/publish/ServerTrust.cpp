#include "publish/ServerTrust.h"

#include <QList>

namespace velmora {

namespace {

constexpr const char* kSection = "FTP";
constexpr const char* kKey = "TRUSTED_CERTS";

QByteArray entryKey(const QString& host, int port)
{
    return host.trimmed().toLower().toUtf8() + ':' + QByteArray::number(port);
}

// Stored without its colons: 64 hex digits instead of 95 bytes.
QByteArray compact(const QByteArray& fingerprint)
{
    return QByteArray(fingerprint).replace(':', QByteArray()).toUpper();
}

QByteArray expanded(const QByteArray& hex)
{
    QByteArray out;
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        if (i > 0) out += ':';
        out += hex.mid(i, 2);
    }
    return out;
}

bool isHex(const QByteArray& text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return !text.isEmpty();
}

}  // namespace

QByteArray ServerTrust::fingerprint(const QString& host, int port) const
{
    const QByteArray key = entryKey(host, port);
    for (const QByteArray& entry : settings_.read(kSection, kKey, {}).split(' ')) {
        const qsizetype equals = entry.lastIndexOf('=');
        if (equals <= 0 || entry.left(equals) != key) continue;
        const QByteArray hex = entry.mid(equals + 1).toUpper();
        return isHex(hex) ? expanded(hex) : QByteArray();
    }
    return {};
}

void ServerTrust::remember(const QString& host, int port, const QByteArray& fingerprint) const
{
    const QByteArray key = entryKey(host, port);
    // Names with blanks or "=" would break the list; such a host has no
    // address anyway.
    if (key.contains(' ') || key.contains('=') || !isHex(compact(fingerprint))) return;
    QList<QByteArray> entries{key + '=' + compact(fingerprint)};
    for (const QByteArray& entry : settings_.read(kSection, kKey, {}).split(' ')) {
        const qsizetype equals = entry.lastIndexOf('=');
        if (equals <= 0 || entry.left(equals) == key) continue;
        entries << entry;
    }
    QByteArray value = entries.join(' ');
    while (value.size() > SettingsFile::kMaxValueLength && entries.size() > 1) {
        entries.removeLast();
        value = entries.join(' ');
    }
    if (value.size() <= SettingsFile::kMaxValueLength) settings_.write(kSection, kKey, value);
}

}  // namespace velmora
