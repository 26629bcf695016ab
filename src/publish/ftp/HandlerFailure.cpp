#include "publish/ftp/HandlerFailure.h"

#include "base/Errors.h"

namespace velmora {

QString failureText(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const VelmoraError& e) {
        return e.text();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void HandlerFailure::carry(const Display& display, std::exception_ptr failure) noexcept
{
    if (waits_ == 0 && display) {
        try {
            display(failureText(failure));
            return;
        } catch (...) {
            // A display that fails itself leaves the failure to the next wait.
        }
    }
    // The first failure is the cause; later ones follow from it.
    if (!pending_) pending_ = std::move(failure);
}

void HandlerFailure::raisePending()
{
    if (!pending_) return;
    std::rethrow_exception(std::exchange(pending_, nullptr));
}

}  // namespace velmora
