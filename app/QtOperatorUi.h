#pragma once
// The real message boxes, file dialog and event pump.

#include <QPointer>
#include <QWidget>

#include "app/OperatorUi.h"

class QEventLoop;

namespace kestrix {

class QtOperatorDialogs : public OperatorDialogs {
public:
    void setParentWindow(QWidget* window) { m_parent = window; }
    void showErrorBox(const QString& text) override;
    void showNoticeBox(const QString& text) override;
    void showUnexpectedErrorBox(const QString& text) override;
    QString askSaveFileName(const QString& filter, const QString& defaultSuffix) override;

private:
    QPointer<QWidget> m_parent;
};

class QtEventPump : public EventPump {
public:
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
    void wake() override;

private:
    QEventLoop* m_loop = nullptr;
};

}  // namespace kestrix
