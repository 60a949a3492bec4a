#pragma once
// Waiting for a controller reply, behind a narrow interface so that tests can
// scale the protocol's time-outs: on the window's thread the wait lets pending
// events through; on a worker thread of the collector it sleeps until woken.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class QEventLoop;

namespace kestrix {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Waits until done() holds or the timeout has run out on a monotonic
    // clock; returns done(). Does not spin: it sleeps between wake-ups.
    virtual bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) = 0;
    // Makes a running pumpUntil look at done() again (a reply has arrived).
    // Called on the thread that delivers replies.
    virtual void wake() = 0;
};

// The event loop of the running Qt application: pending UI events go through
// while it waits. Replies must be delivered on the same thread.
class QtEventPump : public EventPump {
public:
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
    void wake() override;

private:
    QEventLoop* m_loop = nullptr;
};

// A thread without an event loop of its own: replies are delivered on another
// thread, which wakes this one.
class ThreadPump : public EventPump {
public:
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
    void wake() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
};

}  // namespace kestrix
