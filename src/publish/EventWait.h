#pragma once

#include <QTimer>

namespace velmora {

// Waits on the GUI thread by running the event loop until a condition holds.
// Each step lets the loop block for the next event, so a wait wakes the
// moment its socket or timer event arrives; a 2 ms ticking timer caps the
// block, so the condition is looked at least every 2 ms. (Sleeping a fixed
// 2 ms per step instead would cost seconds over a thousand uploads.)
class EventWait {
public:
    EventWait();
    EventWait(const EventWait&) = delete;
    EventWait& operator=(const EventWait&) = delete;

    // Processes the events that arrive within one step.
    void step();

    template <typename Done>
    void until(Done&& done)
    {
        while (!done()) step();
    }

private:
    QTimer cap_;
};

template <typename Done>
void waitUntil(Done&& done)
{
    EventWait wait;
    wait.until(std::forward<Done>(done));
}

// Lets the events already pending run once, without blocking.
void processPendingEvents();

}  // namespace velmora
