#include "VsftpdServer.h"

#include <csignal>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>

namespace velmora::test {

namespace {

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";

QByteArray yesNo(bool value) { return value ? "YES" : "NO"; }

}  // namespace

TestCertificates::TestCertificates()
{
    const QString subject = QStringLiteral("/CN=localhost");
    const QString names = QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1");
    const auto file = [this](const char* name) { return dir_.filePath(QLatin1String(name)); };
    QFile extensions(file("server.ext"));
    QFile otherExtensions(file("other.ext"));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write(names.toLatin1() + '\n') < 0 ||
        !otherExtensions.open(QIODevice::WriteOnly) ||
        otherExtensions.write("subjectAltName=DNS:elsewhere.example\n") < 0) {
        error_ = QStringLiteral("cannot write the certificate extensions");
        return;
    }
    extensions.close();
    otherExtensions.close();
    const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"),
                               QStringLiteral("-pkeyopt"),
                               QStringLiteral("ec_paramgen_curve:prime256v1"),
                               QStringLiteral("-nodes")};
    valid_ = run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), file("ca.key"), QStringLiteral("-out"),
                             file("ca.pem"), QStringLiteral("-days"), QStringLiteral("30"),
                             QStringLiteral("-subj"), QStringLiteral("/CN=Velmora Test CA")}) &&
             run(QStringList{QStringLiteral("req")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), file("server.key"), QStringLiteral("-out"),
                             file("server.csr"), QStringLiteral("-subj"), subject}) &&
             run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                  file("server.csr"), QStringLiteral("-CA"), file("ca.pem"),
                  QStringLiteral("-CAkey"), file("ca.key"), QStringLiteral("-CAcreateserial"),
                  QStringLiteral("-out"), file("server.pem"), QStringLiteral("-days"),
                  QStringLiteral("30"), QStringLiteral("-extfile"), file("server.ext")}) &&
             run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                  file("server.csr"), QStringLiteral("-CA"), file("ca.pem"),
                  QStringLiteral("-CAkey"), file("ca.key"), QStringLiteral("-CAcreateserial"),
                  QStringLiteral("-out"), file("other.pem"), QStringLiteral("-days"),
                  QStringLiteral("30"), QStringLiteral("-subj"),
                  QStringLiteral("/CN=elsewhere.example"), QStringLiteral("-extfile"),
                  file("other.ext")}) &&
             run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), file("self.key"), QStringLiteral("-out"),
                             file("self.pem"), QStringLiteral("-days"), QStringLiteral("30"),
                             QStringLiteral("-subj"), subject, QStringLiteral("-addext"), names});
}

bool TestCertificates::run(const QStringList& arguments)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        error_ =
            QStringLiteral("openssl %1 failed: %2")
                .arg(arguments.join(u' '), QString::fromLocal8Bit(openssl.readAllStandardError()));
        return false;
    }
    return true;
}

VsftpdServer::VsftpdServer(const QString& root, const VsftpdOptions& options)
{
    // The port is free when chosen; another program may take it before
    // vsftpd binds it, so a few tries.
    for (int attempt = 0; attempt < 5 && !isRunning(); ++attempt) {
        const int port = freePort();
        if (port > 0 && start(root, options, port)) setPort(port);
    }
}

