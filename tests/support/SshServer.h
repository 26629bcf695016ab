#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "support/ServerProcess.h"

namespace velmora::test {

// A real OpenSSH server for the SFTP tests and benchmark: `/usr/sbin/sshd -D
// -f CONFIG` with its own host key, on 127.0.0.1 and a free port, serving
// `Subsystem sftp internal-sftp`, stopped when destroyed.
//
// Its one user, velmora-sftp, logs in with a password or with the client
// key made here. The user exists only for this server: sshd runs in a mount
// namespace of its own (unshare, as root) where copies of /etc/passwd,
// /etc/shadow and /etc/group that add the user are mounted over the
// originals. Nothing in the real /etc changes; the only trace left outside
// is /run/sshd, the privilege-separation folder sshd needs.
class SshServer : public ServerProcess {
public:
    struct Options {
        // When not empty: a folder under home() that becomes a file system
        // of `smallDiskBytes` bytes, seen by the server alone.
        QString smallDisk;
        qint64 smallDiskBytes = 0;
        // Where the server's folder goes; the system's temporary folder
        // when empty.
        QString parentFolder;
        // As many shared hosts: no plain password, the password only as the
        // answer to PAM's keyboard-interactive prompt.
        bool keyboardInteractiveOnly = false;
    };

    SshServer() : SshServer(Options{}) {}
    explicit SshServer(const Options& options);
    ~SshServer();

    static QByteArray user() { return "velmora-sftp"; }
    static QByteArray password() { return "Velmora-Test-5ecret"; }

    // The user's home folder, where relative remote names land; owned by
    // the user.
    QString home() const;
    // A path as the server sees it, for folders mounted in its namespace.
    QString asSeenByServer(const QString& path) const;
    // The known_hosts line for this server's key, as OpenSSH records it.
    QByteArray knownHostsLine() const;
    QString hostPublicKeyFile() const;
    // A private key the server accepts for the user (no passphrase).
    QString clientKeyFile() const;
    // The user id that owns the server's files.
    static uint userId() { return kUid; }

    // Ends every open session at once, as a dropped connection would.
    void killSessions();
    // Freezes every open session, as a server that hangs; ended sessions
    // are killed when the server stops.
    void pauseSessions();

private:
    static constexpr uint kUid = 64123;
    bool prepare(const Options& options);
    bool start(const Options& options);
    QString file(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

// Runs a program and waits for it; false (with its output added to the
// test's failure) when it does not exit with 0.
bool runTool(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// An ssh-agent holding the given keys, stopped when destroyed.
class SshAgent : public ServerProcess {
public:
    explicit SshAgent(const QStringList& keyFiles);
    ~SshAgent() { stop(); }
    QString socket() const { return dir_.filePath(QStringLiteral("agent.sock")); }

private:
    QTemporaryDir dir_;
};

}  // namespace velmora::test
