#include "CliCommands.h"

#include <QDir>
#include <optional>

#include "Json.h"
#include "base/Errors.h"
#include "generate/HeadlessGeneration.h"
#include "project/KeywordFill.h"
#include "project/ProjectCompanion.h"
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
    if (args.size() != 1) return fail(io, QStringLiteral("usage: velmora-cli fill PHRASE"));
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
    if (args.size() != 1) return fail(io, QStringLiteral("usage: velmora-cli dump PROJECT.kpj"));
    ProjectData project;
    if (ReadProjectFile(args[0], project) != kFileOk)
        return fail(io, QStringLiteral("Error opening file"));

    QByteArray pages = "[";
    for (int i = 0; i < project.pages.size(); ++i) {
        if (i > 0) pages += ", ";
        pages += pageJson(project.pages[i]);
    }
    pages += "]";
    JsonObjectWriter json;
    json.add("ProjectType", qint64(project.projectType)).addRaw("Pages", pages);
    print(io.out, json.finish());
    return 0;
}

int generateCommand(const QStringList& args, const Output& io)
{
    const QString usage =
        QStringLiteral("usage: velmora-cli generate PROJECT.kpj [--save] [--site-url URL]");
    QString projectPath;
    std::optional<QString> siteAddress;
    bool save = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--save")) {
            save = true;
        } else if (args[i] == QLatin1String("--site-url") && i + 1 < args.size()) {
            siteAddress = args[++i];
        } else if (!args[i].startsWith(QLatin1String("--")) && projectPath.isEmpty()) {
            projectPath = args[i];
        } else {
            return fail(io, usage);
        }
    }
    if (projectPath.isEmpty()) return fail(io, usage);
    try {
        HeadlessProject project(projectPath, QDir::currentPath());
        if (siteAddress) recordSiteAddress(project, *siteAddress);
        for (const QString& path : project.generate()) print(io.out, QFile::encodeName(path));
        for (const SiteFile& file : project.siteFiles())
            print(io.out, QFile::encodeName(file.localPath));
        if (save) project.save();
    } catch (const VelmoraError& e) {
        return fail(io, e.text());
    }
    return 0;
}

void recordSiteAddress(HeadlessProject& project, const QString& address)
{
    ProjectCompanion companion(project.session().projectPath());
    SetSiteAddress(companion, address);
}

const std::initializer_list<Command>& commands()
{
    static const std::initializer_list<Command> table = {
        {"fill", "fill PHRASE", fillCommand},
        {"dump", "dump PROJECT.kpj", dumpCommand},
        {"generate", "generate PROJECT.kpj [--save] [--site-url URL]", generateCommand},
        {"upload",
         "upload PROJECT.kpj --host HOST [--port N] --user USER [--dir DIR] [--protocol ftp|sftp] "
         "[--known-hosts FILE] [--accept-new-host-key] [--site-url URL]",
         uploadCommand},
        {"indexnow", "indexnow PROJECT.kpj [--site-url URL] [--key KEY] [--endpoint URL]",
         indexNowCommand},
    };
    return table;
}

int runCli(const QStringList& arguments, const Output& io)
{
    if (!arguments.isEmpty()) {
        for (const Command& command : commands())
            if (arguments[0] == QLatin1String(command.name)) return command.run(arguments.mid(1), io);
    }
    QString usage = QStringLiteral("usage:");
    for (const Command& command : commands())
        usage += QStringLiteral("\n  velmora-cli ") + QLatin1String(command.usage);
    return fail(io, usage);
}

}  // namespace velmora::cli
