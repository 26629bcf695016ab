// velmora-cli upload: generates a project's pages as `generate` does, then
// publishes them exactly as the FTP dialog's Send does, or over SFTP.

#include <QDir>
#include <optional>

#include "CliCommands.h"
#include "base/Errors.h"
#include "ftp/Publishing.h"
#include "ftp/SftpPublisher.h"
#include "ftp/VexFTP.h"
#include "generate/HeadlessGeneration.h"

namespace velmora::cli {

namespace {

constexpr const char* kUsage =
    "usage: velmora-cli upload PROJECT.kpj --host HOST [--port N] --user USER [--dir DIR] "
    "[--protocol ftp|sftp] [--known-hosts FILE] [--accept-new-host-key] [--site-url URL]";
// Read from the environment only, so it shows in no process list.
constexpr const char* kPasswordVariable = "VELMORA_FTP_PASSWORD";
// As the dialog's client: a silent server ends in a time-out failure.
constexpr int kTimeOut = 30000;

struct UploadArguments {
    QString project;
    QString host;
    std::optional<int> port;
    QByteArray user;
    QByteArray directory;
    std::optional<QString> siteAddress;
    bool sftp = false;
    QString knownHosts;  // empty: ~/.ssh/known_hosts
    bool acceptNewHostKey = false;
};

void printLine(std::FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int failWith(const Output& io, const QString& text)
{
    // One line: a server's reply keeps its own line end.
    printLine(io.err, text.trimmed().toUtf8());
    return 1;
}

// Nothing when the arguments do not make a valid call.
std::optional<UploadArguments> parse(const QStringList& args)
{
    UploadArguments parsed;
    bool hasHost = false, hasUser = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--host") && hasValue) {
            parsed.host = args[++i];
            hasHost = true;
        } else if (arg == QLatin1String("--user") && hasValue) {
            parsed.user = args[++i].toUtf8();
            hasUser = true;
        } else if (arg == QLatin1String("--site-url") && hasValue) {
            parsed.siteAddress = args[++i];
        } else if (arg == QLatin1String("--dir") && hasValue) {
            parsed.directory = args[++i].toUtf8();
        } else if (arg == QLatin1String("--port") && hasValue) {
            bool ok = false;
            parsed.port = args[++i].toInt(&ok);
            if (!ok || *parsed.port < 1 || *parsed.port > 65535) return std::nullopt;
        } else if (arg == QLatin1String("--protocol") && hasValue) {
            const QString protocol = args[++i];
            if (protocol != QLatin1String("ftp") && protocol != QLatin1String("sftp")) return std::nullopt;
            parsed.sftp = protocol == QLatin1String("sftp");
        } else if (arg == QLatin1String("--known-hosts") && hasValue) {
            parsed.knownHosts = args[++i];
            if (parsed.knownHosts.isEmpty()) return std::nullopt;
        } else if (arg == QLatin1String("--accept-new-host-key")) {
            parsed.acceptNewHostKey = true;
        } else if (!arg.startsWith(QLatin1String("--")) && parsed.project.isEmpty()) {
            parsed.project = arg;
        } else {
            return std::nullopt;
        }
    }
    if (parsed.project.isEmpty() || !hasHost || !hasUser) return std::nullopt;
    // Host keys belong to SSH alone.
    if (!parsed.sftp && (!parsed.knownHosts.isEmpty() || parsed.acceptNewHostKey)) return std::nullopt;
    return parsed;
}

// Prints each remote name once the server has it under its final name.
void uploadBySftp(const UploadArguments& call, const std::vector<UploadItem>& plan, const Output& io)
{
    PublishDestination where;
    where.protocol = PublishProtocol::Sftp;
    where.host = call.host;
    where.port = call.port.value_or(22);
    where.user = call.user;
    where.password = qgetenv(kPasswordVariable);
    where.directory = call.directory;
    where.timeOutMs = kTimeOut;
    // Without the option an unknown key is refused, naming its fingerprint;
    // a changed key is refused whatever the options.
    HostKeyTrust trust;
    if (call.acceptNewHostKey) trust = [](const HostKeyQuestion&) { return true; };
    SftpPublisher publisher(where, call.knownHosts, trust);
    QObject::connect(&publisher, &Publisher::fileConfirmed, [&](int index) {
        printLine(io.out, plan[static_cast<std::size_t>(index)].remoteName);
    });
    try {
        publisher.publish(plan);
    } catch (const UnknownHostKeyError& e) {
        throw UnknownHostKeyError(e.text() + QStringLiteral(
                                                 ". Check the fingerprint, then run again with "
                                                 "--accept-new-host-key to trust and record it"));
    }
}

}  // namespace

int uploadCommand(const QStringList& args, const Output& io)
{
    const std::optional<UploadArguments> call = parse(args);
    if (!call) return failWith(io, QLatin1String(kUsage));
    try {
        HeadlessProject project(call->project, QDir::currentPath());
        if (call->siteAddress) recordSiteAddress(project, *call->siteAddress);
        project.generate();
        // Checked whole before connecting; what it leaves out is told once,
        // with what generation left out.
        const QByteArray directory = NormalisedRemoteDirectory(call->directory);
        const PlannedUploads planned = PlanUploads(project.project().pages, directory);
        QStringList skipped = project.skippedImages();
        for (const QString& warning : planned.skippedImages)
            if (!skipped.contains(warning)) skipped.append(warning);
        for (const QString& warning : skipped) printLine(io.err, warning.toUtf8());
        std::vector<UploadItem> plan = planned.items;
        AppendSiteFiles(plan, project.siteFiles(), directory);
        if (call->sftp) {
            uploadBySftp(*call, plan, io);
            return 0;
        }

        TVexFTP ftp;
        ftp.Host = call->host;
        ftp.Port = call->port.value_or(21);
        ftp.UserID = call->user;
        ftp.Password = qgetenv(kPasswordVariable);
        ftp.TimeOut = kTimeOut;
        ftp.Connect();
        UploadPlan(ftp, plan,
                   [&](const UploadItem& item, int, int) { printLine(io.out, item.remoteName); });
        ftp.Disconnect();
    } catch (const VelmoraError& e) {
        return failWith(io, e.text());
    }
    return 0;
}

}  // namespace velmora::cli
