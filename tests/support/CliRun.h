#pragma once

// Running velmora-cli in a test: as a program of its own, as a user or a
// script starts it (here), or inside the test program (InProcessCli.h).

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace velmora::test {

// What one run of velmora-cli gave back.
struct CliRun {
    int exitCode = -1;  // -1 when it crashed or did not finish
    QByteArray out;
    QByteArray err;
};

// What a run starts with besides its arguments.
struct CliSetting {
    QString workingDirectory = {};                // the test program's own when empty
    QHash<QString, QByteArray> environment = {};  // set on top of the test program's
    QStringList unset = {};                       // taken out of it
};

// velmora-cli as a program (library velmora_cli_program). A crash or a run
// that does not end within `timeoutMs` fails the test.
CliRun runCliProgram(const QStringList& args, const CliSetting& setting = {}, int timeoutMs = 60000);

}  // namespace velmora::test
