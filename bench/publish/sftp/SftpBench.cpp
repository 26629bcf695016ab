// Publishing over SFTP to a local OpenSSH server: 1,000 small page files
// and, separately, one 200 MB file, with our publisher and with OpenSSH's
// own `sftp -b` doing the same puts against the same server in the same
// run. Target: within 1.5x of sftp's time on each. Also the time from Stop
// to the end of an upload; target: within a second.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "support/SshServer.h"
#include "publish/sftp/SftpPublisher.h"
#include "support/MedianReporter.h"

namespace {

using namespace velmora;

constexpr int kSmallFiles = 1000;
constexpr qint64 kLargeSize = 200 * 1024 * 1024;

// In memory where the machine has /dev/shm, so that the disk's write-back of
// one 200 MB upload does not land in the next measurement.
QString scratchFolder()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

class Setting {
public:
    Setting()
        : server_({.smallDisk = {}, .smallDiskBytes = 0, .parentFolder = scratchFolder()}),
          local_(scratchFolder() + QStringLiteral("/velmora-sftp-bench-XXXXXX"))
    {
        QDir(local_.path()).mkpath(QStringLiteral("small"));
        for (int i = 0; i < kSmallFiles; ++i) {
            QFile file(smallFile(i));
            file.open(QIODevice::WriteOnly);
            QByteArray page = "<html><head><title>page " + QByteArray::number(i) +
                              "</title></head><body>\r\n";
            while (page.size() < 2000) page += "<p>keyword phrase and its words</p>\r\n";
            file.write(page + "</body></html>\r\n");
        }
        QFile large(largeFile());
        large.open(QIODevice::WriteOnly);
        QByteArray chunk(1024 * 1024, '\0');
        QRandomGenerator generator(1);
        for (char& c : chunk) c = static_cast<char>(generator.bounded(256));
        for (qint64 written = 0; written < kLargeSize; written += chunk.size()) large.write(chunk);
        large.close();
        QFile sparse(sparseFile());
        sparse.open(QIODevice::WriteOnly);
        sparse.resize(qint64(1) << 30);
        sparse.close();

        QFile known(knownHosts());
        known.open(QIODevice::WriteOnly);
        known.write(server_.knownHostsLine());
        known.close();

        // The same puts for sftp, one batch file per case.
        QFile smallBatch(local_.filePath(QStringLiteral("small.batch")));
        smallBatch.open(QIODevice::WriteOnly);
        smallBatch.write("-mkdir sftp-small\n");
        for (int i = 0; i < kSmallFiles; ++i)
            smallBatch.write("put " + QFile::encodeName(smallFile(i)) + " sftp-small/" +
                             smallName(i).toUtf8() + "\n");
        QFile largeBatch(local_.filePath(QStringLiteral("large.batch")));
        largeBatch.open(QIODevice::WriteOnly);
        largeBatch.write("put " + QFile::encodeName(largeFile()) + " sftp-large.bin\n");
    }

    bool ready() const { return server_.isRunning(); }
    const test::SshServer& server() const { return server_; }
    QString smallName(int i) const { return QStringLiteral("page%1.htm").arg(i, 4, 10, QLatin1Char('0')); }
    QString smallFile(int i) const { return local_.filePath(QStringLiteral("small/") + smallName(i)); }
    QString largeFile() const { return local_.filePath(QStringLiteral("large.bin")); }
    QString sparseFile() const { return local_.filePath(QStringLiteral("sparse.bin")); }
    test::SshServer& server() { return server_; }
    QString knownHosts() const { return local_.filePath(QStringLiteral("known_hosts")); }
    QString batch(const char* name) const { return local_.filePath(QString::fromLatin1(name)); }
    qint64 storedSize(const QString& name) const { return QFileInfo(server_.home() + u'/' + name).size(); }

