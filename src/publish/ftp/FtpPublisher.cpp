#include "publish/ftp/FtpPublisher.h"

#include <QThread>
#include <functional>

#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "base/ScopeExit.h"
#include "publish/ftp/FtpSessionWorker.h"
#include "publish/ftp/FtpUploadQueue.h"

namespace velmora {

namespace {

struct Session {
    std::unique_ptr<FtpSessionWorker> worker;
    std::unique_ptr<QThread> thread;
};

}  // namespace

FtpPublisher::FtpPublisher(PublishDestination destination, QObject* parent)
    : Publisher(parent), destination_(std::move(destination))
{
}

FtpPublisher::~FtpPublisher() = default;

void FtpPublisher::carryOut(const std::vector<UploadItem>& plan, const QByteArrayList& removals)
{
    if (running_) throw VelmoraError(QStringLiteral("A Send is running already"));
    running_ = true;
    stopRequested_ = false;
    FtpUploadQueue queue(plan, !removals.isEmpty());
    const int wanted = std::min(std::clamp(destination_.connections, kMinConnections, kMaxConnections),
                                std::max(1, static_cast<int>(plan.size())));
    std::vector<Session> sessions;
    sessions.reserve(std::size_t(wanted));
    int ended = 0;
    bool othersStarted = false;

    std::function<void()> startOthers;
    const auto start = [&](int number) {
        Session& session = sessions.emplace_back();
        session.worker = std::make_unique<FtpSessionWorker>(destination_, plan, removals, queue, number);
        FtpSessionWorker* worker = session.worker.get();
        relay(*worker, *this);
        connect(worker, &FtpSessionWorker::ended, this, [&ended] { ++ended; }, Qt::QueuedConnection);
        if (number == 0)
            connect(worker, &FtpSessionWorker::loggedIn, this, [&startOthers] { startOthers(); },
                    Qt::QueuedConnection);
        workers_.append(worker);
        session.thread.reset(QThread::create([worker] { worker->run(); }));
        session.thread->start();
    };
    // The first session logs in (and makes the folders) alone, so that a
    // refused login or certificate is met once; the others follow it.
    startOthers = [&] {
        if (std::exchange(othersStarted, true) || stopRequested_ || queue.finished()) return;
        for (int number = 1; number < wanted; ++number) start(number);
    };

    queue_ = &queue;
    const ScopeExit forget([&] {
        // Nothing outlives this call: sessions still running (a failure of
        // this thread's own) are stopped first.
        queue.end();
        for (FtpSessionWorker* worker : workers_) worker->cancel();
        for (Session& session : sessions) session.thread->wait();
        workers_.clear();
        queue_ = nullptr;
        running_ = false;
    });
    EventWait wait;  // before the first thread starts: nothing may fail once one runs
    start(0);
    bool withdrawn = false;
    wait.until([&] {
        // Sessions still logging in once everything is done are not waited for.
        if (!withdrawn && queue.finished()) {
            withdrawn = true;
            for (FtpSessionWorker* worker : workers_) worker->withdraw();
        }
        return ended == static_cast<int>(sessions.size());
    });
    for (Session& session : sessions) session.thread->wait();

    if (stopRequested_) throw EAbortError(QStringLiteral("Send stopped"));
    for (const Session& session : sessions)
        if (session.worker->failure()) std::rethrow_exception(session.worker->failure());
    if (!queue.allConfirmed()) throw ESockError(QStringLiteral("Connection Lost"));
}

void FtpPublisher::stop()
{
    stopRequested_ = true;
    if (queue_) queue_->end();
    for (FtpSessionWorker* worker : workers_) worker->cancel();
}

}  // namespace velmora
