// Publishing to a local vsftpd in passive mode: 1,000 small page files and,
// separately, one 200 MB file, once in plain FTP and once over explicit
// FTPS, with Velmora's publisher and with curl -T against the same server in
// the same run. Target: within 1.2x of curl's time on each.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>

#include "support/VsftpdServer.h"
#include "base/Errors.h"
#include "publish/PublisherFactory.h"
#include "support/MedianReporter.h"

namespace {

using namespace velmora;
using test::VsftpdServer;

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

enum class Security { Plain, Tls };

// The servers, their folders and the files to send, for the whole run.
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

        plain_ = std::make_unique<VsftpdServer>(serverRoot_.path());
        // Session reuse is not required here: curl does not resume every
        // data connection, and both contenders meet the same server.
        test::VsftpdOptions tls{.tls = true,
                                .certificateFile = certificates_.certificateFile(),
                                .keyFile = certificates_.keyFile(),
                                .requireSessionReuse = false,
                                .strictTlsClose = false};
        if (certificates_.isValid()) tls_ = std::make_unique<VsftpdServer>(serverRoot_.path(), tls);
    }

    QString problem() const
    {
        if (!plain_->isRunning()) return plain_->error();
        if (!certificates_.isValid()) return certificates_.error();
        if (!tls_->isRunning()) return tls_->error();
        return {};
    }
    int port(Security security) const
    {
        return security == Security::Tls ? tls_->port() : plain_->port();
    }
    QString caFile() const { return certificates_.caFile(); }
    QString smallName(int i) const
    {
        return QStringLiteral("page%1.htm").arg(i, 4, 10, QLatin1Char('0'));
    }
    QString smallFile(int i) const
    {
        return local_.filePath(QStringLiteral("small/")) + smallName(i);
    }
    QString largeFile() const { return local_.filePath(QStringLiteral("large.bin")); }
    QString url(Security security, const QString& path) const
    {
        return QStringLiteral("ftp://127.0.0.1:%1/%2").arg(port(security)).arg(path);
    }
    qint64 storedSize(const QString& name) const
    {
        return QFileInfo(serverRoot_.filePath(name)).size();
    }
    void removeStored(const QString& name) const { QFile::remove(serverRoot_.filePath(name)); }

private:
    QTemporaryDir serverRoot_;
    QTemporaryDir local_;
    test::TestCertificates certificates_;
    std::unique_ptr<VsftpdServer> plain_;
    std::unique_ptr<VsftpdServer> tls_;
};

PublishDestination destination(const Setting& setting, Security security)
{
    PublishDestination d;
    d.protocol = security == Security::Tls ? PublishProtocol::Ftps : PublishProtocol::Ftp;
    d.host = QStringLiteral("127.0.0.1");
    d.port = setting.port(security);
    d.user = VsftpdServer::kUser;
    d.password = VsftpdServer::kPassword;
    d.passive = true;
    d.timeOutMs = 30000;
    if (security == Security::Tls) d.caFile = setting.caFile();
    return d;
}

void ours(benchmark::State& state, const Setting* setting, Security security, bool large)
{
    std::vector<UploadItem> plan;
    if (large) {
        plan.push_back(
            {UploadItem::Kind::Page, QFile::encodeName(setting->largeFile()), "large.bin"});
    } else {
        for (int i = 0; i < kSmallFiles; ++i)
            plan.push_back({UploadItem::Kind::Page, QFile::encodeName(setting->smallFile(i)),
                            "small/" + setting->smallName(i).toUtf8()});
    }
    PublishDestination d = destination(*setting, security);
    d.directory = large ? QByteArray() : QByteArray("small");
    const QString last = large ? QStringLiteral("large.bin") : QStringLiteral("small/page0999.htm");
    for (auto _ : state) {
        setting->removeStored(last);  // an unlink: nothing next to the upload
        try {
            makePublisher(d)->publish(plan);
        } catch (const VelmoraError& e) {
            state.SkipWithError(e.what());
        }
    }
    if (setting->storedSize(last) != QFileInfo(QFile::decodeName(plan.back().localPath)).size())
        state.SkipWithError("the last file arrived incomplete");
    if (large) state.SetBytesProcessed(state.iterations() * kLargeSize);
}

int runCurl(const QStringList& args)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               QStringList{QStringLiteral("-s"), QStringLiteral("-S"), QStringLiteral("--user"),
                           QStringLiteral("%1:%2")
                               .arg(QLatin1String(VsftpdServer::kUser),
                                    QLatin1String(VsftpdServer::kPassword))} +
                   args);
    curl.waitForFinished(-1);
    if (curl.exitStatus() != QProcess::NormalExit) return -1;
    if (curl.exitCode() != 0) std::fputs(curl.readAllStandardError().constData(), stderr);
    return curl.exitCode();
}

void theirs(benchmark::State& state, const Setting* setting, Security security, bool large)
{
    QStringList args;  // passive is curl's default
    if (security == Security::Tls)
        args << QStringLiteral("--ssl-reqd") << QStringLiteral("--cacert") << setting->caFile();
    QString last;
    if (large) {
        args << QStringLiteral("-T") << setting->largeFile()
             << setting->url(security, QStringLiteral("large.bin"));
        last = QStringLiteral("large.bin");
    } else {
        // One curl for all files, so it keeps its connection as ours does.
        QStringList names;
        for (int i = 0; i < kSmallFiles; ++i) names << setting->smallFile(i);
        args << QStringLiteral("-T") << u'{' + names.join(u',') + u'}'
             << setting->url(security, QStringLiteral("small/"));
        last = QStringLiteral("small/page0999.htm");
    }
    for (auto _ : state) {
        setting->removeStored(last);  // an unlink: nothing next to the upload
        if (runCurl(args) != 0) state.SkipWithError("curl failed");
    }
    if (setting->storedSize(last) <= 0) state.SkipWithError("the last file did not arrive");
    if (large) state.SetBytesProcessed(state.iterations() * kLargeSize);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Setting setting;
    if (const QString problem = setting.problem(); !problem.isEmpty()) {
        std::fprintf(stderr, "no server: %s\n", problem.toLocal8Bit().constData());
        return 1;
    }
    struct Case {
        const char* name;
        Security security;
        bool large;
    };
    const Case cases[] = {
        {"1000_files", Security::Plain, false},
        {"200MB", Security::Plain, true},
        {"ftps_1000_files", Security::Tls, false},
        {"ftps_200MB", Security::Tls, true},
    };
    const auto add = [](const std::string& name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), function)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(5);
    };
    for (const Case& c : cases) {
        add(std::string("velmora_") + c.name,
            [&, c](benchmark::State& s) { ours(s, &setting, c.security, c.large); });
        add(std::string("curl_") + c.name,
            [&, c](benchmark::State& s) { theirs(s, &setting, c.security, c.large); });
    }
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nmedians:\n");
    for (const Case& c : cases)
        reporter.printRatio(std::string("velmora_") + c.name, std::string("curl_") + c.name, 1.2);
    benchmark::Shutdown();
    return 0;
}
