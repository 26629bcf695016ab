#pragma once

#include <QStringList>
#include <cstdio>

namespace velmora::cli {

// Where a command writes: its result to `out`, a one-line failure to `err`.
struct Output {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

using CommandFunction = int (*)(const QStringList& args, const Output& io);

struct Command {
    const char* name;
    const char* usage;
    CommandFunction run;
    // What the command does, for --help and the man page: paragraphs
    // parted by a blank line, plain ASCII text.
    const char* description;
};

int fillCommand(const QStringList& args, const Output& io);
int newCommand(const QStringList& args, const Output& io);
int dumpCommand(const QStringList& args, const Output& io);
int generateCommand(const QStringList& args, const Output& io);
int uploadCommand(const QStringList& args, const Output& io);
int indexNowCommand(const QStringList& args, const Output& io);
int checkCommand(const QStringList& args, const Output& io);

// Every subcommand of velmora-cli, in the order the usage lists them.
const std::initializer_list<Command>& commands();

// "usage: velmora-cli " and the named command's line from the table: a
// command that was called wrongly says it in the words the full usage uses.
QString usageOf(const char* name);

int runCli(const QStringList& arguments, const Output& io);

}  // namespace velmora::cli
