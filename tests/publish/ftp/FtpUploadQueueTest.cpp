// The order in which the sessions of a Send are handed files: images, then
// the pages after them, then the site files one by one; a file given back
// for a retry goes again before anything that waits for it. The removals
// come last.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

#include "publish/ftp/FtpUploadQueue.h"

namespace velmora {
namespace {

using Kind = UploadItem::Kind;
using namespace std::chrono_literals;

std::vector<UploadItem> planOf(std::initializer_list<Kind> kinds)
{
    std::vector<UploadItem> plan;
    for (const Kind kind : kinds)
        plan.push_back({kind, "local", "remote" + QByteArray::number(int(plan.size()))});
    return plan;
}

// A take() on another session's thread, which must wait until `release`
// lets a file go and then gets `expected`.
void expectWaitingTake(FtpUploadQueue& queue, const std::function<void()>& release,
                       std::optional<int> expected, const char* what)
{
    std::future<std::optional<int>> next = std::async(std::launch::async, [&] { return queue.take(); });
    EXPECT_EQ(next.wait_for(100ms), std::future_status::timeout) << what;
    release();
    EXPECT_EQ(next.get(), expected) << what;
}

TEST(FtpUploadQueueTest, TheGroupsKeepTheirOrderThroughRetries)
{
    FtpUploadQueue queue(planOf({Kind::Image, Kind::Page, Kind::Page, Kind::SiteFile, Kind::SiteFile}),
                         true);
    EXPECT_EQ(queue.take(), 0);
    expectWaitingTake(queue, [&] { queue.giveBack(0); }, 0, "pages wait for a retried image");
    queue.confirm(0);
    EXPECT_EQ(queue.take(), 1);
    EXPECT_EQ(queue.take(), 2);
    queue.giveBack(1);
    queue.confirm(2);
    EXPECT_EQ(queue.take(), 1) << "the retried page goes again";
    expectWaitingTake(queue, [&] { queue.confirm(1); }, 3, "site files wait for a retried page");
    expectWaitingTake(queue, [&] { queue.confirm(3); }, 4, "one site file after the other");
    EXPECT_FALSE(queue.claimRemovals()) << "not before every file is confirmed";
    queue.confirm(4);
    EXPECT_EQ(queue.take(), std::nullopt);
    EXPECT_FALSE(queue.finished()) << "the removals are still to come";
    EXPECT_TRUE(queue.claimRemovals());
    EXPECT_FALSE(queue.claimRemovals()) << "one session removes";
    queue.removalsDone();
    EXPECT_TRUE(queue.finished());
}

}  // namespace
}  // namespace velmora
