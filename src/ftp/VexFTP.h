#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>

#include "Powersock.h"

namespace velmora {

// The command type carried by the client's events; an upload is 9.
enum class TCmdType : int { Upload = 9 };

// The client side of FTP over TPowersock: the control connection is this
// instance's own socket; each upload opens a second TPowersock, the data
// connection, in active mode (the client listens and announces its address
// with PORT; the server connects to it). Commands sent: USER, PASS, TYPE I,
// PORT, STOR and QUIT. The remote directory is part of the remote name.
class TVexFTP : public TPowersock {
public:
    using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
    using TFailureEvent = std::function<void(bool& handled, TCmdType Trans_Type)>;
    using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;

    explicit TVexFTP(QObject* owner = nullptr);
    ~TVexFTP() override;

    QByteArray UserID;
    QByteArray Password;
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

    const TPowersock* DataSocket() const { return dataSocket_.get(); }

protected:
    void ConnectNotified() override {}

private:
    void ReadContinuation(QByteArray line);
    void readGreeting();
    QByteArray readFinalReply();
    void failure(const QByteArray& reply);
    void closeAfterFailedLogin();
    void quitAndClose();

    std::unique_ptr<TPowersock> dataSocket_;
};

}  // namespace velmora
