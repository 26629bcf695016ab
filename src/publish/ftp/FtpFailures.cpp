#include "publish/ftp/FtpFailures.h"

#include "publish/FtpErrors.h"
#include "publish/ftp/ReplyLines.h"

namespace velmora {

namespace {

QString where(const FtpPlace& place)
{
    return QStringLiteral("%1 port %2").arg(place.host).arg(place.port);
}

QString noAnswer(const FtpPlace& place)
{
    if (place.timeOutMs <= 0) return QStringLiteral("no answer");
    return QStringLiteral("no answer in %1 s").arg((place.timeOutMs + 999) / 1000);
}

// The system's reason for a failure of the socket layer, in a few words.
QString reasonFor(const QString& text, const FtpPlace& place, int lastErrorNo)
{
    if (text == QLatin1String("Null Remote Address") || text == QLatin1String("Host Lookup Failed"))
        return QStringLiteral("name not found");
    if (text == QLatin1String("Host Lookup Timed Out")) return QStringLiteral("the name service did not answer");
    if (text.contains(QLatin1String("timed out"), Qt::CaseInsensitive)) return noAnswer(place);
    if (text == QLatin1String("Connection Lost")) return QStringLiteral("the server closed the connection");
    switch (lastErrorNo) {
    case 10061: return QStringLiteral("connection refused");
    case 10060: return noAnswer(place);
    case 10054: return QStringLiteral("the server closed the connection");
    case 11001: return QStringLiteral("name not found");
    case 10050: return QStringLiteral("the network cannot reach it");
    default: break;
    }
    return {};
}

bool isRetryableReply(qint64 number) { return number == 421 || number == 425 || number == 426; }

}  // namespace

bool isWorthRetrying(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const EAbortError&) {
        return false;
    } catch (const ESockError&) {
        return true;
    } catch (const FTPException& e) {
        return isRetryableReply(replyNumberOf(e.reply()));
    } catch (const IncompleteFileError&) {
        return true;
    } catch (...) {
        return false;
    }
}

void rethrowConnectFailure(const std::exception_ptr& failure, const FtpPlace& place, int lastErrorNo)
{
    try {
        std::rethrow_exception(failure);
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        const QString reason = reasonFor(e.text(), place, lastErrorNo);
        throw ESockError(reason.isEmpty() ? QStringLiteral("%1 (%2)").arg(e.text(), where(place))
                                          : QStringLiteral("%1 (%2: %3)").arg(e.text(), where(place), reason));
    } catch (const FTPException& e) {
        // The reply says what the server refused; the place says which server.
        if (!e.text().startsWith(QString::fromUtf8(e.reply().left(3)))) throw;
        throw e.within(QStringLiteral("%1 refused the login").arg(where(place)));
    }
}

void rethrowFileFailure(const std::exception_ptr& failure, const FtpPlace& place,
                        const QByteArray& remoteName)
{
    try {
        std::rethrow_exception(failure);
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        const QString reason = reasonFor(e.text(), place, 0);
        throw ESockError(QStringLiteral("%1 (%2 to %3%4)")
                             .arg(e.text(), QString::fromUtf8(remoteName), where(place),
                                  reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    } catch (const FTPException& e) {
        const qsizetype slash = remoteName.lastIndexOf('/');
        const QString folder = slash < 0 ? QStringLiteral("the login folder")
                                         : QStringLiteral("folder '%1'").arg(QString::fromUtf8(remoteName.left(slash)));
        throw e.within(QStringLiteral("Cannot store %1 in %2 on %3")
                           .arg(QString::fromUtf8(remoteName), folder, where(place)));
    }
}

}  // namespace velmora
