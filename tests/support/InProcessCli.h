#pragma once

// Runs velmora-cli's commands inside the test's own process and captures
// what they print, so a test sees the command's exit code, standard output
// and standard error without starting a program.

#include <QByteArray>
#include <QDir>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "CliCommands.h"
#include "support/CliRun.h"

namespace velmora::test {

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

// The working folder and environment of a setting for the life of this
// object; the test program's own again afterwards.
class ScopedCliSetting {
public:
    explicit ScopedCliSetting(const CliSetting& setting) : folder_(QDir::currentPath())
    {
        for (auto it = setting.environment.cbegin(); it != setting.environment.cend(); ++it)
            change(it.key().toLocal8Bit(), it.value());
        for (const QString& name : setting.unset) change(name.toLocal8Bit(), std::nullopt);
        if (!setting.workingDirectory.isEmpty()) QDir::setCurrent(setting.workingDirectory);
    }
    ~ScopedCliSetting()
    {
        QDir::setCurrent(folder_);
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) set(it->first, it->second);
    }
    ScopedCliSetting(const ScopedCliSetting&) = delete;
    ScopedCliSetting& operator=(const ScopedCliSetting&) = delete;

private:
    using Value = std::optional<QByteArray>;
    void change(const QByteArray& name, const Value& value)
    {
        const bool isSet = qEnvironmentVariableIsSet(name.constData());
        saved_.emplace_back(name, isSet ? Value(qgetenv(name.constData())) : std::nullopt);
        set(name, value);
    }
    static void set(const QByteArray& name, const Value& value)
    {
        if (value) qputenv(name.constData(), *value);
        else qunsetenv(name.constData());
    }

    QString folder_;
    std::vector<std::pair<QByteArray, Value>> saved_;
};

inline CliRun runCliInProcess(const QStringList& args, const CliSetting& setting = {})
{
    const ScopedCliSetting scope(setting);
    cli::Output io{std::tmpfile(), std::tmpfile()};
    CliRun run;
    run.exitCode = cli::runCli(args, io);
    run.out = readBack(io.out);
    run.err = readBack(io.err);
    return run;
}

}  // namespace velmora::test
