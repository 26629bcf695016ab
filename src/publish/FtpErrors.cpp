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

FTPException FTPException::within(const QString& context) const
{
    const QString replyText = QString::fromUtf8(reply_);
    if (text() == replyText) return FTPException(context, reply_);
    // "explanation: reply": the explanation stays between context and reply.
    const QString explanation = text().left(text().size() - replyText.size() - 2);
    return FTPException(context + QStringLiteral(": ") + explanation, reply_);
}

IncompleteFileError::IncompleteFileError(const QByteArray& remoteName, qint64 held, qint64 sent)
    : VelmoraError(QStringLiteral("The server holds %1 bytes of %2 after its upload, not %3")
                       .arg(held)
                       .arg(QString::fromUtf8(remoteName))
                       .arg(sent))
{
}

}  // namespace velmora
