#include "publish/FtpErrors.h"

namespace velmora {

FTPException::FTPException(const QByteArray& replyLine)
    : VelmoraError(QString::fromUtf8(replyLine)), reply_(replyLine)
{
}

FTPException::FTPException(const QString& explanation, const QByteArray& replyLine)
    : VelmoraError(explanation + QStringLiteral(": ") + QString::fromUtf8(replyLine)),
      reply_(replyLine)
{
}

}  // namespace velmora
