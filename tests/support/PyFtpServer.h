#pragma once

#include <QProcess>
#include <QString>

namespace velmora::test {

// A real FTP server (pyftpdlib under Debian's /usr/bin/python3) on
// 127.0.0.1 and a free port, serving `root`; stopped when destroyed.
// Users: alice / secret, and nopass (logged in by USER alone).
class PyFtpServer {
public:
    explicit PyFtpServer(const QString& root);
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    bool isRunning() const { return port_ > 0; }
    int port() const { return port_; }

private:
    QProcess process_;
    int port_ = 0;
};

}  // namespace velmora::test
