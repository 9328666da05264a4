#pragma once

#include <atomic>

namespace sys {

/// Lets work be given up from another thread: the worker looks at it many times a second and
/// stops soon after it is set.
class Cancellation {
public:
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
};

} // namespace sys
