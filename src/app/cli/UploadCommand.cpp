// velmora-cli upload: generates a project's pages as `generate` does, then
// publishes them exactly as the FTP dialog's Send does.

#include <QDir>
#include <optional>

#include "CliCommands.h"
#include "base/Errors.h"
#include "ftp/Publishing.h"
#include "ftp/VexFTP.h"
#include "generate/HeadlessGeneration.h"

namespace velmora::cli {

namespace {

constexpr const char* kUsage =
    "usage: velmora-cli upload PROJECT.kpj --host HOST [--port N] --user USER [--dir DIR]";
// Read from the environment only, so it shows in no process list.
constexpr const char* kPasswordVariable = "VELMORA_FTP_PASSWORD";
// As the dialog's client: a silent server ends in a time-out failure.
constexpr int kTimeOut = 30000;

struct UploadArguments {
    QString project;
    QString host;
    int port = 21;
    QByteArray user;
    QByteArray directory;
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
        } else if (arg == QLatin1String("--dir") && hasValue) {
            parsed.directory = args[++i].toUtf8();
        } else if (arg == QLatin1String("--port") && hasValue) {
            bool ok = false;
            parsed.port = args[++i].toInt(&ok);
            if (!ok || parsed.port < 1 || parsed.port > 65535) return std::nullopt;
        } else if (!arg.startsWith(QLatin1String("--")) && parsed.project.isEmpty()) {
            parsed.project = arg;
        } else {
            return std::nullopt;
        }
    }
    if (parsed.project.isEmpty() || !hasHost || !hasUser) return std::nullopt;
    return parsed;
}

}  // namespace

int uploadCommand(const QStringList& args, const Output& io)
{
    const std::optional<UploadArguments> call = parse(args);
    if (!call) return failWith(io, QLatin1String(kUsage));
    try {
        HeadlessProject project(call->project, QDir::currentPath());
        project.generate();
        // Checked whole before connecting; what it leaves out is told once,
        // with what generation left out.
        const QByteArray directory = NormalisedRemoteDirectory(call->directory);
        const PlannedUploads plan = PlanUploads(project.project().pages, directory);
        QStringList skipped = project.skippedImages();
        for (const QString& warning : plan.skippedImages)
            if (!skipped.contains(warning)) skipped.append(warning);
        for (const QString& warning : skipped) printLine(io.err, warning.toUtf8());

        TVexFTP ftp;
        ftp.Host = call->host;
        ftp.Port = call->port;
        ftp.UserID = call->user;
        ftp.Password = qgetenv(kPasswordVariable);
        ftp.TimeOut = kTimeOut;
        ftp.Connect();
        UploadPlan(ftp, plan.items,
                   [&](const UploadItem& item, int, int) { printLine(io.out, item.remoteName); });
        ftp.Disconnect();
    } catch (const VelmoraError& e) {
        return failWith(io, e.text());
    }
    return 0;
}

}  // namespace velmora::cli
