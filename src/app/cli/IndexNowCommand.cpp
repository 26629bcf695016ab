// velmora-cli indexnow: tells the IndexNow search engines which pages of a
// generated project changed since the last notification.

#include <QDir>
#include <optional>

#include "CliCommands.h"
#include "base/Errors.h"
#include "generate/HeadlessGeneration.h"
#include "generate/SiteFiles.h"
#include "submit/Notification.h"

namespace velmora::cli {

namespace {

struct IndexNowArguments {
    QString project;
    std::optional<QString> siteAddress;
    std::optional<QString> key;
    QUrl endpoint = kIndexNowEndpoint;
};

void printLine(std::FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

std::optional<IndexNowArguments> parse(const QStringList& args)
{
    IndexNowArguments parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--site-url") && hasValue) {
            parsed.siteAddress = args[++i];
        } else if (arg == QLatin1String("--key") && hasValue) {
            parsed.key = args[++i];
        } else if (arg == QLatin1String("--endpoint") && hasValue) {
            parsed.endpoint = QUrl(args[++i], QUrl::StrictMode);
            const QString scheme = parsed.endpoint.scheme();
            if (!parsed.endpoint.isValid() || parsed.endpoint.host().isEmpty() ||
                (scheme != u"http" && scheme != u"https"))
                return std::nullopt;
        } else if (!arg.startsWith(QLatin1String("--")) && parsed.project.isEmpty()) {
            parsed.project = arg;
        } else {
            return std::nullopt;
        }
    }
    if (parsed.project.isEmpty()) return std::nullopt;
    return parsed;
}

}  // namespace

int indexNowCommand(const QStringList& args, const Output& io)
{
    const std::optional<IndexNowArguments> call = parse(args);
    if (!call) {
        printLine(io.err, usageOf("indexnow"));
        return 1;
    }
    try {
        HeadlessProject project(call->project, QDir::currentPath());
        ProjectCompanion& companion = project.session().companion();
        if (call->siteAddress) SetSiteAddress(companion, *call->siteAddress);
        if (call->key) SetIndexNowKey(companion, *call->key);
        // The pages as `generate` writes them.
        const NotificationReport report = Notification(project.session(), call->endpoint).run();
        for (const QString& line : report.lines()) printLine(io.out, line);
        if (!report.allAccepted()) {
            printLine(io.err, QStringLiteral("Not every request was accepted"));
            return 1;
        }
    } catch (const VelmoraError& e) {
        printLine(io.err, e.text());
        return 1;
    }
    return 0;
}

}  // namespace velmora::cli
