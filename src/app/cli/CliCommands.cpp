#include "CliCommands.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

#include "CliManual.h"
#include "Json.h"
#include "base/Version.h"
#include "base/Errors.h"
#include "generate/HeadlessGeneration.h"
#include "generate/PageHeadChoice.h"
#include "generate/PageImage.h"
#include "generate/StreamedGeneration.h"
#include "project/KeywordFill.h"
#include "project/KeywordList.h"
#include "project/PageTable.h"
#include "project/ProjectFile.h"

namespace velmora::cli {

namespace {

void print(std::FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fputc('\n', stream);
}

int fail(const Output& io, const QString& message)
{
    print(io.err, message.toUtf8());
    return 1;
}

QByteArray pageJson(const PageRecord& page)
{
    JsonObjectWriter json;
    for (const FieldSlot& slot : kTextSlots) {
        const auto field = static_cast<TextField>(&slot - kTextSlots.data());
        json.add(slot.name.data(), page.text(field));
    }
    for (int i = 0; i < kColourFieldCount; ++i)
        json.add(kColourSlots[i].name.data(), qint64(page.colour(static_cast<ColourField>(i))));
    for (int i = 0; i < kFlagFieldCount; ++i)
        json.add(kFlagSlots[i].name.data(), qint64(page.flag(static_cast<FlagField>(i))));
    return json.finish();
}

}  // namespace

int fillCommand(const QStringList& args, const Output& io)
{
    if (args.size() != 1) return fail(io, usageOf("fill"));
    MemoryPageFields fields;
    fields.setText(TextField::KeywordPhrase, args[0].toUtf8());
    Fill(fields);

    JsonObjectWriter json;
    json.add(slotOf(TextField::Heading).name.data(), fields.text(TextField::Heading));
    json.add(slotOf(TextField::SubHeading).name.data(), fields.text(TextField::SubHeading));
    // As Fill sets the box, without the CR LF a stored description ends in.
    json.add(slotOf(TextField::Description).name.data(),
             shownDescription(fields.text(TextField::Description)));
    json.add(slotOf(TextField::HiddenText).name.data(), fields.text(TextField::HiddenText));
    for (int i = 0; i < kKeywordFieldCount; ++i)
        json.add(slotOf(keywordField(i)).name.data(), fields.text(keywordField(i)));
    print(io.out, json.finish());
    return 0;
}

int dumpCommand(const QStringList& args, const Output& io)
{
    if (args.size() != 1) return fail(io, usageOf("dump"));
    ProjectFileReader reader;
    if (reader.open(args[0]) != kFileOk) return fail(io, QStringLiteral("Error opening file"));

    // One record at a time, so a project of any size prints in the memory of
    // one page; the header has promised no more records than the file holds.
    const QByteArray head = "{" + jsonString("ProjectType") + ": " +
                            QByteArray::number(reader.projectType()) + ", " +
                            jsonString("Pages") + ": [";
    std::fwrite(head.constData(), 1, size_t(head.size()), io.out);
    PageRecord page;
    for (int i = 0; i < reader.pageCount(); ++i) {
        if (reader.read(page) != kFileOk) return fail(io, QStringLiteral("Error opening file"));
        const QByteArray json = (i > 0 ? ", " : "") + pageJson(page);
        std::fwrite(json.constData(), 1, size_t(json.size()), io.out);
    }
    print(io.out, "]}");
    return 0;
}

int generateCommand(const QStringList& args, const Output& io)
{
    const QString usage = usageOf("generate");
    QString projectPath;
    std::optional<QString> siteAddress;
    std::optional<bool> modernHead;
    bool save = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--save")) {
            save = true;
        } else if (args[i] == QLatin1String("--site-url") && i + 1 < args.size()) {
            siteAddress = args[++i];
        } else if (args[i] == QLatin1String("--modern-head") && i + 1 < args.size()) {
            modernHead = OnOff(args[++i]);
            if (!modernHead) return fail(io, usage);
        } else if (!args[i].startsWith(QLatin1String("--")) && projectPath.isEmpty()) {
            projectPath = args[i];
        } else {
            return fail(io, usage);
        }
    }
    if (projectPath.isEmpty()) return fail(io, usage);
    try {
        StreamedGeneration generation(projectPath, QDir::currentPath());
        if (siteAddress) SetSiteAddress(generation.companion(), *siteAddress);
        if (modernHead) SetModernHead(generation.companion(), *modernHead);
        generation.run(save, [&](const QString& path) { print(io.out, QFile::encodeName(path)); });
        for (const SiteFile& file : generation.siteFiles())
            print(io.out, QFile::encodeName(file.localPath));
        for (const QString& warning : generation.skippedImages()) print(io.err, warning.toUtf8());
    } catch (const VelmoraError& e) {
        return fail(io, e.text());
    }
    return 0;
}

