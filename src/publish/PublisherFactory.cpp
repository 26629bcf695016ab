#include "publish/PublisherFactory.h"

#include "publish/ftp/FtpPublisher.h"
#include "publish/sftp/SftpPublisher.h"

namespace velmora {

std::unique_ptr<Publisher> makePublisher(const PublishDestination& destination,
                                         const ServerTrustOptions& trust, QObject* parent)
{
    if (destination.protocol == PublishProtocol::Sftp)
        return std::make_unique<SftpPublisher>(destination, trust.knownHostsFile,
                                               trust.hostKeyTrust, parent);
    return std::make_unique<FtpPublisher>(destination, parent);
}

int defaultPort(PublishProtocol protocol) { return protocol == PublishProtocol::Sftp ? 22 : 21; }

QByteArray protocolName(PublishProtocol protocol)
{
    switch (protocol) {
    case PublishProtocol::Ftp: return "ftp";
    case PublishProtocol::Ftps: return "ftps";
    case PublishProtocol::Sftp: return "sftp";
    }
    return "ftp";
}

std::optional<PublishProtocol> protocolFromName(QByteArrayView name)
{
    for (PublishProtocol protocol :
         {PublishProtocol::Ftp, PublishProtocol::Ftps, PublishProtocol::Sftp})
        if (name == protocolName(protocol)) return protocol;
    return std::nullopt;
}

}  // namespace velmora
