// velmora-cli upload: generates a project's pages as `generate` does, then
// publishes them as the FTP dialog's Send does, through the publisher of the
// protocol asked for: FTP, explicit or implicit FTPS, or SFTP. --changed-only
// sends only what the destination's record says it lacks; --delete removes
// what it published there before and the project no longer holds; --dry-run
// names what would be sent and deleted and connects nowhere.

#include <QDir>
#include <limits>
#include <optional>

#include "CliCommands.h"
#include "base/Errors.h"
#include "base/SettingsFile.h"
#include "generate/HeadlessGeneration.h"
#include "generate/PageHeadChoice.h"
#include "generate/SiteFiles.h"
#include "publish/FtpErrors.h"
#include "publish/PublishJob.h"
#include "publish/sftp/SftpSession.h"

namespace velmora::cli {

namespace {

// Read from the environment only, so it shows in no process list.
constexpr const char* kPasswordVariable = "VELMORA_FTP_PASSWORD";
// As the dialog's client: a silent server ends in a time-out failure.
constexpr int kDefaultTimeOutSeconds = 30;
// A day: longer waits are no time-out a person means.
constexpr int kMaxTimeOutSeconds = 24 * 60 * 60;
// More deletions than this at once are more likely a mistake (another
// project, another folder) than a tidy-up.
constexpr int kDefaultMaxDelete = 100;

struct UploadArguments {
    QString project;
    PublishDestination destination;
    std::optional<bool> passive;  // unset: the dialog's stored choice
    std::optional<int> port;      // unset: the protocol's usual one
    std::optional<QString> siteAddress;
    std::optional<bool> modernHead;
    QString knownHosts;  // empty: ~/.ssh/known_hosts
    bool acceptNewHostKey = false;
    bool changedOnly = false;
    bool dryRun = false;
    bool removeDropped = false;
    int maxDelete = kDefaultMaxDelete;
};

void printLine(std::FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int failWith(const Output& io, const QString& text)
{
    // One line: a server's reply keeps its own line end, and an explained
    // reply puts it after the explanation.
    printLine(io.err, text.simplified().toUtf8());
    return 1;
}

std::optional<int> number(const QString& text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < lowest || value > highest) return std::nullopt;
    return value;
}

QString tooManyDeletions(qsizetype dropped, int maxDelete)
{
    return QStringLiteral("Nothing was deleted: %1 files are no longer in the project, more than "
                          "--max-delete %2 allows")
        .arg(dropped)
        .arg(maxDelete);
}

// Nothing when the arguments do not make a valid call.
std::optional<UploadArguments> parse(const QStringList& args)
{
    UploadArguments parsed;
    PublishDestination& d = parsed.destination;
    d.timeOutMs = kDefaultTimeOutSeconds * 1000;
    bool hasHost = false, hasUser = false, hasMode = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--host") && hasValue) {
            d.host = args[++i];
            hasHost = true;
        } else if (arg == QLatin1String("--user") && hasValue) {
            d.user = args[++i].toUtf8();
            hasUser = true;
        } else if (arg == QLatin1String("--site-url") && hasValue) {
            parsed.siteAddress = args[++i];
        } else if (arg == QLatin1String("--modern-head") && hasValue) {
            parsed.modernHead = OnOff(args[++i]);
            if (!parsed.modernHead) return std::nullopt;
        } else if (arg == QLatin1String("--dir") && hasValue) {
            d.directory = args[++i].toUtf8();
        } else if (arg == QLatin1String("--port") && hasValue) {
            parsed.port = number(args[++i], 1, 65535);
            if (!parsed.port) return std::nullopt;
        } else if (arg == QLatin1String("--protocol") && hasValue) {
            const std::optional<PublishProtocol> protocol = protocolFromName(args[++i].toUtf8());
            if (!protocol) return std::nullopt;
            d.protocol = *protocol;
        } else if ((arg == QLatin1String("--passive") || arg == QLatin1String("--active")) &&
                   !hasMode) {
            parsed.passive = arg == QLatin1String("--passive");
            hasMode = true;
        } else if (arg == QLatin1String("--ca-file") && hasValue) {
            d.caFile = args[++i];
            if (d.caFile.isEmpty()) return std::nullopt;
        } else if (arg == QLatin1String("--timeout") && hasValue) {
            const std::optional<int> seconds = number(args[++i], 1, kMaxTimeOutSeconds);
            if (!seconds) return std::nullopt;
            d.timeOutMs = *seconds * 1000;
        } else if (arg == QLatin1String("--known-hosts") && hasValue) {
            parsed.knownHosts = args[++i];
            if (parsed.knownHosts.isEmpty()) return std::nullopt;
        } else if (arg == QLatin1String("--accept-new-host-key")) {
            parsed.acceptNewHostKey = true;
        } else if (arg == QLatin1String("--changed-only") && !parsed.changedOnly) {
            parsed.changedOnly = true;
        } else if (arg == QLatin1String("--dry-run") && !parsed.dryRun) {
            parsed.dryRun = true;
        } else if (arg == QLatin1String("--connections") && hasValue) {
            const std::optional<int> connections = number(args[++i], kMinConnections, kMaxConnections);
            if (!connections) return std::nullopt;
            d.connections = *connections;
        } else if (arg == QLatin1String("--delete") && !parsed.removeDropped) {
            parsed.removeDropped = true;
        } else if (arg == QLatin1String("--max-delete") && hasValue) {
            const std::optional<int> most = number(args[++i], 0, std::numeric_limits<int>::max());
            if (!most) return std::nullopt;
            parsed.maxDelete = *most;
        } else if (!arg.startsWith(QLatin1String("--")) && parsed.project.isEmpty()) {
            parsed.project = arg;
        } else {
            return std::nullopt;
        }
    }
    if (parsed.project.isEmpty() || !hasHost || !hasUser) return std::nullopt;
    const bool sftp = d.protocol == PublishProtocol::Sftp;
    // Each option belongs to the protocols it means something to: host keys
    // to SSH, certificates to TLS, data connection modes to FTP.
    if (!sftp && (!parsed.knownHosts.isEmpty() || parsed.acceptNewHostKey)) return std::nullopt;
    const bool tls = d.protocol == PublishProtocol::Ftps || d.protocol == PublishProtocol::FtpsImplicit;
    if (!d.caFile.isEmpty() && !tls) return std::nullopt;
    if (sftp && hasMode) return std::nullopt;
    d.port = parsed.port.value_or(defaultPort(d.protocol));
    return parsed;
}

}  // namespace

