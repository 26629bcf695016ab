#include "publish/Retries.h"

namespace velmora {

std::optional<int> RetrySchedule::nextDelayMs(int confirmedSoFar)
{
    if (confirmedSoFar > confirmedAtLastFailure_ && confirmedAtLastFailure_ >= 0) retries_ = 0;
    confirmedAtLastFailure_ = confirmedSoFar;
    if (retries_ >= kMaxRetries) return std::nullopt;
    delayMs_ = 1000 << retries_;
    ++retries_;
    return delayMs_;
}

QString RetrySchedule::statusText(const QString& failure) const
{
    QString reason = failure.trimmed();
    if (reason.endsWith(u'.')) reason.chop(1);
    return QStringLiteral("%1: trying again in %2 s (%3 of %4)")
        .arg(reason)
        .arg(delayMs_ / 1000)
        .arg(retries_)
        .arg(kMaxRetries);
}

}  // namespace velmora