    PublishDestination destination() const
    {
        PublishDestination where;
        where.protocol = PublishProtocol::Sftp;
        where.host = QStringLiteral("127.0.0.1");
        where.port = server_.port();
        where.user = test::SshServer::user();
        where.password = test::SshServer::password();
        return where;
    }

private:
    test::SshServer server_;
    QTemporaryDir local_;
};

void ours(benchmark::State& state, const Setting* setting, const std::vector<UploadItem>& plan)
{
    for (auto _ : state) {
        try {
            SftpPublisher publisher(setting->destination(), setting->knownHosts(), {});
            publisher.publish(plan);
        } catch (const VelmoraError& e) {
            state.SkipWithError(e.what());
        }
    }
}

// From Stop to publish() giving up, in the middle of a 1 GB file (holes,
// no disk): the upload tidies up on a live server; on a frozen one the
// connection is cut. Either must end within a second.
void stopLatency(benchmark::State& state, Setting* setting, bool freezeServer)
{
    for (auto _ : state) {
        SftpPublisher publisher(setting->destination(), setting->knownHosts(), {});
        QElapsedTimer sinceStop;
        QObject::connect(&publisher, &Publisher::fileBytesSent, [&](int, qint64 bytes) {
            if (bytes == 0 || sinceStop.isValid()) return;
            if (freezeServer) setting->server().pauseSessions();
            sinceStop.start();
            publisher.stop();
        });
        try {
            publisher.publish({{UploadItem::Kind::Page, QFile::encodeName(setting->sparseFile()),
                               "velmora-stopped.bin"}});
            state.SkipWithError("the upload was not stopped");
        } catch (const VelmoraError&) {
        }
        state.SetIterationTime(sinceStop.isValid() ? sinceStop.nsecsElapsed() / 1e9 : 0);
        if (freezeServer) setting->server().killSessions();
    }
}

void theirs(benchmark::State& state, const Setting* setting, const char* batch)
{
    for (auto _ : state) {
        QProcess sftp;
        sftp.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sftp.setStandardOutputFile(QProcess::nullDevice());
        sftp.start(QStringLiteral("sftp"),
                   {QStringLiteral("-q"), QStringLiteral("-b"), setting->batch(batch),
                    QStringLiteral("-i"), setting->server().clientKeyFile(), QStringLiteral("-o"),
                    QStringLiteral("UserKnownHostsFile=") + setting->knownHosts(),
                    QStringLiteral("-o"), QStringLiteral("StrictHostKeyChecking=yes"),
                    QStringLiteral("-o"), QStringLiteral("IdentitiesOnly=yes"),
                    QStringLiteral("-P"), QString::number(setting->server().port()),
                    QString::fromUtf8(test::SshServer::user()) + QStringLiteral("@127.0.0.1")});
        sftp.waitForFinished(-1);
        if (sftp.exitStatus() != QProcess::NormalExit || sftp.exitCode() != 0)
            state.SkipWithError("sftp failed");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Setting setting;
    if (!setting.ready()) {
        std::fprintf(stderr, "sshd did not start (the benchmark runs as root)\n");
        return 1;
    }
    std::vector<UploadItem> smallPlan;
    for (int i = 0; i < kSmallFiles; ++i)
        smallPlan.push_back({UploadItem::Kind::Page, QFile::encodeName(setting.smallFile(i)),
                             "velmora-small/" + setting.smallName(i).toUtf8()});
    const std::vector<UploadItem> largePlan = {
        {UploadItem::Kind::Page, QFile::encodeName(setting.largeFile()), "velmora-large.bin"}};

    const auto add = [](const char* name, auto function) {
        benchmark::RegisterBenchmark(name, function)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(5);
    };
    add("velmora_1000_files", [&](benchmark::State& s) { ours(s, &setting, smallPlan); });
    add("sftp_1000_files", [&](benchmark::State& s) { theirs(s, &setting, "small.batch"); });
    add("velmora_200MB", [&](benchmark::State& s) { ours(s, &setting, largePlan); });
    add("sftp_200MB", [&](benchmark::State& s) { theirs(s, &setting, "large.batch"); });
    for (const bool freeze : {false, true})
        benchmark::RegisterBenchmark(freeze ? "stop_frozen_server" : "stop", [&setting, freeze](benchmark::State& s) {
            stopLatency(s, &setting, freeze);
        })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(5);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const bool arrived = setting.storedSize(QStringLiteral("velmora-small/page0999.htm")) > 0 &&
                         setting.storedSize(QStringLiteral("sftp-small/page0999.htm")) > 0 &&
                         setting.storedSize(QStringLiteral("velmora-large.bin")) == kLargeSize &&
                         setting.storedSize(QStringLiteral("sftp-large.bin")) == kLargeSize;
    std::printf("\nall files arrived whole: %s\nmedians:\n", arrived ? "yes" : "NO");
    reporter.printRatio("velmora_1000_files", "sftp_1000_files", 1.5);
    reporter.printRatio("velmora_200MB", "sftp_200MB", 1.5);
    for (const char* stop : {"stop", "stop_frozen_server"})
        if (const std::optional<double> median = reporter.median(stop))
            std::printf("%-20s %8.0f ms  (target: under 1000 ms)\n", stop, *median);
    benchmark::Shutdown();
    return arrived ? 0 : 1;
}
