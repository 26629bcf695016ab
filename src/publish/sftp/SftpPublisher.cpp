#include "publish/sftp/SftpPublisher.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>
#include <exception>
#include <optional>
#include <thread>

#include "base/Prompter.h"
#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "publish/Retries.h"
#include "base/ScopeExit.h"
#include "publish/sftp/SftpUploader.h"

namespace velmora {

// What the two threads of one publish() share.
struct SftpPublisher::Run {
    SftpControl control;
    QMutex mutex;
    QWaitCondition answered;
    std::optional<HostKeyQuestion> question;  // asked by the worker
    std::optional<bool> answer;               // given on the caller's thread
    std::exception_ptr failure;               // set by the worker before it ends
    bool ended = false;                       // the caller's thread only
};

namespace {

// Runs one upload on a thread of its own. Its signals are delivered queued,
// on the thread of the publisher that started it. A plain std::thread: its
// join() waits until the thread is wholly gone, the thread-local state that
// OpenSSL keeps for libssh freed, where QThread::wait() may return earlier.
class SftpWorker : public PublishReports {
    Q_OBJECT
public:
    SftpWorker(SftpSession::Settings settings, int filesInFlight, const std::vector<UploadItem>& plan,
               const QByteArrayList& removals, SftpControl& control,
               std::function<bool(const HostKeyQuestion&)> trust, std::exception_ptr& failure)
        : settings_(std::move(settings)),
          filesInFlight_(filesInFlight),
          plan_(plan),
          removals_(removals),
          control_(control),
          trust_(std::move(trust)),
          failure_(failure)
    {
    }

signals:
    void hostKeyQuestionAsked();
    void ended();

public:
    void run()
    {
        try {
            UploadOrder order(plan_);
            RetrySchedule retries;
            bool connectedOnce = false;
            for (;;) {
                try {
                    runOnce(order, connectedOnce);
                    break;
                } catch (const SftpConnectionError& e) {
                    if (!connectedOnce) throw;
                    retryAfter(retries, order, e);
                } catch (const IncompleteFileError& e) {
                    retryAfter(retries, order, e);
                }
            }
        } catch (const VelmoraError&) {
            failure_ = std::current_exception();
        } catch (const std::exception& e) {
            failure_ = std::make_exception_ptr(SftpError(QString::fromLocal8Bit(e.what())));
        }
        // Last, so that every report before it has reached the publisher.
        emit ended();
    }

private:
    void runOnce(UploadOrder& order, bool& connectedOnce)
    {
        SftpSession session(control_);
        session.open(settings_, trust_, [this](const QString& text) { emit status(text); });
        connectedOnce = true;
        SftpUploader uploader(
            session,
            {.status = [this](const QString& text) { emit status(text); },
             .fileStarted = [this](int index, int count) { emit fileStarted(index, count); },
             .fileBytesSent = [this](int index, qint64 bytes) { emit fileBytesSent(index, bytes); },
             .fileConfirmed = [this](int index) { emit fileConfirmed(index); },
             .fileRemoved = [this](const QByteArray& name) { emit fileRemoved(name); }},
            filesInFlight_);
        uploader.upload(plan_, order);
        if (!removals_.isEmpty()) {
            emit status(QStringLiteral("Removing %1 files no longer in the project...").arg(removals_.size()));
            uploader.remove(removals_);
        }
        emit status(QStringLiteral("Disconnecting..."));
        session.close();
    }

