#include "publish/sftp/SftpSession.h"

#include <libssh/libssh.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/ScopeExit.h"
#include "publish/FtpErrors.h"

namespace velmora {

namespace {

// How often a blocked wait looks at the stop request and the time-out.
constexpr int kSliceMs = 100;

QString hostAndPort(const QString& host, int port)
{
    if (port == 22) return QStringLiteral("'%1'").arg(host);
    return QStringLiteral("'%1' (port %2)").arg(host).arg(port);
}

// The key type as OpenSSH names it in its messages.
QString keyTypeName(ssh_keytypes_e type)
{
    switch (type) {
    case SSH_KEYTYPE_DSS: return QStringLiteral("DSA");
    case SSH_KEYTYPE_RSA: return QStringLiteral("RSA");
    case SSH_KEYTYPE_ECDSA:
    case SSH_KEYTYPE_ECDSA_P256:
    case SSH_KEYTYPE_ECDSA_P384:
    case SSH_KEYTYPE_ECDSA_P521: return QStringLiteral("ECDSA");
    case SSH_KEYTYPE_ED25519: return QStringLiteral("ED25519");
    case SSH_KEYTYPE_SK_ECDSA: return QStringLiteral("ECDSA-SK");
    case SSH_KEYTYPE_SK_ED25519: return QStringLiteral("ED25519-SK");
    default: break;
    }
    const char* name = ssh_key_type_to_char(type);
    return name ? QString::fromLatin1(name) : QStringLiteral("unknown");
}

QString seconds(int milliseconds)
{
    const int s = (milliseconds + 999) / 1000;
    return s == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(s);
}

}  // namespace

// ------------------------------------------------------------ host keys

// $HOME as the user set it: libssh on its own takes the account's home from
// the password database, and would look for keys in another place than for
// known_hosts.
QString defaultSshFolder() { return QDir::homePath() + QStringLiteral("/.ssh"); }

QString defaultKnownHostsFile() { return defaultSshFolder() + QStringLiteral("/known_hosts"); }

QString sha256Fingerprint(const QByteArray& keyBlob)
{
    const QByteArray digest = QCryptographicHash::hash(keyBlob, QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

QString unknownHostKeyQuestion(const HostKeyQuestion& q)
{
    return QStringLiteral(
               "The authenticity of host %1 can't be established.\n"
               "%2 key fingerprint is %3.\n\n"
               "Trust this key and record it in %4? Answer No unless you know the "
               "fingerprint is the server's.")
        .arg(hostAndPort(q.host, q.port), q.keyType, q.fingerprint, q.knownHostsFile);
}

QString unknownHostKeyRefusal(const HostKeyQuestion& q)
{
    return QStringLiteral(
               "Host key unknown: %1 offers the %2 key %3, which is not recorded in %4. "
               "The key was not trusted, so nothing was sent")
        .arg(hostAndPort(q.host, q.port), q.keyType, q.fingerprint, q.knownHostsFile);
}

QString changedHostKeyWarning(const HostKeyQuestion& q)
{
    return QStringLiteral(
               "WARNING: the host key of %1 has changed! The server now offers the %2 key %3, "
               "which differs from the key recorded in %4. Someone could be intercepting the "
               "connection, or the server's key was replaced. Nothing was sent. If you know "
               "the change is right, remove the old key from %4")
        .arg(hostAndPort(q.host, q.port), q.keyType, q.fingerprint, q.knownHostsFile);
}

// -------------------------------------------------------------- control

void SftpControl::cutConnection()
{
    QMutexLocker lock(&socketMutex_);
    if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

void SftpControl::setSocket(int fd)
{
    QMutexLocker lock(&socketMutex_);
    socket_ = fd;
}

void SftpControl::forgetSocket()
{
    QMutexLocker lock(&socketMutex_);
    socket_ = -1;
}

// -------------------------------------------------------------- session

SftpSession::SftpSession(SftpControl& control) : control_(control) {}

SftpSession::~SftpSession() { close(); }

void SftpSession::close()
{
    // The socket is forgotten first: once libssh closes it its number may be
    // reused, and a late cut must not reach someone else's file.
    control_.forgetSocket();
    // A server that stopped answering might never take the goodbye.
    if (!broken_.isEmpty() && socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
    if (channel_) {
        ssh_channel_free(channel_);
        channel_ = nullptr;
    }
    if (session_) {
        ssh_disconnect(session_);
        ssh_free(session_);
        session_ = nullptr;
        socket_ = -1;  // closed by libssh
    }
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

QString SftpSession::libsshError() const
{
    return session_ ? QString::fromUtf8(ssh_get_error(session_)) : QString();
}

void SftpSession::checkStop()
{
    if (!control_.stopRequested()) return;
    if (!sinceStop_.isValid()) sinceStop_.start();
    if (sinceStop_.elapsed() >= tidyMs_) throw EAbortError(QStringLiteral("Upload stopped"));
}

void SftpSession::allowTidyingAfterStop(int milliseconds) { tidyMs_ = milliseconds; }

void SftpSession::failConnection(const QString& during)
{
    checkStop();
    QString text = QStringLiteral("Connection lost %1").arg(during);
    const QString detail = libsshError();
    if (!detail.isEmpty()) text += QStringLiteral(" (%1)").arg(detail);
    fail(text);
}

void SftpSession::fail(const QString& text)
{
    broken_ = text;
    throw SftpConnectionError(text);
}

void SftpSession::checkUsable()
{
    // A connection that failed once is not waited on again, not even to tidy up.
    if (!broken_.isEmpty()) throw SftpConnectionError(broken_);
}

bool SftpSession::hasExtension(const char* name, const char* data) const
{
    return version_.hasExtension(name, data);
}

void SftpSession::open(const Settings& settings, const HostKeyTrust& trust,
                       const std::function<void(const QString&)>& status)
{
    timeOutMs_ = settings.timeOutMs;
    host_ = settings.host;
    status(QStringLiteral("Connecting..."));
    connectSocket(settings);
    status(QStringLiteral("Checking the host key..."));
    checkHostKey(settings, trust);
    status(QStringLiteral("Logging in..."));
    logIn(settings);
    startSftp();
    status(QStringLiteral("Connected..."));
}

void SftpSession::connectSocket(const Settings& settings)
{
    QString lastFailure = QStringLiteral("no address");
    for (const QHostAddress& address : settings.addresses) {
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(static_cast<quint16>(settings.port));
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
            in6->sin6_scope_id = address.scopeId().toUInt();
            length = sizeof *in6;
        } else {
            auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
            in4->sin_family = AF_INET;
            in4->sin_port = htons(static_cast<quint16>(settings.port));
            in4->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof *in4;
        }
        const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            lastFailure = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        int error = 0;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                QElapsedTimer waited;
                waited.start();
                error = ETIMEDOUT;
                while (waited.elapsed() < settings.timeOutMs) {
                    if (control_.stopRequested()) {
                        ::close(fd);
                        checkStop();
                    }
                    pollfd watch{fd, POLLOUT, 0};
                    const int ready = ::poll(&watch, 1, kSliceMs);
                    if (ready < 0 && errno == EINTR) continue;
                    if (ready != 0) {
                        socklen_t size = sizeof error;
                        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
                        break;
                    }
                }
            }
        }
        if (error != 0) {
            lastFailure = error == ETIMEDOUT
                              ? QStringLiteral("no answer within %1").arg(seconds(settings.timeOutMs))
                              : QString::fromLocal8Bit(std::strerror(error));
            ::close(fd);
            continue;
        }
        // libssh waits with poll() on a blocking socket; small requests go
        // out at once, without waiting for the previous one's acknowledgement.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        socket_ = fd;
        control_.setSocket(fd);
        break;
    }
    if (socket_ < 0)
        throw SftpConnectionError(QStringLiteral("Cannot connect to %1: %2")
                            .arg(hostAndPort(settings.host, settings.port), lastFailure));

    session_ = ssh_new();
    if (!session_) throw SftpError(QStringLiteral("Out of memory"));
    const QByteArray host = settings.host.toUtf8();
    const unsigned int port = static_cast<unsigned int>(settings.port);
    const QByteArray knownHosts = QFile::encodeName(settings.knownHostsFile);
    const QByteArray sshFolder = QFile::encodeName(
        settings.sshFolder.isEmpty() ? defaultSshFolder() : settings.sshFolder);
    const long timeOutSeconds = std::max(1L, static_cast<long>((settings.timeOutMs + 999) / 1000));
    const int no = 0;
    ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);  // the dialog's values rule
    ssh_options_set(session_, SSH_OPTIONS_HOST, host.constData());
    ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
    ssh_options_set(session_, SSH_OPTIONS_USER, settings.user.constData());
    ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData());
    ssh_options_set(session_, SSH_OPTIONS_SSH_DIR, sshFolder.constData());
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &timeOutSeconds);
    ssh_options_set(session_, SSH_OPTIONS_FD, &socket_);
    if (ssh_connect(session_) != SSH_OK) {
        checkStop();
        throw SftpError(QStringLiteral("%1 did not start an SSH session: %2")
                            .arg(hostAndPort(settings.host, settings.port), libsshError()));
    }
}

