#pragma once

// velmora-cli started as a program of its own, as a user or a script starts
// it: its exit code, standard output and standard error.

#include "support/CliRun.h"

namespace velmora::test {

// A crash or a run that does not end within `timeoutMs` fails the test.
CliRun runCliProgram(const QStringList& args, const CliSetting& setting = {}, int timeoutMs = 60000);

}  // namespace velmora::test
