#pragma once
// The real message boxes and file dialog.

#include <QPointer>
#include <QWidget>

#include "app/OperatorUi.h"
#include "link/EventPump.h"

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

}  // namespace kestrix