void SftpSession::checkHostKey(const Settings& settings, const HostKeyTrust& trust)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_, &key) != SSH_OK || !key)
        throw SftpError(QStringLiteral("The server sent no host key"));
    const ScopeExit freeKey([key] { ssh_key_free(key); });

    char* base64 = nullptr;
    if (ssh_pki_export_pubkey_base64(key, &base64) != SSH_OK || !base64)
        throw SftpError(QStringLiteral("The server's host key cannot be read"));
    const QByteArray keyBytes = QByteArray::fromBase64(QByteArray(base64));
    ssh_string_free_char(base64);

    const HostKeyQuestion question{settings.host, settings.port, keyTypeName(ssh_key_type(key)),
                                   sha256Fingerprint(keyBytes), settings.knownHostsFile};
    switch (ssh_session_is_known_server(session_)) {
    case SSH_KNOWN_HOSTS_OK: return;
    case SSH_KNOWN_HOSTS_CHANGED:
    // A key of another type than the recorded one: OpenSSH's warning too.
    case SSH_KNOWN_HOSTS_OTHER: throw SftpError(changedHostKeyWarning(question));
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND:
        if (!trust || !trust(question)) {
            checkStop();
            throw UnknownHostKeyError(unknownHostKeyRefusal(question));
        }
        checkStop();
        // As ssh does, a missing ~/.ssh is made for the user alone.
        if (const QFileInfo file(settings.knownHostsFile); !file.dir().exists()) {
            QDir().mkpath(file.absolutePath());
            QFile::setPermissions(file.absolutePath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        if (ssh_session_update_known_hosts(session_) != SSH_OK)
            throw SftpError(QStringLiteral("Cannot record the host key in %1: %2")
                                .arg(settings.knownHostsFile, libsshError()));
        return;
    case SSH_KNOWN_HOSTS_ERROR: break;
    }
    throw SftpError(QStringLiteral("Cannot read the known hosts file %1: %2")
                        .arg(settings.knownHostsFile, libsshError()));
}

void SftpSession::logIn(const Settings& settings)
{
    const QString user = QString::fromUtf8(settings.user);
    int result;
    if (!settings.password.isEmpty()) {
        result = ssh_userauth_password(session_, nullptr, settings.password.constData());
        // Many shared hosts take the password only as the answer to a
        // keyboard-interactive prompt.
        if (result == SSH_AUTH_DENIED &&
            (ssh_userauth_list(session_, nullptr) & SSH_AUTH_METHOD_INTERACTIVE))
            result = answerKeyboardInteractive(settings.password);
    } else {
        result = ssh_userauth_publickey_auto(session_, nullptr, nullptr);
    }
    if (result == SSH_AUTH_SUCCESS) return;
    if (result == SSH_AUTH_ERROR) failConnection(QStringLiteral("while logging in"));
    checkStop();
    const int methods = ssh_userauth_list(session_, nullptr);
    const bool takesPassword = methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE);
    if (!settings.password.isEmpty() && !takesPassword)
        throw SftpError(QStringLiteral("Login failed: the server takes no password for user %1. "
                                       "Leave the password empty to log in with your SSH key")
                            .arg(user));
    if (!settings.password.isEmpty())
        throw SftpError(
            QStringLiteral("Login failed: wrong password for user %1, or no such user").arg(user));
    throw SftpError(QStringLiteral("Login failed: the server accepted none of your SSH keys "
                                   "(SSH agent and %1) for user %2. Enter a password to log "
                                   "in with it")
                        .arg(settings.sshFolder.isEmpty() ? defaultSshFolder() : settings.sshFolder, user));
}

