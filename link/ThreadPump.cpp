#include "link/EventPump.h"

namespace kestrix {

bool ThreadPump::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // done() is looked at under the mutex that wake() takes: a wake-up between
    // the look and the sleep cannot be lost.
    std::unique_lock lock(m_mutex);
    return m_woken.wait_until(lock, deadline, done);
}

void ThreadPump::wake() {
    const std::lock_guard lock(m_mutex);
    m_woken.notify_all();
}

}  // namespace kestrix
