#pragma once
// A window on the offscreen platform with recorded boxes, a scaled event pump
// and free ports, plus helpers to reach its controls by name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "app/TForm1.h"
#include "tests/support/FakeCapture.h"
#include "tests/support/Wait.h"
#include "tests/support/FakeOperatorUi.h"
#include "tests/support/TestDatabase.h"

namespace kestrix::test {

class FormFixture : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(services()); }

    virtual FormServices services() {
        FormServices s{dialogs, pump, 0, kControllerPort};
        s.appDirectory = app.path();
        s.operatorSettingsPath = app.path() + "operator/settings.ini";
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

    // The link as the operator sets it: mode, controller MAC and IP.
    void enterLink(bool ipMode, const QString& mac, const QString& ip) {
        control<QRadioButton>(ipMode ? "RadioButton2" : "RadioButton1")->click();
        control<QComboBox>("edit1")->setEditText(mac);
        control<QLineEdit>("Edit4")->setText(ip);
    }

    // Runs the download handler directly: after a run with events only a load
    // would enable the start button again.
    void runDownload() { form->runGuarded([&] { form->Button2Click(); }); }

    AppDirectory app;  // the program's directory: settings.ini goes here
    std::shared_ptr<FakeCapture> capture = std::make_shared<FakeCapture>();
    RecordingDialogs dialogs;
    ScaledEventPump pump;
    std::unique_ptr<TForm1> form;
};

}  // namespace kestrix::test
