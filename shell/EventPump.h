#pragma once
// Waiting for a controller reply while pending events go through, behind a
// narrow interface so that tests can scale the protocol's time-outs.

#include <chrono>
#include <functional>

class QEventLoop;

namespace kestrix {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Lets pending UI events through until done() holds or the timeout has run
    // out on a monotonic clock; returns done(). Does not spin: it sleeps in the
    // event loop between events.
    virtual bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) = 0;
    // Makes a running pumpUntil look at done() again (a reply has arrived).
    virtual void wake() = 0;
};

// The event loop of the running Qt application.
class QtEventPump : public EventPump {
public:
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
    void wake() override;

private:
    QEventLoop* m_loop = nullptr;
};

}  // namespace kestrix
