#pragma once

#include <QString>
#include <optional>

namespace velmora {

// When an upload that broke off is tried again: up to three times in a row,
// after 1, 2 and 4 seconds; a try that got a file through starts the count
// anew.
class RetrySchedule {
public:
    static constexpr int kMaxRetries = 3;

    // Notes a failure once `confirmedSoFar` files are confirmed; returns the
    // wait before the next try, or nothing once the tries are used up.
    std::optional<int> nextDelayMs(int confirmedSoFar);
    // The status line of a retry: "Connection Lost: trying again in 2 s (2 of 3)".
    QString statusText(const QString& failure) const;

private:
    int retries_ = 0;
    int delayMs_ = 0;
    int confirmedAtLastFailure_ = -1;
};

}  // namespace velmora
