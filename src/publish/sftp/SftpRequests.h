#pragma once

#include <QByteArray>
#include <functional>
#include <unordered_map>

#include "publish/sftp/SftpWire.h"

namespace velmora {

class SftpSession;

// The requests on their way over one SFTP session, each with what to do with
// its reply. A server answers in any order; each reply goes to the handler
// of its own request, and a reply nobody waits for is dropped.
class SftpRequests {
public:
    using Build = std::function<QByteArray(quint32 id)>;
    using Handler = std::function<void(const sftp::Packet& reply)>;

    explicit SftpRequests(SftpSession& session) : session_(session) {}
    SftpRequests(const SftpRequests&) = delete;
    SftpRequests& operator=(const SftpRequests&) = delete;

    // Sends the request `build` makes for a fresh id; `onReply` hears its reply.
    quint32 send(const Build& build, Handler onReply);
    // Waits for the next reply and hands it to its handler.
    void receiveOne();
    // Sends a request and waits for its reply, handing the replies to
    // other requests on meanwhile.
    sftp::Packet request(const Build& build);
    // Waits until every request sent has its reply.
    void drain();

    bool idle() const { return waiting_.empty(); }
    // Drops every handler; for when what they refer to goes away.
    void forgetAll() { waiting_.clear(); }

private:
    SftpSession& session_;
    std::unordered_map<quint32, Handler> waiting_;
};

}  // namespace velmora
