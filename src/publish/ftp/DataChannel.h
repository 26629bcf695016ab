#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <optional>

namespace velmora {

// The port of a 229 reply to EPSV (RFC 2428): "229 Entering Extended
// Passive Mode (|||6446|)", any printable delimiter in place of "|".
// Nothing when the reply holds no such port.
std::optional<quint16> extendedPassivePort(QByteArrayView reply);

// The port of a 227 reply to PASV: the last two of six comma-separated
// numbers, "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)". The address in
// it is not used: the data connection goes to the control connection's
// peer, since a server behind NAT announces its private address.
std::optional<quint16> passivePort(QByteArrayView reply);

// The command that announces a listening data port in active mode: PORT
// with the address and port as six numbers for IPv4, EPRT for IPv6.
QByteArray activeModeCommand(const QHostAddress& local, quint16 port);

}  // namespace velmora
