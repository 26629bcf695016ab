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
    // `removing`: the files the project dropped are to be removed once
    // every file is confirmed.
    explicit FtpUploadQueue(const std::vector<UploadItem>& plan, bool removing = false);

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
    void removalsDone();
    // Nothing is left for any session to do: every file is confirmed and
    // the removals are done, or the send has ended.
    bool finished() const;

private:
    static constexpr int kLookAhead = 256;

    mutable QMutex mutex_;
    QWaitCondition changed_;
    UploadOrder order_;
    std::vector<bool> taken_;
    bool ended_ = false;
    bool removing_ = false;
    bool removalsClaimed_ = false;
    bool removalsDone_ = false;
};

}  // namespace velmora
