#pragma once
// What the window needs from the person in front of it, behind a narrow
// interface: message boxes and the file-save dialog. Tests answer them without
// a person.

#include <QString>

namespace kestrix {

inline const QString kApplicationTitle = QStringLiteral("КОРСИ Контроль доступа - Считыватель");
inline const QString kWindowCaption = QStringLiteral("Kestrix v2.5");
inline const QString kErrorCaption = QStringLiteral("Ошибка");

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;
    // Caption "Ошибка", error icon: fatal start-up failures and failed sends.
    virtual void showErrorBox(const QString& text) = 0;
    // Caption the application title, no icon: prompts and short reports.
    virtual void showNoticeBox(const QString& text) = 0;
    // Caption the application title, error icon: an error that escaped a handler.
    virtual void showUnexpectedErrorBox(const QString& text) = 0;
    // Returns the chosen file name, empty when the operator cancelled.
    virtual QString askSaveFileName(const QString& filter, const QString& defaultSuffix) = 0;
};

// The text of an error box for an escaped error: a full stop is appended when
// the last character sorts after ".".
QString WithFullStop(const QString& text);

}  // namespace kestrix
