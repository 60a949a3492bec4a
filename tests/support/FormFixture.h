#pragma once
// A window on the offscreen platform with recorded boxes, a scaled event pump
// and free ports, plus helpers to reach its controls by name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "app/TForm1.h"
#include "tests/support/FakeCapture.h"
#include "tests/support/FakeOperatorUi.h"
#include "tests/support/TestDatabase.h"

namespace kestrix::test {

class FormFixture : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(services()); }

    virtual FormServices services() {
        FormServices s{dialogs, pump, 0, kControllerPort};
        s.appDirectory = app.path();
        s.capture = capture;
        s.adapterDescription = [](const std::string&) { return std::string(); };
        return s;
    }

    template <class W = QWidget>
    W* control(const char* name) const {
        W* widget = form->findChild<W*>(QLatin1String(name));
        if (!widget) ADD_FAILURE() << "no control " << name;
        return widget;
    }

    // Lets the event loop run until the condition holds (at most two seconds).
    static bool waitFor(const std::function<bool()>& condition, int ms = 2000) {
        return QTest::qWaitFor(condition, ms);
    }

    AppDirectory app;  // the program's directory: settings.ini goes here
    std::shared_ptr<FakeCapture> capture = std::make_shared<FakeCapture>();
    RecordingDialogs dialogs;
    ScaledEventPump pump;
    std::unique_ptr<TForm1> form;
};

}  // namespace kestrix::test
