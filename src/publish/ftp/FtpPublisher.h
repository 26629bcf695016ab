#pragma once

#include "publish/Publisher.h"

namespace velmora {

class TVexFTP;

// Publishes over FTP or explicit FTPS through a TVexFTP of its own for each
// publish(): log in, make the remote folders, upload the plan file by file,
// log out. Its status texts are the client's events as the FTP dialog has
// always shown them. Whatever ends a publish() early also ends the
// connection, so a failed or stopped Send leaves nothing open.
class FtpPublisher final : public Publisher {
    Q_OBJECT
public:
    explicit FtpPublisher(PublishDestination destination, QObject* parent = nullptr);
    ~FtpPublisher() override;

    void publish(const std::vector<UploadItem>& plan) override;
    void stop() override;

    const PublishDestination& destination() const { return destination_; }

private:
    void configure(TVexFTP& ftp) const;
    void bindEvents(TVexFTP& ftp);
    void throwIfStopped() const;
    void run(TVexFTP& ftp, const std::vector<UploadItem>& plan);

    PublishDestination destination_;
    TVexFTP* ftp_ = nullptr;  // while publish() runs
    bool stopRequested_ = false;
};

}  // namespace velmora
