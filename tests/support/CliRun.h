#pragma once

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

// What a run of velmora-cli starts with besides its arguments.
struct CliSetting {
    QString workingDirectory;                // the test program's own when empty
    QHash<QString, QByteArray> environment;  // set on top of the test program's
    QStringList unset;                       // taken out of it
};

}  // namespace velmora::test
