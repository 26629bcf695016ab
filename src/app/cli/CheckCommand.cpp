// velmora-cli check: reports, before publishing, what search engines hold
// against a project's pages, one JSON object per finding.

#include <QDir>
#include <optional>

#include "CliCommands.h"
#include "Json.h"
#include "base/Errors.h"
#include "check/PageCheck.h"

namespace velmora::cli {

namespace {

struct CheckArguments {
    QString project;
    CheckOptions options;
    bool strict = false;
};

void printLine(std::FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fputc('\n', stream);
}

std::optional<CheckArguments> parse(const QStringList& args)
{
    CheckArguments parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (arg == QLatin1String("--similarity") && hasValue) {
            parsed.options.similarity = args[++i].toDouble(&ok);
            if (!(parsed.options.similarity > 0 && parsed.options.similarity <= 1)) ok = false;
        } else if (arg == QLatin1String("--min-words") && hasValue) {
            parsed.options.minWords = args[++i].toInt(&ok);
            if (parsed.options.minWords < 0) ok = false;
        } else if (arg == QLatin1String("--strict")) {
            parsed.strict = true;
        } else if (!arg.startsWith(QLatin1String("--")) && parsed.project.isEmpty()) {
            parsed.project = arg;
        } else {
            ok = false;
        }
        if (!ok) return std::nullopt;
    }
    if (parsed.project.isEmpty()) return std::nullopt;
    return parsed;
}

QByteArray numbers(const QList<int>& values)
{
    QByteArray list = "[";
    for (qsizetype i = 0; i < values.size(); ++i)
        list += (i ? ", " : "") + QByteArray::number(values[i]);
    return list + "]";
}

QByteArray strings(const QByteArrayList& values)
{
    QByteArray list = "[";
    for (qsizetype i = 0; i < values.size(); ++i) list += (i ? ", " : "") + jsonString(values[i]);
    return list + "]";
}

QByteArray findingJson(const Finding& finding)
{
    JsonObjectWriter json;
    json.add("finding", FindingName(finding.kind));
    if (finding.pages.size() == 1) {
        json.add("page", qint64(finding.pages.front()));
        json.add("file", finding.files.front());
    } else {
        json.addRaw("pages", numbers(finding.pages));
        json.addRaw("files", strings(finding.files));
    }
    if (finding.kind == FindingKind::NearDuplicate)
        json.addRaw("similarity", QByteArray::number(finding.similarity, 'f', 2));
    if (finding.kind == FindingKind::Thin) json.add("words", qint64(finding.words));
    return json.finish();
}

}  // namespace

int checkCommand(const QStringList& args, const Output& io)
{
    const std::optional<CheckArguments> call = parse(args);
    if (!call) {
        printLine(io.err, usageOf("check").toUtf8());
        return 1;
    }
    try {
        PageCheck check(call->project, QDir::currentPath(), call->options);
        const CheckSummary summary =
            check.run([&](const Finding& finding) { printLine(io.out, findingJson(finding)); });
        printLine(io.err, summary.text().toUtf8());
        return call->strict && summary.total() > 0 ? 1 : 0;
    } catch (const VelmoraError& e) {
        printLine(io.err, e.text().toUtf8());
        return 1;
    }
}

}  // namespace velmora::cli