namespace {

struct NewArguments {
    KeywordProjectRequest request;
    bool force = false;
};

// Nothing when the arguments do not make a valid call.
std::optional<NewArguments> parseNew(const QStringList& args)
{
    NewArguments parsed;
    KeywordProjectRequest& request = parsed.request;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--phrases") && hasValue) {
            request.phrasesPath = args[++i];
        } else if (arg == QLatin1String("--rows") && hasValue) {
            request.rowsPath = args[++i];
        } else if (arg == QLatin1String("--template") && hasValue) {
            request.templatePath = args[++i];
        } else if (arg == QLatin1String("--type") && hasValue) {
            const QString type = args[++i];
            if (type == QLatin1String("single")) request.projectType = kSingle;
            else if (type == QLatin1String("interlinked")) request.projectType = kInterlinked;
            else return std::nullopt;
        } else if (arg == QLatin1String("--names") && hasValue) {
            const QString names = args[++i];
            if (names == QLatin1String("letters")) request.names = PageNames::Letters;
            else if (names == QLatin1String("phrase")) request.names = PageNames::Phrase;
            else return std::nullopt;
        } else if (arg == QLatin1String("--force")) {
            parsed.force = true;
        } else if (!arg.startsWith(QLatin1String("--")) && request.projectPath.isEmpty()) {
            request.projectPath = arg;
        } else {
            return std::nullopt;
        }
    }
    // One source of pages: a list of phrases or a table of rows.
    if (request.projectPath.isEmpty() || request.phrasesPath.isEmpty() == request.rowsPath.isEmpty())
        return std::nullopt;
    return parsed;
}

}  // namespace

int newCommand(const QStringList& args, const Output& io)
{
    std::optional<NewArguments> call = parseNew(args);
    if (!call) return fail(io, usageOf("new"));
    KeywordProjectRequest& request = call->request;
    const QFileInfo target(request.projectPath);
    if (!call->force && (target.exists() || target.isSymLink())) {
        return fail(io, QStringLiteral("%1 already exists; --force replaces it")
                            .arg(request.projectPath));
    }
    request.startupDir = QDir::currentPath();
    try {
        if (request.rowsPath.isEmpty()) MakeKeywordProject(request);
        else MakeTableProject(request);
    } catch (const VelmoraError& e) {
        return fail(io, e.text());
    }
    // The new pages show splash1.jpg from the start-up folder; it is put
    // there when missing, so the project generates and publishes as it is.
    EnsureDefaultImage(request.startupDir);
    print(io.out, QFile::encodeName(request.projectPath));
    return 0;
}

