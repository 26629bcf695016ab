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

int defaultPort(PublishProtocol protocol)
{
    switch (protocol) {
    case PublishProtocol::Sftp: return 22;
    case PublishProtocol::FtpsImplicit: return 990;
    default: return 21;
    }
}

QByteArray protocolName(PublishProtocol protocol)
{
    switch (protocol) {
    case PublishProtocol::Ftp: return "ftp";
    case PublishProtocol::Ftps: return "ftps";
    case PublishProtocol::FtpsImplicit: return "ftps-implicit";
    case PublishProtocol::Sftp: return "sftp";
    }
    return "ftp";
}

std::optional<PublishProtocol> protocolFromName(QByteArrayView name)
{
    for (PublishProtocol protocol : {PublishProtocol::Ftp, PublishProtocol::Ftps,
                                     PublishProtocol::FtpsImplicit, PublishProtocol::Sftp})
        if (name == protocolName(protocol)) return protocol;
    return std::nullopt;
}

}  // namespace velmora
