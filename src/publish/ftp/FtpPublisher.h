#pragma once

#include <QList>
#include <memory>

#include "publish/Publisher.h"

namespace velmora {

class FtpSessionWorker;
class FtpUploadQueue;

// Publishes over FTP or FTPS (explicit or implicit) through up to the
// destination's `connections` logged-in sessions at once, each a TVexFTP on
// a thread of its own (FtpSessionWorker): a client's every operation waits
// until it is done, so sessions that overlap need a thread each. The
// thread that calls publish() keeps its events flowing and hears of
// progress through queued signals only. Its status texts are the clients'
// events as the FTP dialog has always shown them. Whatever ends a publish()
// early also ends every session, so a failed or stopped Send leaves nothing
// open.
class FtpPublisher final : public Publisher {
    Q_OBJECT
public:
    explicit FtpPublisher(PublishDestination destination, QObject* parent = nullptr);
    ~FtpPublisher() override;

    void stop() override;

    const PublishDestination& destination() const { return destination_; }

protected:
    void carryOut(const std::vector<UploadItem>& plan, const QByteArrayList& removals) override;

private:
    PublishDestination destination_;
    bool running_ = false;
    bool stopRequested_ = false;
    FtpUploadQueue* queue_ = nullptr;       // while publish() runs
    QList<FtpSessionWorker*> workers_;      // while publish() runs
};

}  // namespace velmora
