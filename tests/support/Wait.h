#pragma once
// The one wait of the tests: lets the event loop run (sockets, timers, child
// processes) until the condition holds or the timeout has run out.

#include <QTest>
#include <chrono>
#include <functional>

namespace kestrix::test {

inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

}  // namespace kestrix::test
