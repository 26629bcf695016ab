#include "PyFtpServer.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>

namespace velmora::test {

PyFtpServer::PyFtpServer(const QString& root)
{
    process_.setProgram(QStringLiteral("/usr/bin/python3"));
    process_.setArguments({QStringLiteral(VELMORA_PYFTPD_SCRIPT), root});
    process_.start();
    if (!process_.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start /usr/bin/python3 with pyftpdlib";
        return;
    }
    QDeadlineTimer deadline(15000);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n')) {
        if (!process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
        out += process_.readAllStandardOutput();
    }
    if (out.startsWith("PORT ")) port_ = out.mid(5).trimmed().toInt();
    if (port_ <= 0)
        ADD_FAILURE() << "pyftpdlib did not start: "
                      << process_.readAllStandardError().toStdString();
}

PyFtpServer::~PyFtpServer()
{
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

}  // namespace velmora::test
