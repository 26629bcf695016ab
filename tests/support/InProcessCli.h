#pragma once

// Runs velmora-cli's commands inside the test's own process and captures
// what they print, so a test sees the command's exit code, standard output
// and standard error without starting a program.

#include <QByteArray>
#include <QStringList>
#include <cstdio>

#include "CliCommands.h"

namespace velmora::test {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Everything written to the stream so far; closes it.
inline QByteArray readBack(std::FILE* stream)
{
    std::rewind(stream);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(stream);
    return bytes;
}

inline CliRun runCliInProcess(const QStringList& args)
{
    cli::Output io{std::tmpfile(), std::tmpfile()};
    CliRun run;
    run.exitCode = cli::runCli(args, io);
    run.out = readBack(io.out);
    run.err = readBack(io.err);
    return run;
}

}  // namespace velmora::test
