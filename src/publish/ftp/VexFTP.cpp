#include "publish/ftp/VexFTP.h"

#include <QFile>
#include <optional>

#include "base/FileAccess.h"
#include "base/ScopeExit.h"
#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "publish/ftp/DataChannel.h"
#include "publish/ftp/ReplyLines.h"

namespace velmora {

namespace {

constexpr bool isUnsupportedReply(qint64 number) { return number >= 500 && number <= 502; }
constexpr bool isPositiveReply(qint64 number) { return number >= 200 && number < 300; }

const QString kTryPassive = QStringLiteral("The server refused active mode (try passive mode)");

}  // namespace

TVexFTP::TVexFTP(QObject* owner) : TPowersock(owner) { Port = 21; }

TVexFTP::~TVexFTP()
{
    OnStatus = nullptr;
    try {
        dataSocket_.reset();
        // A destructor must not wait on the network: QUIT goes out as far as
        // the socket takes it without waiting, then the connection closes.
        if (Connected()) {
            StatusMessage(1, QStringLiteral("QUIT"));
            WriteNow("QUIT\r\n");
        }
    } catch (...) {
    }
}

// ------------------------------------------------------------- replies

void TVexFTP::ReadContinuation(QByteArray line)
{
    for (;;) {
        if (opensMultiLineReply(line)) {
            // Every line up to the closing one belongs to the reply, free
            // text that starts like nothing in particular included.
            const QByteArray code = line.left(3);
            do {
                line = ReadLn();
                StatusMessage(1, QString::fromUtf8(line));
            } while (!closesMultiLineReply(line, code));
            return;
        }
        if (!continuesReply(line)) return;
        line = ReadLn();
        StatusMessage(1, QString::fromUtf8(line));
    }
}

namespace {

// The last guard against a planted line break: a command is one line of
// printable bytes or it is not sent at all.
void refuseControlCharacters(const QByteArray& command)
{
    for (char c : command) {
        if (static_cast<unsigned char>(c) < 32)
            throw ESockError(QStringLiteral("Cannot send a command that holds control characters"));
    }
}

}  // namespace

QByteArray TVexFTP::Transaction(const QByteArray& command)
{
    refuseControlCharacters(command);
    // One deadline for the command and every line of its reply, so that an
    // endless reply ends too.
    TimerScope timer(*this);
    const QByteArray reply = TPowersock::Transaction(command);
    ReadContinuation(reply);
    return reply;
}

QByteArray TVexFTP::transactionAlongside(const QByteArray& command,
                                         const std::function<void()>& meanwhile)
{
    refuseControlCharacters(command);
    Writeln(command);
    meanwhile();
    return readReply();
}

QByteArray TVexFTP::readReply()
{
    TimerScope timer(*this);
    const QByteArray line = ReadLn();
    StatusMessage(1, QString::fromUtf8(line));
    SetReply(line, replyNumberOf(line));
    ReadContinuation(line);
    return line;
}

void TVexFTP::readGreeting()
{
    TimerScope timer(*this);
    for (;;) {
        const QByteArray first = ReadLn();
        // An SSH server greets with its version line and then waits.
        if (first.startsWith("SSH-"))
            throw ESockError(QStringLiteral("This port speaks SSH, not FTP: choose SFTP"));
        StatusMessage(1, QString::fromUtf8(first));
        ReadContinuation(first);
        const qint64 number = replyNumberOf(first);
        SetReply(first, number);
        // 120: ready in a while; the greeting proper follows.
        if (number >= 100 && number < 200) continue;
        // 421 and the like: the server is not taking us, and says why.
        if (number >= 400 && number < 600) throw FTPException(first);
        return;
    }
}

QByteArray TVexFTP::readFinalReply(TPowersock& data)
{
    // The server may still be taking in what the system buffered for it: a
    // transfer whose bytes still move is not idle.
    qint64 pending = data.PendingSendBytes();
    SetProgressProbe([&data, &pending] {
        const qint64 now = data.PendingSendBytes();
        return std::exchange(pending, now) > now;
    });
    const ScopeExit noProbe([this] { SetProgressProbe({}); });
    const QByteArray line = readReply();
    // 426, 451, 552, ...: the server did not keep the file.
    if (isTransferErrorReply(ReplyNumber())) throw FTPException(line);
    return line;
}

// --------------------------------------------------------------- login

void TVexFTP::Connect()
{
    ClearCanceled();
    if (Connected()) return;
    epsvRefused_ = false;
    serverCertificate_.clear();
    CanStartTLS = ExplicitTLS || ImplicitTLS;
    TPowersock::Connect();
    try {
        if (ImplicitTLS) startImplicitTls();
        readGreeting();
        if (ExplicitTLS && !ImplicitTLS) startTls();
        if (UserID.isEmpty() || Password.isEmpty())
            StatusMessage(1, QStringLiteral("USER ") + QString::fromUtf8(UserID));
        QByteArray user = "USER " + UserID;
        if (!Proxy.isEmpty()) user += '@' + Host.toUtf8();
        QByteArray reply = Transaction(user);
        if (isUserErrorReply(ReplyNumber())) throw FTPException(reply);
        if (ReplyNumber() == 331) {
            StatusMessage(1, QStringLiteral("PASS "));
            reply = Transaction("PASS " + Password);
            if (isErrorReply(ReplyNumber())) throw FTPException(reply);
        }
        // Image type: in the server's default ASCII type a file holding
        // CR LF bytes would be stored altered.
        reply = Transaction(QByteArrayLiteral("TYPE I"));
        if (isErrorReply(ReplyNumber())) throw FTPException(reply);
        if (CanStartTLS) protectData();
        if (OnConnect) OnConnect(*this);
    } catch (...) {
        closeAfterFailedLogin();
        throw;
    }
}

void TVexFTP::startTls()
{
    const QByteArray reply = Transaction(QByteArrayLiteral("AUTH TLS"));
    // Never on in the clear: the password is not sent without TLS.
    if (!isPositiveReply(ReplyNumber()))
        throw FTPException(QStringLiteral("The server refused TLS"), reply);
    // Bytes the server sent in the clear after its consent would otherwise
    // be read as the first protected replies.
    if (PendingInput() > 0)
        throw ESockError(QStringLiteral("The server sent unprotected bytes after AUTH TLS"));
    TlsSettings settings = TLS;
    if (settings.peerName.isEmpty()) settings.peerName = Proxy.isEmpty() ? Host : Proxy;
    StartTLS(settings);
    serverCertificate_ = PeerCertificate();
}

void TVexFTP::startImplicitTls()
{
    TlsSettings settings = TLS;
    if (settings.peerName.isEmpty()) settings.peerName = Proxy.isEmpty() ? Host : Proxy;
    StartTLS(settings);
    serverCertificate_ = PeerCertificate();
}

void TVexFTP::protectData()
{
    QByteArray reply = Transaction(QByteArrayLiteral("PBSZ 0"));
    if (isErrorReply(ReplyNumber()))
        throw FTPException(QStringLiteral("The server refused protected transfers"), reply);
    reply = Transaction(QByteArrayLiteral("PROT P"));
    if (isErrorReply(ReplyNumber()))
        throw FTPException(QStringLiteral("The server refused protected transfers"), reply);
}

void TVexFTP::closeAfterFailedLogin()
{
    try {
        // A stopped login asks the server nothing more: it may be the one
        // that stopped answering.
        if (Canceled())
            Drop();
        else
            Disconnect();
    } catch (...) {
        // The login's own failure is the one to report.
    }
    StatusMessage(1, QStringLiteral("Disconnected"));
}

void TVexFTP::Disconnect()
{
    ClearCanceled();
    if (!Connected()) return;
    StatusMessage(1, QStringLiteral("QUIT"));
    std::optional<FTPException> refused;
    try {
        if (PendingInput() > 0) Read(0);
        if (Stalled()) {
            // After a reply that never came, the next line would not be the
            // answer to QUIT; the connection closes without waiting for one.
            Writeln(QByteArrayLiteral("QUIT"));
        } else {
            const QByteArray reply = Transaction(QByteArrayLiteral("QUIT"));
            if (isErrorReply(ReplyNumber())) refused.emplace(reply);
        }
    } catch (...) {
        TPowersock::Disconnect();
        throw;
    }
    TPowersock::Disconnect();
    if (refused) throw *refused;
}

void TVexFTP::Drop()
{
    dataSocket_.reset();
    if (Connected()) {
        StatusMessage(1, QStringLiteral("QUIT"));
        WriteNow("QUIT\r\n");
    }
    TPowersock::Disconnect();
}

void TVexFTP::Abort()
{
    if (dataSocket_) dataSocket_->Cancel();
}

// -------------------------------------------------------------- folders

bool TVexFTP::MakeDirectory(const QByteArray& path)
{
    ClearCanceled();
    CertifyConnect();
    StatusMessage(1, QStringLiteral("MKD ") + QString::fromUtf8(path));
    const QByteArray reply = Transaction("MKD " + path);
    // The server is closing: no later command could succeed.
    if (ReplyNumber() == 421) throw FTPException(reply);
    return isPositiveReply(ReplyNumber());
}

std::optional<qint64> TVexFTP::RemoteSize(const QByteArray& remoteName)
{
    ClearCanceled();
    CertifyConnect();
    const QByteArray reply = Transaction("SIZE " + remoteName);
    if (ReplyNumber() == 421) throw FTPException(reply);
    if (ReplyNumber() != 213) return std::nullopt;
    bool ok = false;
    const qint64 size = reply.mid(4).trimmed().toLongLong(&ok);
    if (!ok || size < 0) return std::nullopt;
    return size;
}

bool TVexFTP::DeleteFile(const QByteArray& remoteName)
{
    ClearCanceled();
    CertifyConnect();
    StatusMessage(1, QStringLiteral("DELE ") + QString::fromUtf8(remoteName));
    const QByteArray reply = Transaction("DELE " + remoteName);
    if (ReplyNumber() == 421) throw FTPException(reply);
    return isPositiveReply(ReplyNumber());
}

// --------------------------------------------------------------- upload

void TVexFTP::failure(const QByteArray& reply, const QString& explanation)
{
    const auto raise = [&] {
        if (explanation.isEmpty()) throw FTPException(reply);
        throw FTPException(explanation, reply);
    };
    if (!OnFailure) raise();
    bool handled = false;
    OnFailure(handled, TCmdType::Upload);
    if (!handled) raise();
}

void TVexFTP::openActive(TPowersock& data)
{
    // Only where the server can reach us over the control connection, and
    // only the server may connect.
    const QHostAddress local = LocalHostAddress();
    data.SetExpectedPeer(RemoteHostAddress());
    data.Listen(local);
    const QByteArray command = local.protocol() == QAbstractSocket::IPv6Protocol
                                   ? activeModeCommand(local, data.LocalPort())
                                   : "PORT " + GetLocalAddress() + data.GetPortString();
    StatusMessage(1, QString::fromUtf8(command));
    const QByteArray reply = Transaction(command);
    // 421 is the server closing, whatever the mode.
    if (isErrorReply(ReplyNumber())) failure(reply, ReplyNumber() == 421 ? QString() : kTryPassive);
}

void TVexFTP::askPassive(TPowersock& data)
{
    const QHostAddress server = RemoteHostAddress();
    // PASV speaks IPv4 only.
    const bool ipv6 = server.protocol() == QAbstractSocket::IPv6Protocol;
    std::optional<quint16> port;
    if (!epsvRefused_ || ipv6) {
        const QByteArray reply = Transaction(QByteArrayLiteral("EPSV"));
        if (isErrorReply(ReplyNumber()) || ReplyNumber() == 0) {
            if (ipv6) throw FTPException(QStringLiteral("The server refused passive mode"), reply);
            // Not asked again on this connection.
            epsvRefused_ = true;
        } else {
            port = extendedPassivePort(reply);
            if (!port)
                throw FTPException(QStringLiteral("The server's passive mode reply has no port"),
                                   reply);
        }
    }
    if (!port) {
        const QByteArray reply = Transaction(QByteArrayLiteral("PASV"));
        if (isErrorReply(ReplyNumber()) || ReplyNumber() == 0)
            throw FTPException(QStringLiteral("The server refused passive mode"), reply);
        port = passivePort(reply);
        if (!port)
            throw FTPException(QStringLiteral("The server's passive mode reply has no port"),
                               reply);
    }
    data.Host = server.toString();
    data.Port = *port;
}

void TVexFTP::connectPassive(TPowersock& data)
{
    try {
        data.Connect();
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        throw ESockError(QStringLiteral("Error creating Data Connection (%1)").arg(e.text()));
    }
}

TlsSettings TVexFTP::dataTls() const
{
    TlsSettings settings;
    settings.peerName = TLS.peerName.isEmpty() ? Host : TLS.peerName;
    settings.pinned = serverCertificate_;
    settings.sessionTicket = TlsSessionTicket();
    return settings;
}

void TVexFTP::Upload(const QByteArray& localPath, const QByteArray& remoteName)
{
    ClearCanceled();
    // A close or a reset that came while nothing waited is noticed here, so
    // that a lost connection reads as one.
    if (Connected()) processPendingEvents();
    CertifyConnect();
    dataSocket_ = std::make_unique<TPowersock>();
    bool succeeded = false;
    {
        const ScopeExit dropDataSocket([this] { dataSocket_.reset(); });
        TPowersock& data = *dataSocket_;
        if (PendingInput() > 0) Read(0);

        data.TimeOut = TimeOut;
        data.Port = 0;
        data.CanStartTLS = CanStartTLS;
        data.SetLinkedConnection(this);

        {
            QFile file;
            if (!openRegularFile(file, localPath, QIODevice::ReadOnly))
                throw FileError::cannotOpen(QFile::decodeName(localPath));
            SetBytesTotal(file.size());
        }

        if (Passive)
            askPassive(data);
        else
            openActive(data);

        if (OnPacketSent) data.OnPacketSent = OnPacketSent;

        QByteArray store;
        if (!remoteName.isEmpty()) {
            StatusMessage(1, QStringLiteral("STOR ") + QString::fromUtf8(remoteName));
            store = "STOR " + remoteName;
        } else {
            StatusMessage(1, QStringLiteral("STOR ") + QFile::decodeName(localPath));
            store = "STOR " + localPath.mid(localPath.lastIndexOf('/') + 1);
        }
        // In passive mode the command goes out before the data connection is
        // made, so the server reads it while the connection's handshake
        // travels: a round trip less a file. A connection that fails ends
        // this session, whose control connection is not used again.
        QByteArray reply = Passive ? transactionAlongside(store, [&] { connectPassive(data); })
                                   : Transaction(store);
        if (isErrorReply(ReplyNumber())) {
            if (OnUnSupportedFunction && isUnsupportedReply(ReplyNumber()))
                OnUnSupportedFunction(TCmdType::Upload);
            failure(reply);
        }

        if (!Passive) {
            try {
                data.UseSocket(data.Accept());
            } catch (const EAbortError&) {
                throw;
            } catch (const ESockError&) {
                if (!data.TimedOut()) throw;
                throw ESockError(QStringLiteral("Data Connection Timed Out: the server did not "
                                                "connect back (try passive mode)"));
            }
        }
        if (CanStartTLS) data.StartTLS(dataTls());
        if (OnTransactionStart) OnTransactionStart(*this);
        // A cancelled upload is a failure, never a quiet success.
        if (Canceled()) throw EAbortError(QStringLiteral("Socket send aborted"));
        data.SendFile(localPath);
        if (OnTransactionStop) OnTransactionStop(*this);
        // Every byte is written, so this close is graceful: it tells the
        // server the file is complete.
        data.CloseSending();
        if (Canceled()) throw EAbortError(QStringLiteral("Socket send aborted"));
        readFinalReply(data);
        succeeded = true;
    }
    if (succeeded && OnSuccess) OnSuccess(TCmdType::Upload);
}

}  // namespace velmora
