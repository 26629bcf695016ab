#include "SshServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <crypt.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::test {

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every process below `pid`, the deepest last.
void collectDescendants(qint64 pid, QList<qint64>& found)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray children = readAll(tasks.filePath(task) + QStringLiteral("/children"));
        for (const QByteArray& child : children.split(' ')) {
            bool ok = false;
            const qint64 id = child.trimmed().toLongLong(&ok);
            if (!ok || found.contains(id)) continue;
            found.append(id);
            collectDescendants(id, found);
        }
    }
}

}  // namespace

bool runTool(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment)
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << tool.readAll().toStdString();
        return false;
    }
    return true;
}

// ------------------------------------------------------------ SshServer

SshServer::SshServer(const Options& options)
    : dir_(options.parentFolder.isEmpty() ? QDir::tempPath() + QStringLiteral("/velmora-sshd-XXXXXX")
                                          : options.parentFolder + QStringLiteral("/velmora-sshd-XXXXXX"))
{
    if (::geteuid() != 0) {
        ADD_FAILURE() << "the SFTP tests start sshd as root (they run as root in CI)";
        return;
    }
    if (!dir_.isValid() || !prepare(options)) return;
    for (int attempt = 0; attempt < 3 && !isRunning(); ++attempt)
        if (start(options)) break;
    if (!isRunning())
        ADD_FAILURE() << "sshd did not start: " << readAll(file(QStringLiteral("sshd.log"))).toStdString()
                      << readAll(file(QStringLiteral("unshare.log"))).toStdString();
}

SshServer::~SshServer()
{
    killSessions();
    stop();
}

QString SshServer::home() const { return file(QStringLiteral("home")); }

QString SshServer::asSeenByServer(const QString& path) const
{
    return QStringLiteral("/proc/%1/root%2").arg(process().processId()).arg(path);
}

QString SshServer::hostPublicKeyFile() const { return file(QStringLiteral("host_ed25519.pub")); }

QString SshServer::clientKeyFile() const { return file(QStringLiteral("client_ed25519")); }

QByteArray SshServer::knownHostsLine() const
{
    const QList<QByteArray> fields = readAll(hostPublicKeyFile()).trimmed().split(' ');
    if (fields.size() < 2) return {};
    return "[127.0.0.1]:" + QByteArray::number(port()) + ' ' + fields[0] + ' ' + fields[1] + '\n';
}

bool SshServer::prepare(const Options& options)
{
    // The user's own session must be able to walk down to its home.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    if (!QDir(dir_.path()).mkpath(QStringLiteral("home"))) return false;
    const QByteArray home = QFile::encodeName(this->home());
    if (::chown(home.constData(), kUid, kUid) != 0) return false;
    if (!options.smallDisk.isEmpty()) {
        const QString disk = this->home() + u'/' + options.smallDisk;
        if (!QDir().mkpath(disk)) return false;
    }

    if (!runTool(QStringLiteral("ssh-keygen"),
                 {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                  QStringLiteral("-N"), QString(), QStringLiteral("-C"), QStringLiteral("velmora test host"),
                  QStringLiteral("-f"), file(QStringLiteral("host_ed25519"))}) ||
        !runTool(QStringLiteral("ssh-keygen"),
                 {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                  QStringLiteral("-N"), QString(), QStringLiteral("-C"), QStringLiteral("velmora test client"),
                  QStringLiteral("-f"), clientKeyFile()}))
        return false;
    if (!QFile::copy(clientKeyFile() + QStringLiteral(".pub"), file(QStringLiteral("authorized_keys"))))
        return false;

    // A fresh salt each time; the hash is what sshd checks the password by.
    QByteArray salt = "$6$";
    for (int i = 0; i < 16; ++i)
        salt += "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789./"
            [QRandomGenerator::global()->bounded(64)];
    const char* hash = ::crypt(password().constData(), salt.constData());
    if (!hash || hash[0] == '*') return false;

    const QByteArray uid = QByteArray::number(kUid);
    const bool files =
        writeAll(file(QStringLiteral("passwd")),
                 readAll(QStringLiteral("/etc/passwd")) + user() + ":x:" + uid + ':' + uid +
                     ":Velmora SFTP test:" + home + ":/bin/sh\n") &&
        writeAll(file(QStringLiteral("shadow")),
                 readAll(QStringLiteral("/etc/shadow")) + user() + ':' + hash + ":19000:0:99999:7:::\n") &&
        writeAll(file(QStringLiteral("group")), readAll(QStringLiteral("/etc/group")) + user() + ":x:" + uid + ":\n");
    ::chmod(QFile::encodeName(file(QStringLiteral("shadow"))).constData(), 0600);
    // sshd's privilege-separation folder, as its Debian service makes it.
    return files && QDir().mkpath(QStringLiteral("/run/sshd"));
}

