#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "publish/Publisher.h"
#include "publish/sftp/SftpSession.h"

namespace velmora {

// What a publisher needs, beyond the destination, to decide about a server
// whose identity it cannot check by itself. (An FTPS certificate the user
// trusts travels in the destination, as its fingerprint.)
struct ServerTrustOptions {
    QString knownHostsFile;     // SFTP: where host keys are kept; empty for ~/.ssh/known_hosts
    HostKeyTrust hostKeyTrust;  // SFTP: asked about an unknown host key; unset refuses it
};

// The one place that maps a protocol to the publisher that speaks it; the
// FTP dialog and velmora-cli upload both go through here.
std::unique_ptr<Publisher> makePublisher(const PublishDestination& destination,
                                         const ServerTrustOptions& trust = {},
                                         QObject* parent = nullptr);

// The port a protocol's servers listen on unless told otherwise.
int defaultPort(PublishProtocol protocol);

// The protocol's name as velmora-cli takes it and the settings file keeps
// it ("ftp", "ftps", "sftp"), and back; nothing for a name no protocol has.
QByteArray protocolName(PublishProtocol protocol);
std::optional<PublishProtocol> protocolFromName(QByteArrayView name);

}  // namespace velmora
