#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QString>
#include <atomic>
#include <functional>

#include "base/Errors.h"
#include "publish/sftp/SftpWire.h"

// libssh's handles, kept out of this header.
struct ssh_session_struct;
struct ssh_channel_struct;

namespace velmora {

// A failure of an SFTP upload, in words for the user.
class SftpError : public VelmoraError {
public:
    using VelmoraError::VelmoraError;
};

// The connection broke or the server stopped answering: the upload may go
// on over a new connection.
class SftpConnectionError : public SftpError {
public:
    using SftpError::SftpError;
};

// A host key that is not recorded and was not trusted.
class UnknownHostKeyError : public SftpError {
public:
    using SftpError::SftpError;
};

// A server's key that is not yet recorded, as OpenSSH shows it.
struct HostKeyQuestion {
    QString host;
    int port = 22;
    QString keyType;      // "ED25519", "RSA", "ECDSA", ...
    QString fingerprint;  // "SHA256:" and the unpadded base64 of the key's SHA-256
    QString knownHostsFile;
};

// Decides whether to trust and record an unknown key. It runs on the thread
// that called publish(), so it may ask the user.
using HostKeyTrust = std::function<bool(const HostKeyQuestion&)>;

// $HOME/.ssh, where the user's keys are looked for, and
// $HOME/.ssh/known_hosts, where OpenSSH keeps the keys a user trusted.
QString defaultSshFolder();
QString defaultKnownHostsFile();
// OpenSSH's form of a key's fingerprint: "SHA256:" and the base64 of the
// SHA-256 of the key's wire form, without padding.
QString sha256Fingerprint(const QByteArray& keyBlob);
// The question the window asks about an unknown key.
QString unknownHostKeyQuestion(const HostKeyQuestion& question);
// The refusal of a key that is not recorded and was not trusted.
QString unknownHostKeyRefusal(const HostKeyQuestion& question);
// The refusal of a key that differs from the recorded one.
QString changedHostKeyWarning(const HostKeyQuestion& question);

// What the thread that waits for an upload may do to the thread that runs
// it: ask it to stop, and cut its connection when it does not stop in time.
class SftpControl {
public:
    void requestStop() { stop_.store(true); }
    bool stopRequested() const { return stop_.load(); }

    // Cuts the connection under libssh, so that any call blocked on it
    // returns at once. Safe from any thread.
    void cutConnection();

    // The socket of the running session, while it is open.
    void setSocket(int fd);
    void forgetSocket();

private:
    std::atomic<bool> stop_{false};
    QMutex socketMutex_;
    int socket_ = -1;
};

// An SSH connection that carries one SFTP channel. Every call blocks, so it
// runs on a worker thread; each wait looks at the stop request and the idle
// time-out at least every 100 ms.
class SftpSession {
public:
    struct Settings {
        QList<QHostAddress> addresses;  // of `host`, in the order to try
        QString host;                   // as the user typed it: the known-hosts name
        int port = 22;
        QByteArray user;
        QByteArray password;  // empty: the SSH agent and the default keys
        QString sshFolder;    // where the default keys are; empty for defaultSshFolder()
        QString knownHostsFile;
        int timeOutMs = 30000;
    };

    explicit SftpSession(SftpControl& control);
    ~SftpSession();
    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;

    // Connects, checks the host key, logs in and starts SFTP. `status` hears
    // of each step.
    void open(const Settings& settings, const HostKeyTrust& trust,
              const std::function<void(const QString&)>& status);
    // Closes the channel and the connection; never throws.
    void close();

    const sftp::VersionReply& version() const { return version_; }
    bool hasExtension(const char* name, const char* data) const;

    quint32 nextId() { return nextId_++; }
    void send(const QByteArray& packet);
    // The next packet from the server.
    sftp::Packet receive();
    // Sends a request and waits for its reply; nothing else may be pending.
    sftp::Packet request(quint32 id, const QByteArray& packet);

    // After a stop, the uploader may still tidy up until this long after the
    // stop was asked for; then every wait ends in the stop failure.
    void allowTidyingAfterStop(int milliseconds);
    // Throws the stop failure when a stop was asked for (and no tidying is
    // allowed any more).
    void checkStop();

private:
    void connectSocket(const Settings& settings);
    void checkHostKey(const Settings& settings, const HostKeyTrust& trust);
    void logIn(const Settings& settings);
    int answerKeyboardInteractive(const QByteArray& password);
    void startSftp();
    [[noreturn]] void failConnection(const QString& during);
    [[noreturn]] void fail(const QString& text);
    void checkUsable();
    QString libsshError() const;

    SftpControl& control_;
    ssh_session_struct* session_ = nullptr;
    ssh_channel_struct* channel_ = nullptr;
    int socket_ = -1;
    int timeOutMs_ = 30000;
    QString host_;
    sftp::PacketAssembler incoming_;
    sftp::VersionReply version_;
    quint32 nextId_ = 1;
    int tidyMs_ = 0;
    QElapsedTimer sinceStop_;
    QString broken_;  // why the connection is no longer used
};

}  // namespace velmora
