#pragma once

#include <QObject>
#include <memory>
#include <optional>

#include "Publisher.h"

namespace velmora {

// The one place that maps a protocol to the publisher that speaks it; the
// FTP dialog and velmora-cli upload both go through here.
std::unique_ptr<Publisher> makePublisher(const PublishDestination& destination,
                                         QObject* parent = nullptr);

// The port a protocol's servers listen on unless told otherwise.
int defaultPort(PublishProtocol protocol);

// The protocol's name as velmora-cli takes it and the settings file keeps
// it ("ftp", "ftps", ...), and back; nothing for a name no protocol has.
QByteArray protocolName(PublishProtocol protocol);
std::optional<PublishProtocol> protocolFromName(QByteArrayView name);

}  // namespace velmora