const std::initializer_list<Command>& commands()
{
    static const std::initializer_list<Command> table = {
        {"fill", "fill PHRASE", fillCommand,
         "Prints the heading, placeholder texts and keyword fields that Fill makes from "
         "a keyword phrase, as one JSON object."},
        {"new",
         "new PROJECT.kpj --phrases FILE|--rows FILE.csv [--type single|interlinked] "
         "[--template OTHER.kpj] [--names letters|phrase] [--force]",
         newCommand,
         "Makes a project with one page per non-blank line of FILE (UTF-8, each line "
         "trimmed), in order, and prints the project file's path. Each page starts from a "
         "new page's defaults, or from the first page of the --template project, and gets "
         "the phrase and what Fill makes of it. The type is the template's, else "
         "Interlinked.\n\n"
         "--names letters (the default) leaves file names to generation; --names phrase "
         "names each page after its phrase (cheap-used-cars.htm, then "
         "cheap-used-cars-2.htm). An existing PROJECT.kpj is replaced only with --force. "
         "When the working folder has no splash1.jpg, the picture new pages show, Velmora "
         "puts its own there.\n\n"
         "--rows makes one page per row of a CSV table instead (RFC 4180, UTF-8), whose "
         "first row names the page fields by their record names (KeywordPhrase required; "
         "Heading, Description, HomePage, Image and the others). Each page is made as "
         "above from its KeywordPhrase, then the row's other cells replace what Fill made; "
         "an empty cell keeps it. An unknown column, a row with too many cells or a value "
         "that does not fit its field is an error naming the row and column, and nothing "
         "is written."},
        {"dump", "dump PROJECT.kpj", dumpCommand,
         "Prints a project file as {\"ProjectType\": n, \"Pages\": [...]}, each page with "
         "every record field."},
        {"generate", "generate PROJECT.kpj [--save] [--site-url URL] [--modern-head on|off]",
         generateCommand,
         "Writes every page file, auto-named, into the folder beside the project, as the "
         "window's Generate HTML does, and prints each file's path as it is written. --save "
         "writes the updated records back to the project once everything is written. With "
         "a site address (--site-url records one) sitemap.xml, robots.txt and the IndexNow "
         "key file are written too. --modern-head on records that the pages start their "
         "head with a charset line, a viewport line and, with a site address, a canonical "
         "link; off records the template's head. Each image that was skipped is named on "
         "standard error; the command still succeeds."},
        {"upload",
         "upload PROJECT.kpj --host HOST [--port N] --user USER [--dir DIR] "
         "[--protocol ftp|ftps|ftps-implicit|sftp] [--passive|--active] [--ca-file PEM] "
         "[--timeout SECONDS] [--known-hosts FILE] [--accept-new-host-key] [--site-url URL] "
         "[--modern-head on|off] [--changed-only] [--connections N] [--delete] [--max-delete N] [--dry-run]",
         uploadCommand,
         "Generates as above, then uploads every page file, each distinct image and the "
         "site files, printing each remote name once the server has confirmed that file. "
         "The password is read from VELMORA_FTP_PASSWORD.\n\n"
         "--protocol is ftp (the default), ftps (explicit FTP over TLS), ftps-implicit (TLS "
         "from the first byte, usually port 990) or sftp (port 22 unless --port says "
         "otherwise; an empty password logs in with the SSH agent and the default keys). "
         "--passive or --active chooses the FTP data connection; "
         "without either, the choice stored in velmora.ini holds, else active mode. "
         "--ca-file names PEM certificates to trust besides the system's. --timeout is the "
         "idle time after which a silent server counts as failed (default 30 seconds). "
         "--known-hosts names the SSH host key file (default ~/.ssh/known_hosts) and "
         "--accept-new-host-key records a key it does not hold yet.\n\n"
         "--connections N (1 to 16, default 4) keeps up to N files in flight at once. "
         "--changed-only sends only the files whose bytes the destination does not hold "
         "yet. --delete removes from the destination the files Velmora published there "
         "that the project no longer holds, refusing more than --max-delete N (default "
         "100). --dry-run prints the remote names that would be sent, then each deletion "
         "as \"delete NAME\", and sends nothing."},
        {"indexnow", "indexnow PROJECT.kpj [--site-url URL] [--key KEY] [--endpoint URL]",
         indexNowCommand,
         "Tells the IndexNow search engines which pages changed since the last "
         "notification (every page the first time). It makes sure the key file is in the "
         "output folder first, prints one line per request with the endpoint's answer, and "
         "exits non-zero unless every request was accepted. --endpoint defaults to "
         "https://api.indexnow.org/indexnow."},
        {"check", "check PROJECT.kpj [--similarity 0.9] [--min-words 150] [--strict]",
         checkCommand,
         "Checks the pages as generate would write them, writing nothing, and prints one "
         "JSON object per finding: near-duplicate pairs of pages (visible text at or above "
         "--similarity, estimated from word shingles), thin pages (fewer visible words than "
         "--min-words), pages with the same title, pages that carry hidden text and pages "
         "with an empty description. A one-line summary goes to standard error. Exits 0, or "
         "1 with --strict when anything was found."},
    };
    return table;
}

QString usageOf(const char* name)
{
    for (const Command& command : commands())
        if (qstrcmp(command.name, name) == 0)
            return QStringLiteral("usage: velmora-cli ") + QLatin1String(command.usage);
    return QStringLiteral("usage: velmora-cli");
}

int runCli(const QStringList& arguments, const Output& io)
{
    if (arguments.size() == 1) {
        if (arguments[0] == QLatin1String("--version")) {
            print(io.out, QByteArray("velmora-cli ") + kVelmoraVersion);
            return 0;
        }
        if (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")) {
            std::fputs(helpText().toUtf8().constData(), io.out);
            return 0;
        }
    }
    if (!arguments.isEmpty()) {
        for (const Command& command : commands())
            if (arguments[0] == QLatin1String(command.name)) return command.run(arguments.mid(1), io);
    }
    QString usage = QStringLiteral("usage:");
    for (const Command& command : commands())
        usage += QStringLiteral("\n  velmora-cli ") + QLatin1String(command.usage);
    usage += QStringLiteral("\n  velmora-cli --help | --version");
    return fail(io, usage);
}

}  // namespace velmora::cli
