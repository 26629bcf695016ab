#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace velmora {

// Carries a failure raised by an event handler out of the event loop, where
// it must not unwind: to the operation that waits on the connection, which
// raises it as its own failure, or, when nothing waits, to the application's
// error display. Without a display it is kept for the next wait.
class HandlerFailure {
public:
    using Display = std::function<void(const QString& text)>;

    // Runs one notification's handler; a failure it raises is carried on.
    template <typename Handler>
    void run(const Display& display, Handler&& handler) noexcept
    {
        try {
            std::forward<Handler>(handler)();
        } catch (...) {
            carry(display, std::current_exception());
        }
    }

    // Marks the waits of the connection: while one runs, a failure is kept
    // for it instead of going to the display.
    void enterWait() { ++waits_; }
    void leaveWait() { --waits_; }

    // Raises the first failure kept since the last call, if any.
    void raisePending();
    bool pending() const { return static_cast<bool>(pending_); }

private:
    void carry(const Display& display, std::exception_ptr failure) noexcept;

    std::exception_ptr pending_;
    int waits_ = 0;
};

// The text a failure shows in the error display.
QString failureText(const std::exception_ptr& failure);

}  // namespace velmora
