#include "VexFTP.h"

#include <QFile>
#include <optional>

#include "FtpErrors.h"
#include "Publishing.h"
#include "ReplyLines.h"
#include "ScopeExit.h"

namespace velmora {

namespace {

constexpr bool isUnsupportedReply(qint64 number) { return number >= 500 && number <= 502; }

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
    while (continuesReply(line)) {
        line = ReadLn();
        StatusMessage(1, QString::fromUtf8(line));
    }
}

QByteArray TVexFTP::Transaction(const QByteArray& command)
{
    // The last guard against a planted line break: a command is one line of
    // printable bytes or it is not sent at all.
    for (char c : command) {
        if (static_cast<unsigned char>(c) < 32)
            throw ESockError(QStringLiteral("Cannot send a command that holds control characters"));
    }
    // One deadline for the command and every line of its reply, so that an
    // endless reply ends too.
    TimerScope timer(*this);
    const QByteArray reply = TPowersock::Transaction(command);
    ReadContinuation(reply);
    return reply;
}

void TVexFTP::readGreeting()
{
    TimerScope timer(*this);
    // Started as if after a continued line, so at least one line is read.
    ReadContinuation(QByteArrayLiteral(" "));
}

QByteArray TVexFTP::readFinalReply()
{
    TimerScope timer(*this);
    const QByteArray line = ReadLn();
    StatusMessage(1, QString::fromUtf8(line));
    const qint64 number = replyNumberOf(line);
    SetReply(line, number);
    ReadContinuation(line);
    // 426, 451, 552, ...: the server did not keep the file.
    if (isTransferErrorReply(number)) throw FTPException(line);
    return line;
}

// --------------------------------------------------------------- login

void TVexFTP::Connect()
{
    ClearCanceled();
    if (Connected()) return;
    TPowersock::Connect();
    try {
        readGreeting();
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
        if (OnConnect) OnConnect(*this);
    } catch (...) {
        closeAfterFailedLogin();
        throw;
    }
}

void TVexFTP::closeAfterFailedLogin()
{
    try {
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

void TVexFTP::Abort()
{
    if (dataSocket_) dataSocket_->Cancel();
}

// --------------------------------------------------------------- upload

void TVexFTP::failure(const QByteArray& reply)
{
    if (!OnFailure) throw FTPException(reply);
    bool handled = false;
    OnFailure(handled, TCmdType::Upload);
    if (!handled) throw FTPException(reply);
}

void TVexFTP::Upload(const QByteArray& localPath, const QByteArray& remoteName)
{
    ClearCanceled();
    CertifyConnect();
    dataSocket_ = std::make_unique<TPowersock>();
    bool succeeded = false;
    {
        const ScopeExit dropDataSocket([this] { dataSocket_.reset(); });
        TPowersock& data = *dataSocket_;
        if (PendingInput() > 0) Read(0);

        data.TimeOut = TimeOut;
        data.Port = 0;
        data.SetLinkedConnection(this);
        data.Listen();

        {
            QFile file;
            if (!OpenUploadFile(file, localPath))
                throw FileError::cannotOpen(QFile::decodeName(localPath));
            SetBytesTotal(file.size());
        }

        const QByteArray port = "PORT " + GetLocalAddress() + data.GetPortString();
        StatusMessage(1, QString::fromUtf8(port));
        QByteArray reply = Transaction(port);
        if (isErrorReply(ReplyNumber())) failure(reply);

        if (OnPacketSent) data.OnPacketSent = OnPacketSent;

        QByteArray store;
        if (!remoteName.isEmpty()) {
            StatusMessage(1, QStringLiteral("STOR ") + QString::fromUtf8(remoteName));
            store = "STOR " + remoteName;
        } else {
            StatusMessage(1, QStringLiteral("STOR ") + QFile::decodeName(localPath));
            store = "STOR " + localPath.mid(localPath.lastIndexOf('/') + 1);
        }
        reply = Transaction(store);
        if (isErrorReply(ReplyNumber())) {
            if (OnUnSupportedFunction && isUnsupportedReply(ReplyNumber()))
                OnUnSupportedFunction(TCmdType::Upload);
            failure(reply);
        }

        data.UseSocket(data.Accept());
        if (OnTransactionStart) OnTransactionStart(*this);
        // A cancelled upload is a failure, never a quiet success.
        if (Canceled()) throw EAbortError(QStringLiteral("Socket send aborted"));
        data.SendFile(localPath);
        if (OnTransactionStop) OnTransactionStop(*this);
        // Every byte is written, so this close is graceful: it tells the
        // server the file is complete.
        data.Close();
        if (Canceled()) throw EAbortError(QStringLiteral("Socket send aborted"));
        readFinalReply();
        succeeded = true;
    }
    if (succeeded && OnSuccess) OnSuccess(TCmdType::Upload);
}

}  // namespace velmora
