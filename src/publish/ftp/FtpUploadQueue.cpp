#include "publish/ftp/FtpUploadQueue.h"

#include <QMutexLocker>

namespace velmora {

namespace {

// A waiting session looks again this often even when nothing told it to.
constexpr int kRecheckMs = 50;

}  // namespace

FtpUploadQueue::FtpUploadQueue(const std::vector<UploadItem>& plan, bool removing)
    : order_(plan), taken_(plan.size(), false), removing_(removing)
{
}

std::optional<int> FtpUploadQueue::take()
{
    QMutexLocker lock(&mutex_);
    for (;;) {
        if (ended_ || order_.allConfirmed()) return std::nullopt;
        const int end = std::min(order_.size(), order_.firstOpen() + kLookAhead);
        for (int i = order_.firstOpen(); i < end; ++i) {
            if (taken_[std::size_t(i)] || !order_.canStart(i)) continue;
            taken_[std::size_t(i)] = true;
            return i;
        }
        changed_.wait(&mutex_, kRecheckMs);
    }
}

void FtpUploadQueue::confirm(int index)
{
    QMutexLocker lock(&mutex_);
    order_.confirm(index);
    changed_.wakeAll();
}

void FtpUploadQueue::giveBack(int index)
{
    QMutexLocker lock(&mutex_);
    if (index >= 0 && index < order_.size()) taken_[std::size_t(index)] = false;
    changed_.wakeAll();
}

void FtpUploadQueue::end()
{
    QMutexLocker lock(&mutex_);
    ended_ = true;
    changed_.wakeAll();
}

bool FtpUploadQueue::ended() const
{
    QMutexLocker lock(&mutex_);
    return ended_;
}

int FtpUploadQueue::confirmedCount() const
{
    QMutexLocker lock(&mutex_);
    return order_.confirmedCount();
}

bool FtpUploadQueue::allConfirmed() const
{
    QMutexLocker lock(&mutex_);
    return order_.allConfirmed();
}

bool FtpUploadQueue::claimRemovals()
{
    QMutexLocker lock(&mutex_);
    if (!order_.allConfirmed() || ended_ || removalsClaimed_) return false;
    removalsClaimed_ = true;
    return true;
}

void FtpUploadQueue::removalsDone()
{
    QMutexLocker lock(&mutex_);
    removalsDone_ = true;
}

bool FtpUploadQueue::finished() const
{
    QMutexLocker lock(&mutex_);
    return ended_ || (order_.allConfirmed() && (!removing_ || removalsDone_));
}

}  // namespace velmora
