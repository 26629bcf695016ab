#pragma once

#include <QByteArray>

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
    const QByteArray& reply() const { return reply_; }

private:
    QByteArray reply_;
};

}  // namespace velmora
