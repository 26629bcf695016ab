#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "publish/ftp/Powersock.h"
#include "publish/ftp/TlsSettings.h"

namespace velmora {

// The command type carried by the client's events; an upload is 9.
enum class TCmdType : int { Upload = 9 };

// The client side of FTP over TPowersock: the control connection is this
// instance's own socket; each upload opens a second TPowersock, the data
// connection, in active mode (the client listens and announces its address
// with PORT or EPRT; the server connects to it) or in passive mode (the
// server announces a port with EPSV or PASV; the client connects to it).
// With ExplicitTLS the control connection turns to TLS before USER and every
// data connection is TLS too. The remote directory is part of the remote
// name.
class TVexFTP : public TPowersock {
public:
    using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
    using TFailureEvent = std::function<void(bool& handled, TCmdType Trans_Type)>;
    using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;

    explicit TVexFTP(QObject* owner = nullptr);
    ~TVexFTP() override;

    QByteArray UserID;
    QByteArray Password;
    // Data connections in passive mode: EPSV first, PASV once the server
    // refuses EPSV.
    bool Passive = false;
    // RFC 4217: AUTH TLS before the login, PBSZ 0 and PROT P after it, and
    // every data connection TLS, resuming the control connection's session.
    bool ExplicitTLS = false;
    // FTPS on a port that speaks TLS from the first byte (mostly 990): the
    // handshake comes before the greeting; the rest is as with ExplicitTLS.
    bool ImplicitTLS = false;
    // What the server's certificate is held to; an empty peer name means
    // the host connected to.
    TlsSettings TLS;
    // Raised after a successful login. It takes the place of the socket
    // layer's connect event, which this component does not raise.
    TNotifyEvent OnConnect;
    TNotifyEvent OnTransactionStart;  // the server has connected the data connection
    TNotifyEvent OnTransactionStop;   // the file has been sent
    TFailureEvent OnFailure;          // an error reply to PORT or STOR; handled goes on
    TSuccessEvent OnSuccess;
    TUnsupportedEvent OnUnSupportedFunction;  // STOR answered with 500 to 502

    // Connects the control connection and logs in; does nothing when it is
    // already connected. A refused login closes the connection first.
    void Connect() override;
    // QUIT, then close; does nothing when not connected.
    void Disconnect() override;
    // One command line; returns the first line of the reply after reading
    // its continuation lines. A command holding a byte below 32 is refused
    // with ESockError before anything is sent.
    QByteArray Transaction(const QByteArray& command) override;
    // Cancels the data connection of a running upload.
    void Abort() override;

    // Stores one local file under the remote name, or under the local
    // file's own name when the remote name is empty.
    // The local path is taken byte for byte; only a regular file is sent.
    void Upload(const QByteArray& localPath, const QByteArray& remoteName);
    // A local path the system gave as text.
    void Upload(const QString& localPath, const QByteArray& remoteName)
    {
        Upload(QFile::encodeName(localPath), remoteName);
    }
    // MKD of one folder; true when the server made it. A refusal is no
    // failure: the folder is most often there already, and where it is not,
    // the upload into it tells.
    bool MakeDirectory(const QByteArray& path);
    // The size of a file on the server (SIZE, in the image type); nothing
    // when the server does not tell.
    std::optional<qint64> RemoteSize(const QByteArray& remoteName);
    // DELE of one file; true when the server removed it. Any refusal but a
    // closing server (421) is the caller's to judge from LastReply().
    bool DeleteFile(const QByteArray& remoteName);
    // Closes the control connection at once, with a QUIT that nothing
    // waits for: after a stop the server is not asked for anything more.
    void Drop();

    const TPowersock* DataSocket() const { return dataSocket_.get(); }

protected:
    void ConnectNotified() override {}

private:
    void ReadContinuation(QByteArray line);
    void readGreeting();
    void startTls();
    void startImplicitTls();
    void protectData();
    // One reply, its continuation lines included, within the time-out.
    QByteArray readReply();
    QByteArray readFinalReply(TPowersock& data);
    void openActive(TPowersock& data);
    // Asks for a passive port (EPSV, or PASV where EPSV is refused) and
    // aims `data` at it; connectPassive() then makes the connection.
    void askPassive(TPowersock& data);
    void connectPassive(TPowersock& data);
    // `command` sent, then its reply read while `meanwhile` runs: the server
    // takes the command while `meanwhile` waits on the network.
    QByteArray transactionAlongside(const QByteArray& command, const std::function<void()>& meanwhile);
    void failure(const QByteArray& reply, const QString& explanation = {});
    void closeAfterFailedLogin();
    TlsSettings dataTls() const;

    std::unique_ptr<TPowersock> dataSocket_;
    bool epsvRefused_ = false;
    QSslCertificate serverCertificate_;
};

}  // namespace velmora