int uploadCommand(const QStringList& args, const Output& io)
{
    std::optional<UploadArguments> call = parse(args);
    if (!call) return failWith(io, usageOf("upload"));
    PublishDestination& destination = call->destination;
    destination.password = qgetenv(kPasswordVariable);
    try {
        // Refused before anything is written, the record included.
        CheckRecordable(destination);
        HeadlessProject project(call->project, QDir::currentPath());
        destination.passive = call->passive.value_or(
            SettingsFile::inDirectory(QDir::currentPath()).read("FTP", "PASSIVE", "No") == "Yes");
        ProjectSession& session = project.session();
        if (call->siteAddress) SetSiteAddress(session.companion(), *call->siteAddress);
        if (call->modernHead) SetModernHead(session.companion(), *call->modernHead);
        project.generate();
        // The site files just written go as they are.
        PublishJob job({.pages = &session.project().pages,
                        .siteFiles = project.siteFiles(),
                        .companion = &session.companion()},
                       destination, {.changedOnly = call->changedOnly, .dryRun = call->dryRun});
        // What the plan leaves out is told once, with what generation left out.
        QStringList skipped = project.skippedImages();
        for (const QString& warning : job.skippedImages())
            if (!skipped.contains(warning)) skipped.append(warning);
        for (const QString& warning : skipped) printLine(io.err, warning.toUtf8());
        // Above the limit the whole deletion is refused, never a part of it;
        // the upload itself still goes.
        const qsizetype dropped = job.changes().droppedNames().size();
        const bool tooMany = call->removeDropped && dropped > call->maxDelete;
        if (tooMany) job.setRemoveDropped(false);
        if (call->dryRun) {
            for (const QByteArray& line : job.namesToSend()) printLine(io.out, line);
            if (tooMany) return failWith(io, tooManyDeletions(dropped, call->maxDelete));
            return 0;
        }

        ServerTrustOptions trust;
        trust.knownHostsFile = call->knownHosts;
        // Without the option an unknown key is refused, naming its
        // fingerprint; a changed key is refused whatever the options.
        if (call->acceptNewHostKey) trust.hostKeyTrust = [](const HostKeyQuestion&) { return true; };
        // A name is printed once the server has confirmed its file, never
        // before: a line on the output is a file on the server.
        QObject::connect(&job, &PublishJob::fileConfirmed,
                         [&](int, const QByteArray& remoteName) { printLine(io.out, remoteName); });
        QObject::connect(&job, &PublishJob::fileRemoved,
                         [&](const QByteArray& name) { printLine(io.out, "deleted " + name); });
        job.run(trust);
        if (tooMany) return failWith(io, tooManyDeletions(dropped, call->maxDelete));
    } catch (const UntrustedServerError& e) {
        return failWith(io, e.text() + QStringLiteral(". Give --ca-file with this certificate, "
                                                      "or the one that issued it, to trust it."));
    } catch (const UnknownHostKeyError& e) {
        return failWith(io, e.text() + QStringLiteral(". Check the fingerprint, then run again with "
                                                      "--accept-new-host-key to trust and record "
                                                      "it"));
    } catch (const VelmoraError& e) {
        return failWith(io, e.text());
    }
    return 0;
}

}  // namespace velmora::cli
