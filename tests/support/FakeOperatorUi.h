#pragma once
// Test doubles for the operator's side: boxes are recorded instead of shown,
// the save dialog answers from a queue, and the event pump runs the real event
// loop with the protocol's time-outs scaled down.

#include <QStringList>
#include <deque>
#include <functional>

#include "app/OperatorUi.h"
#include "app/QtOperatorUi.h"

namespace kestrix::test {

struct ShownBox {
    enum Kind { Error, Notice, Unexpected } kind;
    QString text;
    bool operator==(const ShownBox&) const = default;
};

class RecordingDialogs : public OperatorDialogs {
public:
    void showErrorBox(const QString& text) override { record({ShownBox::Error, text}); }
    void showNoticeBox(const QString& text) override { record({ShownBox::Notice, text}); }
    void showUnexpectedErrorBox(const QString& text) override { record({ShownBox::Unexpected, text}); }
    QString askSaveFileName(const QString& filter, const QString& defaultSuffix) override {
        lastFilter = filter;
        lastSuffix = defaultSuffix;
        if (saveAnswers.empty()) return {};
        QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    std::vector<ShownBox> boxes;
    std::deque<QString> saveAnswers;  // empty: the operator cancels
    QString lastFilter, lastSuffix;
    std::function<void(const ShownBox&)> onBox;  // runs while the "box" is open

private:
    void record(const ShownBox& box) {
        boxes.push_back(box);
        if (onBox) onBox(box);
    }
};

// The real pump with every time-out divided by `divisor`; remembers what it was asked for.
class ScaledEventPump : public EventPump {
public:
    explicit ScaledEventPump(int divisor = 10) : m_divisor(divisor) {}
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override {
        requestedTimeouts.push_back(timeout);
        if (beforeWait) beforeWait();
        return m_pump.pumpUntil(done, timeout / m_divisor);
    }
    void wake() override { m_pump.wake(); }

    std::vector<std::chrono::milliseconds> requestedTimeouts;
    std::function<void()> beforeWait;  // runs at the start of every wait

private:
    QtEventPump m_pump;
    int m_divisor;
};

}  // namespace kestrix::test
