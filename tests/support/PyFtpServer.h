#pragma once

#include <QString>

#include "support/ServerProcess.h"

namespace velmora::test {

// A real FTP server (pyftpdlib under Debian's /usr/bin/python3) on
// 127.0.0.1 and a free port, serving `root`; stopped when destroyed.
// Users: alice / secret, and nopass (logged in by USER alone).
class PyFtpServer : public ServerProcess {
public:
    explicit PyFtpServer(const QString& root);
};

}  // namespace velmora::test
