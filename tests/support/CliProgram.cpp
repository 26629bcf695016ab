#include "CliRun.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace velmora::test {

CliRun runCliProgram(const QStringList& args, const CliSetting& setting, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = setting.environment.cbegin(); it != setting.environment.cend(); ++it)
        environment.insert(it.key(), QString::fromLocal8Bit(it.value()));
    for (const QString& name : setting.unset) environment.remove(name);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(setting.workingDirectory);
    process.start(QStringLiteral(VELMORA_CLI_PATH), args);
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        ADD_FAILURE() << "velmora-cli " << args.join(u' ').toStdString() << " did not end";
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "velmora-cli " << args.join(u' ').toStdString() << " crashed";
    } else {
        run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

}  // namespace velmora::test
