#include "publish/ftp/ThreadTimer.h"

#include <limits>

#include "base/Errors.h"

namespace velmora {

TThreadTimer::TThreadTimer(QObject* owner) : QObject(owner), timer_(this)
{
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

void TThreadTimer::SetEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    rearm();
}

void TThreadTimer::SetInterval(unsigned interval)
{
    if (interval == interval_) return;
    interval_ = interval;
    rearm();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler)
{
    onTimer_ = std::move(handler);
    rearm();
}

void TThreadTimer::rearm()
{
    timer_.stop();
    if (interval_ == 0 || !enabled_ || !onTimer_) return;
    // QTimer counts in int milliseconds; longer intervals run at its limit.
    const unsigned limit = static_cast<unsigned>(std::numeric_limits<int>::max());
    timer_.start(static_cast<int>(std::min(interval_, limit)));
    if (!timer_.isActive()) throw VelmoraError(QStringLiteral("No Timer"));
}

void TThreadTimer::tick()
{
    if (!onTimer_) return;
    // A copy, so that a handler may replace itself.
    const TNotifyEvent handler = onTimer_;
    try {
        handler(*this);
    } catch (const VelmoraError& e) {
        if (OnHandlerFailure) OnHandlerFailure(e.text());
    } catch (const std::exception& e) {
        if (OnHandlerFailure) OnHandlerFailure(QString::fromLocal8Bit(e.what()));
    }
}

}  // namespace velmora
