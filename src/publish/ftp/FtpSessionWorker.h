#pragma once

#include <QByteArrayList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <exception>
#include <vector>

#include "publish/Publisher.h"
#include "publish/ftp/FtpFailures.h"

namespace velmora {

class FtpUploadQueue;
class TVexFTP;

// One FTP or FTPS session of a Send, on a thread of its own: it logs in,
// then sends the files the queue hands it until none is left. A file
// counts once the server confirmed it and holds it at its full size. A
// connection lost, or a file held at another size, is tried again over a
// new connection (RetrySchedule); any other failure ends the Send.
//
// The first session also makes the remote folders; the others start once
// it is logged in. A later session the server does not take ("421 Too many
// connections") simply ends: the Send goes on with the sessions it has.
class FtpSessionWorker : public PublishReports {
    Q_OBJECT
public:
    FtpSessionWorker(const PublishDestination& destination, const std::vector<UploadItem>& plan,
                     const QByteArrayList& removals, FtpUploadQueue& queue, int number);
    ~FtpSessionWorker() override;

    // Runs the session to its end; on the session's own thread.
    void run();
    // Asks the session to stop at once; from any thread.
    void cancel();
    // Once the queue has nothing left: a session still logging in gives up
    // at once rather than keep the Send waiting for a server that may be
    // slow to take one more session; from any thread.
    void withdraw();

    // Set before `ended`: the failure that ends the Send, if any.
    std::exception_ptr failure() const { return failure_; }

signals:
    void loggedIn();
    void ended();

private:
    void configure(TVexFTP& ftp) const;
    void bindEvents(TVexFTP& ftp);
    void logIn(TVexFTP& ftp);
    void sendFiles(TVexFTP& ftp);
    void sendFile(TVexFTP& ftp, int index);
    void removeDropped(TVexFTP& ftp);
    // Waits out a retry's delay; false when the Send ended meanwhile.
    bool pause(int milliseconds);
    FtpPlace place() const;

    const PublishDestination& destination_;
    const std::vector<UploadItem>& plan_;
    const QByteArrayList& removals_;
    FtpUploadQueue& queue_;
    const int number_;
    bool everLoggedIn_ = false;
    bool loggingIn_ = false;  // on the session's thread only, as the two below
    bool withdrawn_ = false;
    bool removalsMine_ = false;
    int current_ = -1;  // the file in hand
    std::exception_ptr failure_;
    std::atomic<bool> canceled_{false};
    QMutex sessionMutex_;
    TVexFTP* session_ = nullptr;  // while run() holds one
};

}  // namespace velmora
