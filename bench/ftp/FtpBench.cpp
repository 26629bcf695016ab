// Publishing to a local pyftpdlib: 1,000 small page files and, separately,
// one 200 MB file, with our client and with curl -T against the same server
// in the same run. curl goes both in its own default (passive) mode and in
// active mode, as ours does. Targets: within 1.5x of curl's time for the
// 1,000 files and within 1.2x for the large file.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <string>

#include "ftp/FtpErrors.h"
#include "ftp/VexFTP.h"

namespace {

using namespace velmora;

constexpr int kSmallFiles = 1000;
constexpr qint64 kLargeSize = 200 * 1024 * 1024;

// Files live in memory where the machine has /dev/shm, so that the disk's
// write-back of the last 200 MB does not land in the next measurement.
QString scratchTemplate()
{
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                  : QStringLiteral("/work");
    return base + QStringLiteral("/velmora-ftp-bench-XXXXXX");
}

// The server, its folder and the files to send, for the whole run.
class Setting {
public:
    Setting() : serverRoot_(scratchTemplate()), local_(scratchTemplate())
    {
        QDir(serverRoot_.path()).mkpath(QStringLiteral("small"));
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

        server_.setProgram(QStringLiteral("/usr/bin/python3"));
        server_.setArguments({QStringLiteral(VELMORA_PYFTPD_SCRIPT), serverRoot_.path()});
        server_.start();
        server_.waitForStarted();
        QDeadlineTimer deadline(15000);
        QByteArray out;
        while (!out.contains('\n') && server_.waitForReadyRead(int(deadline.remainingTime())))
            out += server_.readAllStandardOutput();
        if (out.startsWith("PORT ")) port_ = out.mid(5).trimmed().toInt();
    }
    ~Setting()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }

    bool ready() const { return port_ > 0; }
    int port() const { return port_; }
    QString smallDir() const { return local_.filePath(QStringLiteral("small")); }
    QString smallName(int i) const
    {
        return QStringLiteral("page%1.htm").arg(i, 4, 10, QLatin1Char('0'));
    }
    QString smallFile(int i) const { return smallDir() + u'/' + smallName(i); }
    QString largeFile() const { return local_.filePath(QStringLiteral("large.bin")); }
    QString url(const QString& path) const
    {
        return QStringLiteral("ftp://127.0.0.1:%1/%2").arg(port_).arg(path);
    }
    qint64 storedSize(const QString& name) const
    {
        return QFileInfo(serverRoot_.filePath(name)).size();
    }

private:
    QTemporaryDir serverRoot_;
    QTemporaryDir local_;
    QProcess server_;
    int port_ = 0;
};

void connectClient(TVexFTP& ftp, const Setting& setting)
{
    ftp.Host = QStringLiteral("127.0.0.1");
    ftp.Port = setting.port();
    ftp.UserID = "alice";
    ftp.Password = "secret";
    ftp.TimeOut = 30000;
    ftp.Connect();
}

void ourSmallFiles(benchmark::State& state, const Setting* setting)
{
    for (auto _ : state) {
        try {
            TVexFTP ftp;
            connectClient(ftp, *setting);
            for (int i = 0; i < kSmallFiles; ++i)
                ftp.Upload(setting->smallFile(i), "small/" + setting->smallName(i).toUtf8());
            ftp.Disconnect();
        } catch (const VelmoraError& e) {
            state.SkipWithError(e.what());
        }
    }
    if (setting->storedSize(QStringLiteral("small/page0999.htm")) <= 0)
        state.SkipWithError("the last file did not arrive");
}

void ourLargeFile(benchmark::State& state, const Setting* setting)
{
    for (auto _ : state) {
        try {
            TVexFTP ftp;
            connectClient(ftp, *setting);
            ftp.Upload(setting->largeFile(), "large.bin");
            ftp.Disconnect();
        } catch (const VelmoraError& e) {
            state.SkipWithError(e.what());
        }
    }
    if (setting->storedSize(QStringLiteral("large.bin")) != kLargeSize)
        state.SkipWithError("the large file arrived incomplete");
    state.SetBytesProcessed(state.iterations() * kLargeSize);
}

int runCurl(const QStringList& args)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-s"), QStringLiteral("-S"),
                                                   QStringLiteral("--user"),
                                                   QStringLiteral("alice:secret")} +
                                           args);
    curl.waitForFinished(-1);
    return curl.exitStatus() == QProcess::NormalExit ? curl.exitCode() : -1;
}

QStringList activeMode(bool active)
{
    return active ? QStringList{QStringLiteral("--ftp-port"), QStringLiteral("127.0.0.1")}
                  : QStringList{};
}

void curlSmallFiles(benchmark::State& state, const Setting* setting, bool active)
{
    // One curl for all files, so it keeps its connection as ours does.
    QStringList names;
    for (int i = 0; i < kSmallFiles; ++i) names << setting->smallFile(i);
    const QString glob = u'{' + names.join(u',') + u'}';
    for (auto _ : state) {
        if (runCurl(activeMode(active) + QStringList{QStringLiteral("-T"), glob,
                                                     setting->url(QStringLiteral("small/"))}) != 0)
            state.SkipWithError("curl failed");
    }
}

void curlLargeFile(benchmark::State& state, const Setting* setting, bool active)
{
    for (auto _ : state) {
        const QStringList upload = {QStringLiteral("-T"), setting->largeFile(),
                                    setting->url(QStringLiteral("large.bin"))};
        if (runCurl(activeMode(active) + upload) != 0) state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * kLargeSize);
}

// Keeps each benchmark's median real time for the comparison at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
    }

    void printRatio(const char* ours, const char* theirs, double target) const
    {
        const auto a = milliseconds.find(ours), b = milliseconds.find(theirs);
        if (a == milliseconds.end() || b == milliseconds.end() || b->second <= 0) return;
        std::printf("%-20s %8.0f ms  %-24s %8.0f ms  ratio %.2f (target %.1f)\n", ours, a->second,
                    theirs, b->second, a->second / b->second, target);
    }

    std::map<std::string, double> milliseconds;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Setting setting;
    if (!setting.ready()) {
        std::fprintf(stderr, "pyftpdlib did not start under /usr/bin/python3\n");
        return 1;
    }
    const auto add = [](const char* name, auto function) {
        benchmark::RegisterBenchmark(name, function)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(5);
    };
    add("velmora_1000_files", [&](benchmark::State& s) { ourSmallFiles(s, &setting); });
    add("curl_1000_files", [&](benchmark::State& s) { curlSmallFiles(s, &setting, false); });
    add("curl_active_1000_files", [&](benchmark::State& s) { curlSmallFiles(s, &setting, true); });
    add("velmora_200MB", [&](benchmark::State& s) { ourLargeFile(s, &setting); });
    add("curl_200MB", [&](benchmark::State& s) { curlLargeFile(s, &setting, false); });
    add("curl_active_200MB", [&](benchmark::State& s) { curlLargeFile(s, &setting, true); });
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nmedians:\n");
    reporter.printRatio("velmora_1000_files", "curl_1000_files", 1.5);
    reporter.printRatio("velmora_1000_files", "curl_active_1000_files", 1.5);
    reporter.printRatio("velmora_200MB", "curl_200MB", 1.2);
    reporter.printRatio("velmora_200MB", "curl_active_200MB", 1.2);
    benchmark::Shutdown();
    return 0;
}
