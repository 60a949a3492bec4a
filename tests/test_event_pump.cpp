#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/QtOperatorUi.h"

using namespace kestrix;

TEST(QtEventPump, ReturnsAsSoonAsItIsWokenWithTheConditionMet) {
    QtEventPump pump;
    bool replied = false;
    QTimer::singleShot(20, [&] {
        replied = true;
        pump.wake();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(pump.pumpUntil([&] { return replied; }, std::chrono::milliseconds(10000)));
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(QtEventPump, GivesUpAtTheDeadlineAndRunsEventsMeanwhile) {
    QtEventPump pump;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(pump.pumpUntil([] { return false; }, std::chrono::milliseconds(150)));
    EXPECT_GE(clock.elapsed(), 150);
    EXPECT_GT(ticks, 3);  // UI events went through while waiting
}

TEST(QtEventPump, AWakeWithoutTheConditionKeepsWaiting) {
    QtEventPump pump;
    QTimer::singleShot(10, [&] { pump.wake(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(pump.pumpUntil([] { return false; }, std::chrono::milliseconds(120)));
    EXPECT_GE(clock.elapsed(), 120);
}