bool SshServer::start(const Options& options)
{
    const int port = freePort();
    if (port <= 0) return false;
    const QByteArray config =
        "Port " + QByteArray::number(port) + "\n"
        "ListenAddress 127.0.0.1\n"
        "HostKey " + QFile::encodeName(file(QStringLiteral("host_ed25519"))) + "\n"
        "PidFile none\n"
        "StrictModes no\n"
        "PermitRootLogin no\n"
        "AllowUsers " + user() + "\n" +
        (options.keyboardInteractiveOnly
             ? QByteArray("UsePAM yes\nPasswordAuthentication no\nKbdInteractiveAuthentication yes\n")
             : QByteArray("UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n")) +
        "PubkeyAuthentication yes\n"
        "AuthorizedKeysFile " + QFile::encodeName(file(QStringLiteral("authorized_keys"))) + "\n"
        "Subsystem sftp internal-sftp\n"
        "MaxStartups 100\n"
        "LogLevel VERBOSE\n";
    if (!writeAll(file(QStringLiteral("sshd_config")), config)) return false;
    QFile::remove(file(QStringLiteral("sshd.log")));

    QString script = QStringLiteral(
        "set -e\n"
        "mount --bind \"$1\" /etc/passwd\n"
        "mount --bind \"$2\" /etc/shadow\n"
        "mount --bind \"$3\" /etc/group\n");
    QStringList arguments = {file(QStringLiteral("passwd")), file(QStringLiteral("shadow")),
                             file(QStringLiteral("group")), file(QStringLiteral("sshd_config")),
                             file(QStringLiteral("sshd.log"))};
    if (!options.smallDisk.isEmpty()) {
        script += QStringLiteral("mount -t tmpfs -o size=%1,mode=0755,uid=%2,gid=%2 velmora-small \"$6\"\n")
                      .arg(options.smallDiskBytes)
                      .arg(kUid);
        arguments << home() + u'/' + options.smallDisk;
    }
    script += QStringLiteral("exec /usr/sbin/sshd -D -f \"$4\" -E \"$5\"\n");

    process().setStandardOutputFile(file(QStringLiteral("unshare.log")));
    process().setStandardErrorFile(file(QStringLiteral("unshare.log")), QIODevice::Append);
    const QByteArray ready = "Server listening on 127.0.0.1 port " + QByteArray::number(port);
    const auto listening = [&] { return readAll(file(QStringLiteral("sshd.log"))).contains(ready); };
    // A port taken meanwhile ends it early.
    if (!launch(QStringLiteral("unshare"),
                QStringList{QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
                            QStringLiteral("/bin/sh"), QStringLiteral("-c"), script, QStringLiteral("sh")} +
                    arguments,
                listening, 15000))
        return false;
    setPort(port);
    return true;
}

void SshServer::killSessions()
{
    if (process().state() == QProcess::NotRunning) return;
    QList<qint64> sessions;
    collectDescendants(process().processId(), sessions);
    for (qint64 pid : sessions) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

void SshServer::pauseSessions()
{
    if (process().state() == QProcess::NotRunning) return;
    QList<qint64> sessions;
    collectDescendants(process().processId(), sessions);
    for (qint64 pid : sessions) ::kill(static_cast<pid_t>(pid), SIGSTOP);
}

// ------------------------------------------------------------- SshAgent

SshAgent::SshAgent(const QStringList& keyFiles)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSH_AUTH_SOCK"), socket());
    // The socket file appears before the agent listens on it: ready once
    // "ssh-add -l" reaches the agent (exit 2 means it could not).
    const auto answers = [&] {
        if (!QFile::exists(socket())) return false;
        QProcess probe;
        probe.setProcessEnvironment(environment);
        probe.setStandardOutputFile(QProcess::nullDevice());
        probe.setStandardErrorFile(QProcess::nullDevice());
        probe.start(QStringLiteral("ssh-add"), {QStringLiteral("-l")});
        return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() != 2;
    };
    process().setStandardOutputFile(QProcess::nullDevice());
    if (!launch(QStringLiteral("ssh-agent"), {QStringLiteral("-D"), QStringLiteral("-a"), socket()}, answers,
                10000)) {
        ADD_FAILURE() << "ssh-agent does not answer on its socket";
        return;
    }
    for (const QString& key : keyFiles) {
        if (!runTool(QStringLiteral("ssh-add"), {QStringLiteral("-q"), key}, environment)) {
            stop();
            return;
        }
    }
}

}  // namespace velmora::test
