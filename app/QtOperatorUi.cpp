#include "app/QtOperatorUi.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kestrix {

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.')) return text + QLatin1Char('.');
    return text;
}

namespace {
void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}
}  // namespace

void QtOperatorDialogs::showErrorBox(const QString& text) {
    ShowBox(m_parent, QMessageBox::Critical, kErrorCaption, text);
}

void QtOperatorDialogs::showNoticeBox(const QString& text) {
    ShowBox(m_parent, QMessageBox::NoIcon, kApplicationTitle, text);
}

void QtOperatorDialogs::showUnexpectedErrorBox(const QString& text) {
    ShowBox(m_parent, QMessageBox::Critical, kApplicationTitle, text);
}

QString QtOperatorDialogs::askSaveFileName(const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // an existing file is replaced without a question
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace kestrix