bool VsftpdServer::start(const QString& root, const VsftpdOptions& options, int port)
{
    const QString empty = dir_.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty);
    QByteArray config =
        "listen=YES\n"
        "listen_ipv6=NO\n"
        "listen_address=127.0.0.1\n"
        "listen_port=" + QByteArray::number(port) + "\n"
        "background=NO\n"
        // Runs as whoever started it: no privileges, no chroot, no PAM, so
        // only the anonymous user can log in.
        "run_as_launching_user=YES\n"
        "seccomp_sandbox=NO\n"
        "isolate=NO\n"
        "isolate_network=NO\n"
        "anonymous_enable=YES\n"
        "local_enable=NO\n"
        "anon_root=" + QFile::encodeName(root) + "\n"
        "write_enable=YES\n"
        "anon_upload_enable=YES\n"
        "anon_mkdir_write_enable=YES\n"
        "anon_other_write_enable=YES\n"
        "anon_umask=022\n"
        "secure_chroot_dir=" + QFile::encodeName(empty) + "\n"
        "connect_from_port_20=NO\n"
        "port_enable=" + yesNo(options.portEnabled) + "\n"
        "pasv_enable=" + yesNo(options.pasvEnabled) + "\n"
        "delay_failed_login=0\n"
        "xferlog_enable=YES\n"
        "xferlog_std_format=NO\n"
        "log_ftp_protocol=YES\n"
        "vsftpd_log_file=" + QFile::encodeName(dir_.filePath(QStringLiteral("vsftpd.log"))) + "\n" +
        "max_per_ip=" + QByteArray::number(options.maxPerIp) + "\n";
    if (options.tls) {
        config += "ssl_enable=YES\n"
                  "allow_anon_ssl=YES\n"
                  "force_anon_logins_ssl=YES\n"
                  "force_anon_data_ssl=YES\n"
                  "force_local_logins_ssl=YES\n"
                  "force_local_data_ssl=YES\n"
                  "require_ssl_reuse=" + yesNo(options.requireSessionReuse) + "\n"
                  "strict_ssl_read_eof=" + yesNo(options.strictTlsClose) + "\n"
                  "ssl_ciphers=HIGH\n"
                  "rsa_cert_file=" + QFile::encodeName(options.certificateFile) + "\n"
                  "rsa_private_key_file=" + QFile::encodeName(options.keyFile) + "\n" +
                  "implicit_ssl=" + yesNo(options.implicitTls) + "\n";
    }
    const QString configFile = dir_.filePath(QStringLiteral("vsftpd.conf"));
    QFile file(configFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config) < 0) {
        error_ = QStringLiteral("cannot write %1").arg(configFile);
        return false;
    }
    file.close();

    process().setProcessChannelMode(QProcess::MergedChannels);
    // Ready once it takes a connection; it tells nothing else.
    // With implicit TLS the greeting waits for a handshake: taking the
    // connection is all it tells.
    const auto greets = [port, implicit = options.tls && options.implicitTls] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        if (!probe.waitForConnected(200)) return false;
        return implicit || (probe.waitForReadyRead(2000) && probe.readAll().startsWith("220"));
    };
    if (launch(QLatin1String(kVsftpd), {configFile}, greets, 10000)) return true;
    error_ = QStringLiteral("vsftpd did not answer on port %1: %2 %3")
                 .arg(port)
                 .arg(process().errorString(), QString::fromLocal8Bit(process().readAll()));
    return false;
}

QByteArray VsftpdServer::log() const
{
    QFile file(dir_.filePath(QStringLiteral("vsftpd.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> VsftpdServer::commands() const
{
    static const QRegularExpression command(
        QStringLiteral("FTP command: Client \"[^\"]*\", \"(.*)\"$"));
    QList<QByteArray> found;
    for (const QByteArray& line : log().split('\n')) {
        const QRegularExpressionMatch match = command.match(QString::fromUtf8(line));
        if (match.hasMatch()) found << match.captured(1).toUtf8();
    }
    return found;
}

void VsftpdServer::killSessions()
{
    // vsftpd forks a process (or two) for each session below the listener.
    QList<qint64> pending = {process().processId()}, sessions;
    while (!pending.isEmpty()) {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pending.takeFirst()));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile children(tasks.filePath(task) + QStringLiteral("/children"));
            if (!children.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& child : children.readAll().split(' ')) {
                bool ok = false;
                const qint64 id = child.trimmed().toLongLong(&ok);
                if (ok) pending << id, sessions << id;
            }
        }
    }
    for (qint64 pid : sessions) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace velmora::test
