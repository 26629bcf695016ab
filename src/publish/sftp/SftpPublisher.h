#pragma once

#include <memory>

#include "publish/Publisher.h"
#include "publish/sftp/SftpSession.h"

namespace velmora {

class Prompter;

// Publishes over SFTP through libssh. libssh's calls block, so the upload
// runs on a worker thread of its own; the thread that called publish() keeps
// its events flowing and hears of progress through queued signals only.
//
// Host keys are checked as OpenSSH does, against `knownHostsFile` (the
// user's ~/.ssh/known_hosts when empty). A key that differs from the
// recorded one is always refused. An unknown key is put to `trust` on the
// caller's thread; a key it trusts is recorded, any other is refused.
class SftpPublisher : public Publisher {
    Q_OBJECT
public:
    SftpPublisher(PublishDestination destination, QString knownHostsFile, HostKeyTrust trust,
                  QObject* parent = nullptr);
    ~SftpPublisher() override;

    void stop() override;

    // How long a stop may take to end the upload cleanly (the temporary file
    // removed) before its connection is cut.
    static constexpr int kStopGraceMs = 700;

protected:
    void carryOut(const std::vector<UploadItem>& plan, const QByteArrayList& removals) override;

private:
    struct Run;
    QList<QHostAddress> lookUpHost();
    void answerHostKeyQuestion();

    PublishDestination destination_;
    QString knownHostsFile_;
    HostKeyTrust trust_;
    std::shared_ptr<Run> run_;  // while publish() runs
};

// Trust by asking the user through the prompter, OpenSSH's question.
HostKeyTrust askUserAboutHostKeys(Prompter& prompter);

}  // namespace velmora
