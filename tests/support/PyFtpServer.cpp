#include "PyFtpServer.h"

#include <gtest/gtest.h>

namespace velmora::test {

PyFtpServer::PyFtpServer(const QString& root)
{
    // The script binds a free port itself and prints it first.
    QByteArray out;
    const auto announced = [&] {
        out += process().readAllStandardOutput();
        return out.contains('\n');
    };
    if (launch(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VELMORA_PYFTPD_SCRIPT), root}, announced,
               15000) &&
        out.startsWith("PORT "))
        setPort(out.mid(5).trimmed().toInt());
    if (port() <= 0) {
        stop();
        ADD_FAILURE() << "pyftpdlib did not start under /usr/bin/python3: "
                      << process().readAllStandardError().toStdString();
    }
}

}  // namespace velmora::test
