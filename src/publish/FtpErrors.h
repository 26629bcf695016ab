#pragma once

#include <QByteArray>
#include <QString>

#include "base/Errors.h"

namespace velmora {

// A failure of the socket layer, with its own text ("Connection Failed",
// "Not Connected", ...).
class ESockError : public VelmoraError {
public:
    using VelmoraError::VelmoraError;
};

// A read or send that was cancelled ("Socket readln aborted", "Socket send
// aborted").
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// An error reply of the FTP server. The text is the reply's first line as
// it arrived, line end included; the bytes are kept as well.
class FTPException : public VelmoraError {
public:
    explicit FTPException(const QByteArray& replyLine);
    // The reply after a sentence that says what the refusal means for the
    // user: "The server refused active mode (try passive mode): 500 ...".
    FTPException(const QString& explanation, const QByteArray& replyLine);
    const QByteArray& reply() const { return reply_; }
    // The same refusal with where it happened before it:
    // "Cannot store a.htm in the login folder on host port 21: 553 ...".
    FTPException within(const QString& context) const;

private:
    QByteArray reply_;
};

// The server confirmed a file but holds another size of it than was sent:
// worth sending again.
class IncompleteFileError : public VelmoraError {
public:
    IncompleteFileError(const QByteArray& remoteName, qint64 held, qint64 sent);
};

// The server showed an identity (a TLS certificate, a host key) that the
// checks do not accept. The text says so and shows its fingerprint, so that
// the user can compare it and choose to trust it.
class UntrustedServerError : public VelmoraError {
public:
    UntrustedServerError(const QString& text, const QByteArray& fingerprint)
        : VelmoraError(text), fingerprint_(fingerprint)
    {
    }
    const QByteArray& fingerprint() const { return fingerprint_; }

private:
    QByteArray fingerprint_;
};

}  // namespace velmora
