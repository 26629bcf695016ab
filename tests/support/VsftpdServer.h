#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "support/ServerProcess.h"

namespace velmora::test {

// A certificate authority and a server certificate it signed for
// "localhost" and 127.0.0.1, made with the openssl program in a folder of
// their own for the life of this object.
class TestCertificates {
public:
    TestCertificates();
    bool isValid() const { return valid_ && error_.isEmpty(); }
    const QString& error() const { return error_; }
    QString caFile() const { return dir_.filePath(QStringLiteral("ca.pem")); }
    QString certificateFile() const { return dir_.filePath(QStringLiteral("server.pem")); }
    QString keyFile() const { return dir_.filePath(QStringLiteral("server.key")); }
    // The server's key certified by the same authority for another name
    // only, "elsewhere.example".
    QString otherNameFile() const { return dir_.filePath(QStringLiteral("other.pem")); }
    // A second, self-signed certificate for the same names.
    QString selfSignedFile() const { return dir_.filePath(QStringLiteral("self.pem")); }
    QString selfSignedKeyFile() const { return dir_.filePath(QStringLiteral("self.key")); }

private:
    bool run(const QStringList& arguments);

    QTemporaryDir dir_;
    bool valid_ = false;
    QString error_;
};

struct VsftpdOptions {
    bool portEnabled = true;     // port_enable: active mode
    bool pasvEnabled = true;     // pasv_enable: passive mode
    // ssl_enable with TLS forced on the login and the data, session reuse
    // required and uploads that must end in a TLS close.
    bool tls = false;
    QString certificateFile;
    QString keyFile;
    bool requireSessionReuse = true;
    bool strictTlsClose = true;  // strict_ssl_read_eof
    bool implicitTls = false;    // implicit_ssl: TLS from the first byte (with tls)
    int maxPerIp = 0;            // max_per_ip: sessions from one address (0: any)
};

// vsftpd on 127.0.0.1 and a free port with a configuration file of its own,
// serving `root` to the anonymous user (uploads and folders allowed), run
// as the user who started it and stopped when destroyed (or when the
// program that started it ends). No system service is involved.
class VsftpdServer : public ServerProcess {
public:
    static constexpr const char* kUser = "anonymous";
    static constexpr const char* kPassword = "velmora@example.com";

    explicit VsftpdServer(const QString& root, const VsftpdOptions& options = {});
    ~VsftpdServer() { stop(); }

    const QString& error() const { return error_; }
    // The server's protocol log: each command and reply it saw.
    QByteArray log() const;
    // The commands of the log, in order ("AUTH TLS", "USER anonymous", ...).
    QList<QByteArray> commands() const;
    // Ends every open session at once, as a dropped connection would; the
    // server goes on taking new ones.
    void killSessions();

private:
    bool start(const QString& root, const VsftpdOptions& options, int port);

    QTemporaryDir dir_;
    QString error_;
};

}  // namespace velmora::test