    // Waits out the retry's delay, or throws the failure when the tries are
    // used up or the user stops.
    // Called while the failure is being handled: a bare throw passes it on.
    void retryAfter(RetrySchedule& retries, const UploadOrder& order, const VelmoraError& failure)
    {
        const std::optional<int> delay = retries.nextDelayMs(order.confirmedCount());
        if (!delay) throw;
        emit status(retries.statusText(failure.text()));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < *delay) {
            if (control_.stopRequested()) throw EAbortError(QStringLiteral("Upload stopped"));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    SftpSession::Settings settings_;
    int filesInFlight_;
    const std::vector<UploadItem>& plan_;
    const QByteArrayList& removals_;
    SftpControl& control_;
    std::function<bool(const HostKeyQuestion&)> trust_;
    std::exception_ptr& failure_;
};

}  // namespace

SftpPublisher::SftpPublisher(PublishDestination destination, QString knownHostsFile,
                             HostKeyTrust trust, QObject* parent)
    : Publisher(parent),
      destination_(std::move(destination)),
      knownHostsFile_(knownHostsFile.isEmpty() ? defaultKnownHostsFile() : std::move(knownHostsFile)),
      trust_(std::move(trust))
{
}

SftpPublisher::~SftpPublisher() = default;

void SftpPublisher::stop()
{
    if (run_) run_->control.requestStop();
}

QList<QHostAddress> SftpPublisher::lookUpHost()
{
    const QHostAddress literal(destination_.host);
    if (!literal.isNull()) return {literal};
    emit status(QStringLiteral("Looking up %1...").arg(destination_.host));

    struct Lookup {
        std::optional<QHostInfo> info;
    };
    auto lookup = std::make_shared<Lookup>();
    const int id = QHostInfo::lookupHost(destination_.host, this,
                                         [lookup](const QHostInfo& info) { lookup->info = info; });
    QElapsedTimer waited;
    waited.start();
    const std::shared_ptr<Run> run = run_;
    waitUntil([&] {
        return lookup->info || run->control.stopRequested() || waited.elapsed() > destination_.timeOutMs;
    });
    if (!lookup->info) {
        QHostInfo::abortHostLookup(id);
        if (run->control.stopRequested()) throw EAbortError(QStringLiteral("Upload stopped"));
        throw SftpError(QStringLiteral("Cannot find host '%1': no answer from the name service")
                            .arg(destination_.host));
    }
    if (lookup->info->error() != QHostInfo::NoError || lookup->info->addresses().isEmpty())
        throw SftpError(QStringLiteral("Cannot find host '%1': %2")
                            .arg(destination_.host, lookup->info->errorString()));
    return lookup->info->addresses();
}

void SftpPublisher::answerHostKeyQuestion()
{
    const std::shared_ptr<Run> run = run_;
    if (!run) return;
    std::optional<HostKeyQuestion> question;
    {
        QMutexLocker lock(&run->mutex);
        question = run->question;
    }
    if (!question || run->control.stopRequested()) return;
    // Asked without the lock held: the question may wait for the user.
    const bool trusted = trust_ && trust_(*question);
    QMutexLocker lock(&run->mutex);
    run->answer = trusted;
    run->answered.wakeAll();
}

void SftpPublisher::carryOut(const std::vector<UploadItem>& plan, const QByteArrayList& removals)
{
    if (run_) throw SftpError(QStringLiteral("An upload is already running"));
    const auto run = std::make_shared<Run>();
    run_ = run;
    const ScopeExit forget([this] { run_.reset(); });

    SftpSession::Settings settings;
    settings.addresses = lookUpHost();
    settings.host = destination_.host;
    settings.port = destination_.port;
    settings.user = destination_.user;
    settings.password = destination_.password;
    settings.knownHostsFile = knownHostsFile_;
    settings.timeOutMs = destination_.timeOutMs;

    // Asked on the worker thread: hands the question to this thread and
    // waits for the answer, or for a stop.
    SftpWorker* worker = nullptr;
    auto askHere = [run, &worker](const HostKeyQuestion& question) {
        QMutexLocker lock(&run->mutex);
        run->question = question;
        run->answer.reset();
        emit worker->hostKeyQuestionAsked();
        while (!run->answer && !run->control.stopRequested()) run->answered.wait(&run->mutex, 100);
        return run->answer.value_or(false);
    };
    SftpWorker job(std::move(settings), std::clamp(destination_.connections, kMinConnections, kMaxConnections),
                   plan, removals, run->control, askHere, run->failure);
    worker = &job;
    relay(job, *this);
    connect(&job, &SftpWorker::ended, this, [run] { run->ended = true; }, Qt::QueuedConnection);
    connect(&job, &SftpWorker::hostKeyQuestionAsked, this, [this] { answerHostKeyQuestion(); },
            Qt::QueuedConnection);
    EventWait wait;  // before the thread starts: nothing may fail once it runs
    std::thread thread([&job] { job.run(); });

    QElapsedTimer sinceStop;
    bool cut = false;
    wait.until([&] {
        if (run->ended) return true;
        if (run->control.stopRequested() && !cut) {
            if (!sinceStop.isValid()) sinceStop.start();
            // The worker had its chance to end cleanly; whatever libssh
            // still waits for now fails at once.
            if (sinceStop.elapsed() >= kStopGraceMs) {
                run->control.cutConnection();
                cut = true;
            }
        }
        return false;
    });
    thread.join();
    if (run->failure) std::rethrow_exception(run->failure);
    emit status(QStringLiteral("Done"));
}

HostKeyTrust askUserAboutHostKeys(Prompter& prompter)
{
    return [&prompter](const HostKeyQuestion& question) {
        return prompter.askYesNo(QStringLiteral("Unknown host key"), unknownHostKeyQuestion(question)) ==
               Answer::Yes;
    };
}

}  // namespace velmora

#include "SftpPublisher.moc"
