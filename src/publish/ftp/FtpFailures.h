#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace velmora {

// Where an FTP failure happened, for words that say so.
struct FtpPlace {
    QString host;
    int port = 21;
    int timeOutMs = 0;
};

// Whether a failure may pass with another try over a new connection: a
// connection lost, refused on a reconnect or silent, a server closing (421)
// or failing a data connection (425, 426), a file held at another size.
// A stop, a refused login, permission or quota, a certificate or a missing
// local file is not.
bool isWorthRetrying(const std::exception_ptr& failure);

// A failure to connect or log in, its text kept and the place and the
// system's reason added: "Connection Failed (ftp.example.com port 21:
// connection refused)".
[[noreturn]] void rethrowConnectFailure(const std::exception_ptr& failure, const FtpPlace& place,
                                        int lastErrorNo);
// A failure while sending a file, with the file's remote name, its folder
// and the place added to a refusal: "Cannot store www/a.htm in folder 'www'
// on host port 21: 553 Could not create file."
[[noreturn]] void rethrowFileFailure(const std::exception_ptr& failure, const FtpPlace& place,
                                     const QByteArray& remoteName);

}  // namespace velmora
