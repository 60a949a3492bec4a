#pragma once
// A date-only field: typed in the system's short date format or picked from a
// drop-down calendar with Russian day and month names. Empty at start.

#include <QDate>
#include <QLocale>
#include <QFrame>
#include <QWidget>

#include "events/DateTime.h"

class QLineEdit;
class QToolButton;
class QLabel;
class QGridLayout;

namespace kestrix {

// The system's short date format with a two-digit year widened to four digits,
// so that every date of the event years reads back in its own century.
QString ShortDateFormat(const QLocale& locale = QLocale::system());

// The date the text reads as in the format, day and month written with one
// digit or two; an invalid date when it reads as none.
QDate ReadTypedDate(const QString& text, const QString& format);

// The reading rule of the date fields: the shown date at 00:00:00, or the zero
// date-time for an empty text or one that does not read as a date in the
// format, with day and month written with one digit or two.
DateTimeValue ReadPickerDate(const QString& text, const QString& format);

class CalendarPopup : public QFrame {
    Q_OBJECT
public:
    explicit CalendarPopup(QWidget* parent = nullptr);
    void showMonth(const QDate& month, const QDate& selected);
    QString monthCaption() const;

signals:
    void datePicked(const QDate& date);

private:
    void fill();

    QDate m_month;
    QDate m_selected;
    QLabel* m_caption = nullptr;
    QGridLayout* m_days = nullptr;
};

class DateField : public QWidget {
    Q_OBJECT
public:
    explicit DateField(QWidget* parent = nullptr);

    // Stores the date of the value only.
    void setDateTimeValue(DateTimeValue value);
    DateTimeValue dateTimeValue() const;
    QString text() const;
    void setText(const QString& text);
    QLineEdit* lineEdit() const { return m_edit; }
    CalendarPopup* calendar() const { return m_popup; }
    void showCalendar();

private:
    QLineEdit* m_edit;
    QToolButton* m_button;
    CalendarPopup* m_popup;
};

}  // namespace kestrix
