#include "publish/ftp/DataChannel.h"

#include "publish/ftp/Powersock.h"

namespace velmora {

namespace {

// A run of decimal digits at `at` of at most `maxDigits`; its value and the
// position after it.
std::optional<std::pair<quint32, qsizetype>> number(QByteArrayView text, qsizetype at,
                                                    int maxDigits)
{
    quint32 value = 0;
    qsizetype i = at;
    while (i < text.size() && i - at < maxDigits && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + static_cast<quint32>(text[i++] - '0');
    if (i == at || (i < text.size() && text[i] >= '0' && text[i] <= '9')) return std::nullopt;
    return std::pair{value, i};
}

std::optional<quint16> validPort(quint32 port)
{
    if (port == 0 || port > 65535) return std::nullopt;
    return static_cast<quint16>(port);
}

}  // namespace

std::optional<quint16> extendedPassivePort(QByteArrayView reply)
{
    const qsizetype open = reply.indexOf('(');
    if (open < 0 || open + 5 >= reply.size()) return std::nullopt;
    const char d = reply[open + 1];
    if (d < 33 || d > 126 || (d >= '0' && d <= '9')) return std::nullopt;
    if (reply[open + 2] != d || reply[open + 3] != d) return std::nullopt;
    const auto port = number(reply, open + 4, 5);
    if (!port || port->second >= reply.size() || reply[port->second] != d) return std::nullopt;
    return validPort(port->first);
}

std::optional<quint16> passivePort(QByteArrayView reply)
{
    // Past the reply code; then the first place where six numbers follow.
    for (qsizetype start = 3; start < reply.size(); ++start) {
        if (reply[start] < '0' || reply[start] > '9') continue;
        if (reply[start - 1] >= '0' && reply[start - 1] <= '9') continue;
        quint32 values[6];
        qsizetype at = start;
        int found = 0;
        for (; found < 6; ++found) {
            const auto n = number(reply, at, 3);
            if (!n || n->first > 255) break;
            values[found] = n->first;
            at = n->second;
            if (found < 5) {
                if (at >= reply.size() || reply[at] != ',') break;
                ++at;
            }
        }
        if (found == 6) return validPort(values[4] * 256 + values[5]);
    }
    return std::nullopt;
}

QByteArray activeModeCommand(const QHostAddress& local, quint16 port)
{
    if (local.protocol() == QAbstractSocket::IPv6Protocol) {
        QHostAddress address = local;
        address.setScopeId(QString());
        return "EPRT |2|" + address.toString().toLatin1() + '|' + QByteArray::number(port) + '|';
    }
    return "PORT " + addressText(local.toIPv4Address()) + portText(port);
}

}  // namespace velmora
