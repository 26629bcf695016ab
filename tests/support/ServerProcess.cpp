#include "ServerProcess.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace velmora::test {

int ServerProcess::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

bool ServerProcess::launch(const QString& program, const QStringList& arguments,
                           const std::function<bool()>& ready, int timeoutMs)
{
    stop();
    process_.setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() == 1) ::_exit(0);  // the test program is gone already
    });
    process_.start(program, arguments);
    if (!process_.waitForStarted(10000)) return false;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (ready()) return running_ = true;
        if (process_.state() == QProcess::NotRunning || deadline.hasExpired()) break;
        process_.waitForFinished(20);  // a pause that ends early when the program does
    }
    stop();
    return false;
}

void ServerProcess::stop()
{
    running_ = false;
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

}  // namespace velmora::test
