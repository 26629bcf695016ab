#include "publish/sftp/SftpRequests.h"

#include <optional>

#include "base/ScopeExit.h"
#include "publish/sftp/SftpSession.h"

namespace velmora {

quint32 SftpRequests::send(const Build& build, Handler onReply)
{
    const quint32 id = session_.nextId();
    // Registered first: the send may fail, and the entry then goes with it.
    waiting_.emplace(id, std::move(onReply));
    try {
        session_.send(build(id));
    } catch (...) {
        waiting_.erase(id);
        throw;
    }
    return id;
}

void SftpRequests::receiveOne()
{
    const sftp::Packet reply = session_.receive();
    const std::optional<quint32> id = sftp::replyId(reply);
    if (!id) throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
    const auto found = waiting_.find(*id);
    if (found == waiting_.end()) return;  // a late reply to something given up on
    const Handler handler = std::move(found->second);
    waiting_.erase(found);
    handler(reply);
}

sftp::Packet SftpRequests::request(const Build& build)
{
    std::optional<sftp::Packet> answer;
    const quint32 id = send(build, [&answer](const sftp::Packet& reply) { answer = reply; });
    // The handler refers to this frame: it goes when the frame does.
    const ScopeExit forget([this, id] { waiting_.erase(id); });
    while (!answer) receiveOne();
    return std::move(*answer);
}

void SftpRequests::drain()
{
    while (!idle()) receiveOne();
}

}  // namespace velmora
