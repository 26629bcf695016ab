#include "CliManual.h"

#include <QStringList>
#include <vector>

#include "CliCommands.h"
#include "base/Version.h"

namespace velmora::cli {

namespace {

// One entry of a section: a term (a command's synopsis, a variable, a file)
// and what it means, in paragraphs parted by a blank line. An entry without
// a term is plain text.
struct Entry {
    QString term;
    QString text;
};

struct Section {
    QString title;
    std::vector<Entry> entries;
};

const char* const kSummary = "the Velmora core without a window, for scripts and batch work";

std::vector<Section> manual()
{
    std::vector<Section> sections;
    sections.push_back(
        {QStringLiteral("DESCRIPTION"),
         {{QString(),
           QStringLiteral(
               "velmora-cli builds search-engine entry pages as the Velmora window does: "
               "it makes projects from keyword lists, fills pages from their phrases, "
               "generates one HTML file per page, publishes them by FTP, FTPS or SFTP and "
               "notifies search engines. Every command prints JSON or one line per file "
               "written, exits 0 on success, and exits non-zero with a one-line message on "
               "standard error otherwise.")}}});
    Section commandSection{QStringLiteral("COMMANDS"), {}};
    for (const Command& command : commands())
        commandSection.entries.push_back({QStringLiteral("velmora-cli ") + QLatin1String(command.usage),
                                          QLatin1String(command.description)});
    commandSection.entries.push_back({QStringLiteral("velmora-cli --help"),
                                      QStringLiteral("Prints this text.")});
    commandSection.entries.push_back({QStringLiteral("velmora-cli --version"),
                                      QStringLiteral("Prints the program's name and version.")});
    sections.push_back(std::move(commandSection));
    sections.push_back(
        {QStringLiteral("ENVIRONMENT"),
         {{QStringLiteral("VELMORA_FTP_PASSWORD"),
           QStringLiteral("The password upload logs in with.")}}});
    sections.push_back(
        {QStringLiteral("FILES"),
         {{QStringLiteral("velmora.ini"),
           QStringLiteral("Settings in the working folder, shared with the window: the credit "
                          "link of generated pages and the stored FTP data connection mode.")},
          {QStringLiteral("PROJECT.kpj.velmora"),
           QStringLiteral("What Velmora keeps about a project beside it: its site address, "
                          "IndexNow key and what each destination was last sent.")},
          {QStringLiteral("splash1.jpg"),
           QStringLiteral("The picture new pages show, in the working folder.")}}});
    sections.push_back({QStringLiteral("SEE ALSO"), {{QString(), QStringLiteral("velmora(1)")}}});
    return sections;
}

QStringList paragraphs(const QString& text)
{
    return text.split(QStringLiteral("\n\n"));
}

// Words laid into lines of at most `width` columns, the first after `indent`
// blanks and the others after `hanging` blanks; a word longer than the room
// stands alone on its line.
QString wrapped(const QString& text, int indent, int hanging, int width)
{
    QString out;
    QString line;
    int margin = indent;
    const auto flush = [&] {
        out += QString(margin, u' ') + line + u'\n';
        line.clear();
        margin = hanging;
    };
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && margin + line.size() + 1 + word.size() > width) flush();
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty()) flush();
    return out;
}

}  // namespace

// A backslash is written as \e, a hyphen as \- (so an option copied from the
// page still works), and a line that would start with a control character is
// guarded.
QByteArray roffText(const QString& text)
{
    QByteArray out;
    for (const QString& line : text.split(u'\n')) {
        QByteArray escaped;
        for (const char c : line.toUtf8()) {
            if (c == '\\') escaped += "\\e";
            else if (c == '-') escaped += "\\-";
            else escaped += c;
        }
        if (escaped.startsWith('.') || escaped.startsWith('\'')) escaped.prepend("\\&");
        out += escaped + '\n';
    }
    return out;
}

QString helpText()
{
    constexpr int kWidth = 79;
    QString out = QStringLiteral("velmora-cli %1: %2\n").arg(QLatin1String(kVelmoraVersion),
                                                           QLatin1String(kSummary));
    for (const Section& section : manual()) {
        out += u'\n' + section.title + u'\n';
        bool first = true;
        for (const Entry& entry : section.entries) {
            const int indent = entry.term.isEmpty() ? 2 : 6;
            if (!entry.term.isEmpty()) {
                out += (first ? QString() : QStringLiteral("\n")) + wrapped(entry.term, 2, 4, kWidth);
            }
            const QStringList parts = paragraphs(entry.text);
            for (qsizetype i = 0; i < parts.size(); ++i)
                out += (i > 0 ? QStringLiteral("\n") : QString()) +
                       wrapped(parts[i], indent, indent, kWidth);
            first = false;
        }
    }
    return out;
}

QByteArray manPage()
{
    QByteArray out = ".TH VELMORA\\-CLI 1 \"" + QByteArray(kVelmoraReleaseDate).replace("-", "\\-") +
                     "\" \"Velmora " + kVelmoraVersion + "\" \"User Commands\"\n";
    out += ".SH NAME\n" + roffText(QStringLiteral("velmora-cli - ") + QLatin1String(kSummary));
    out += ".SH SYNOPSIS\n";
    for (const Command& command : commands())
        out += ".B velmora\\-cli\n" + roffText(QLatin1String(command.usage)) + ".br\n";
    out += ".B velmora\\-cli\n\\-\\-help | \\-\\-version\n";
    for (const Section& section : manual()) {
        out += ".SH " + section.title.toUtf8() + '\n';
        for (const Entry& entry : section.entries) {
            if (entry.term.isEmpty()) {
                if (&entry != &section.entries.front()) out += ".PP\n";
            } else {
                out += ".TP\n.B " + roffText(entry.term);
            }
            const QStringList parts = paragraphs(entry.text);
            for (qsizetype i = 0; i < parts.size(); ++i)
                out += (i > 0 ? QByteArray(entry.term.isEmpty() ? ".PP\n" : ".IP\n") : QByteArray()) +
                       roffText(parts[i]);
        }
    }
    return out;
}

}  // namespace velmora::cli