int SftpSession::answerKeyboardInteractive(const QByteArray& password)
{
    // Each hidden prompt gets the password, the first round only: a server
    // that asks again has refused it, and is not asked forever.
    constexpr int kMaxRounds = 4;
    int result = ssh_userauth_kbdint(session_, nullptr, nullptr);
    bool answered = false;
    for (int round = 0; result == SSH_AUTH_INFO && round < kMaxRounds; ++round) {
        const int prompts = ssh_userauth_kbdint_getnprompts(session_);
        if (prompts > 0 && answered) return SSH_AUTH_DENIED;
        for (int i = 0; i < prompts; ++i) {
            char echo = 0;
            ssh_userauth_kbdint_getprompt(session_, static_cast<unsigned int>(i), &echo);
            // A prompt that echoes asks for something other than a secret.
            const char* answer = echo ? "" : password.constData();
            if (ssh_userauth_kbdint_setanswer(session_, static_cast<unsigned int>(i), answer) < 0)
                return SSH_AUTH_ERROR;
        }
        answered = answered || prompts > 0;
        result = ssh_userauth_kbdint(session_, nullptr, nullptr);
    }
    return result == SSH_AUTH_INFO ? SSH_AUTH_DENIED : result;
}

void SftpSession::startSftp()
{
    channel_ = ssh_channel_new(session_);
    if (!channel_ || ssh_channel_open_session(channel_) != SSH_OK)
        failConnection(QStringLiteral("while opening a channel"));
    if (ssh_channel_request_subsystem(channel_, "sftp") != SSH_OK) {
        checkStop();
        throw SftpError(QStringLiteral("The server offers no SFTP: %1").arg(libsshError()));
    }
    send(sftp::initRequest());
    const std::optional<sftp::VersionReply> version = sftp::parseVersion(receive());
    if (!version || version->version < 3)
        throw SftpError(QStringLiteral("The server does not speak SFTP version 3"));
    version_ = *version;
}

