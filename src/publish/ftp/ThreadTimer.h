#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace velmora {

// A periodic timer driven by the event loop of the thread that owns it.
// It runs only while it is enabled, has an interval other than 0 and has a
// handler; changing any of the three re-arms it.
class TThreadTimer : public QObject {
public:
    using TNotifyEvent = std::function<void(TThreadTimer& sender)>;

    explicit TThreadTimer(QObject* owner = nullptr);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Milliseconds between ticks.
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned interval);

    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent handler);

    // A failure raised by the OnTimer handler is passed here (the
    // application's error display) instead of unwinding through the event
    // loop; without a receiver it is dropped.
    std::function<void(const QString& text)> OnHandlerFailure;

    bool isRunning() const { return timer_.isActive(); }

private:
    void rearm();
    void tick();

    bool enabled_ = true;
    unsigned interval_ = 1000;
    TNotifyEvent onTimer_;
    QTimer timer_;
};

}  // namespace velmora
