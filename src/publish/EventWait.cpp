#include "publish/EventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include "publish/FtpErrors.h"

namespace velmora {

namespace {

constexpr int kStepCapMs = 2;

}  // namespace

EventWait::EventWait()
{
    // Without an event dispatcher nothing could ever end the wait.
    if (!QAbstractEventDispatcher::instance()) throw ESockError(QStringLiteral("No event loop"));
    cap_.setTimerType(Qt::PreciseTimer);
    cap_.setInterval(kStepCapMs);
    cap_.start();
}

void EventWait::step()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void processPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace velmora
