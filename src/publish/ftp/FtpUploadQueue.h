#pragma once

#include <QMutex>
#include <QWaitCondition>
#include <optional>
#include <vector>

#include "publish/Publishing.h"
#include "publish/UploadOrder.h"

namespace velmora {

// Hands the files of one plan to the FTP sessions that send them, each on
// its own thread, in the order UploadOrder allows. A file whose send failed
// is given back and goes again before any later one.
class FtpUploadQueue {
public:
    explicit FtpUploadQueue(const std::vector<UploadItem>& plan);

    // The next file for the calling session; waits while every file that
    // may go is on its way in another session. Nothing once every file is
    // confirmed or the send has ended.
    std::optional<int> take();
    void confirm(int index);
    void giveBack(int index);
    // Ends the send: take() hands out nothing from now on.
    void end();
    bool ended() const;

    int confirmedCount() const;
    bool allConfirmed() const;
    // True for the one caller that is to remove the files the project
    // dropped, once every file is confirmed.
    bool claimRemovals();

private:
    static constexpr int kLookAhead = 256;

    mutable QMutex mutex_;
    QWaitCondition changed_;
    UploadOrder order_;
    std::vector<bool> taken_;
    bool ended_ = false;
    bool removalsClaimed_ = false;
};

}  // namespace velmora