void SftpSession::send(const QByteArray& packet)
{
    checkUsable();
    checkStop();
    const int sent = ssh_channel_write(channel_, packet.constData(), static_cast<uint32_t>(packet.size()));
    if (sent == packet.size()) return;
    if (sent == SSH_ERROR) failConnection(QStringLiteral("while sending"));
    // libssh gave up waiting for the server to take more.
    checkStop();
    fail(QStringLiteral("The server stopped answering: it took no data for %1").arg(seconds(timeOutMs_)));
}

sftp::Packet SftpSession::receive()
{
    QElapsedTimer idle;
    idle.start();
    char buffer[65536];
    checkUsable();
    for (;;) {
        if (std::optional<sftp::Packet> packet = incoming_.next()) return std::move(*packet);
        if (incoming_.broken())
            throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
        checkStop();
        const int read = ssh_channel_read_timeout(channel_, buffer, sizeof buffer, 0, kSliceMs);
        if (read > 0) {
            incoming_.append(buffer, read);
            idle.restart();
            continue;
        }
        if (read < 0 || ssh_channel_is_eof(channel_) || ssh_channel_is_closed(channel_))
            failConnection(QStringLiteral("while waiting for the server"));
        if (idle.elapsed() >= timeOutMs_)
            fail(QStringLiteral("The server stopped answering: no reply within %1").arg(seconds(timeOutMs_)));
    }
}

sftp::Packet SftpSession::request(quint32 id, const QByteArray& packet)
{
    send(packet);
    for (;;) {
        sftp::Packet reply = receive();
        const std::optional<quint32> replyId = sftp::replyId(reply);
        if (!replyId) throw SftpError(QStringLiteral("The server sent a reply that is not SFTP"));
        if (*replyId == id) return reply;
        // A late reply to a request already given up on.
    }
}

}  // namespace velmora
