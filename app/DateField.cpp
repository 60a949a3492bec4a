#include "app/DateField.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrix {

namespace {
const QStringList kDayNames = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};
const QStringList kMonthNames = {"янв", "фев", "мар", "апр", "май", "июн",
                                 "июл", "авг", "сен", "окт", "ноя", "дек"};

// The format with its two-digit day and month ("dd", "MM") read as one or two
// digits ("d", "M"), as people type dates; the year keeps its four digits.
QString WithOneOrTwoDigitDayAndMonth(const QString& format) {
    static const QRegularExpression twoDigitDayOrMonth(QStringLiteral("(?<![dM])(d|M)\\1(?![dM])"));
    QString relaxed = format;
    relaxed.replace(twoDigitDayOrMonth, QStringLiteral("\\1"));
    return relaxed;
}
}  // namespace

QString ShortDateFormat(const QLocale& locale) {
    // The C locale of the C library writes short dates as %m/%d/%y; Qt's own C
    // locale spells the month out, which does not fit the field.
    QString format = locale.language() == QLocale::C ? QStringLiteral("MM/dd/yy")
                                                     : locale.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QDate ReadTypedDate(const QString& text, const QString& format) {
    const QString typed = text.trimmed();
    const QDate date = QDate::fromString(typed, format);
    return date.isValid() ? date : QDate::fromString(typed, WithOneOrTwoDigitDayAndMonth(format));
}

DateTimeValue ReadPickerDate(const QString& text, const QString& format) {
    const QDate date = ReadTypedDate(text, format);
    if (!date.isValid()) return kZeroDateTime;
    return static_cast<DateTimeValue>(DaysSinceEpoch(date.year(), date.month(), date.day()));
}

CalendarPopup::CalendarPopup(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* navigation = new QHBoxLayout;
    auto* previous = new QToolButton(this);
    previous->setText(QStringLiteral("<"));
    previous->setObjectName(QStringLiteral("previousMonth"));
    auto* next = new QToolButton(this);
    next->setText(QStringLiteral(">"));
    next->setObjectName(QStringLiteral("nextMonth"));
    m_caption = new QLabel(this);
    m_caption->setAlignment(Qt::AlignCenter);
    navigation->addWidget(previous);
    navigation->addWidget(m_caption, 1);
    navigation->addWidget(next);
    layout->addLayout(navigation);
    m_days = new QGridLayout;
    m_days->setSpacing(1);
    layout->addLayout(m_days);
    connect(previous, &QToolButton::clicked, this, [this] { showMonth(m_month.addMonths(-1), m_selected); });
    connect(next, &QToolButton::clicked, this, [this] { showMonth(m_month.addMonths(1), m_selected); });
    showMonth(QDate::currentDate(), QDate());
}

QString CalendarPopup::monthCaption() const {
    return m_caption->text();
}

void CalendarPopup::showMonth(const QDate& month, const QDate& selected) {
    m_month = QDate(month.year(), month.month(), 1);
    m_selected = selected;
    fill();
}

void CalendarPopup::fill() {
    while (QLayoutItem* item = m_days->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_caption->setText(kMonthNames[m_month.month() - 1] + QLatin1Char(' ') + QString::number(m_month.year()));
    for (int column = 0; column < 7; ++column) {
        auto* header = new QLabel(kDayNames[column], this);
        header->setAlignment(Qt::AlignCenter);
        m_days->addWidget(header, 0, column);
    }
    const int leading = m_month.dayOfWeek() - 1;  // Monday first
    for (int day = 1; day <= m_month.daysInMonth(); ++day) {
        const QDate date(m_month.year(), m_month.month(), day);
        auto* button = new QToolButton(this);
        button->setText(QString::number(day));
        button->setObjectName(QStringLiteral("day%1").arg(day));
        button->setAutoRaise(true);
        button->setCheckable(true);
        button->setChecked(date == m_selected);
        const int cell = leading + day - 1;
        m_days->addWidget(button, 1 + cell / 7, cell % 7);
        connect(button, &QToolButton::clicked, this, [this, date] {
            hide();
            emit datePicked(date);
        });
    }
}

DateField::DateField(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_edit = new QLineEdit(this);
    m_button = new QToolButton(this);
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFixedWidth(14);  // leaves the text the room of a numeric date
    m_button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_edit);
    layout->addWidget(m_button);
    m_popup = new CalendarPopup(this);
    connect(m_button, &QToolButton::clicked, this, &DateField::showCalendar);
    connect(m_popup, &CalendarPopup::datePicked, this,
            [this](const QDate& date) { m_edit->setText(date.toString(ShortDateFormat())); });
}

void DateField::showCalendar() {
    const QDate shown = ReadTypedDate(m_edit->text(), ShortDateFormat());
    m_popup->showMonth(shown.isValid() ? shown : QDate::currentDate(), shown);
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(0, height())));
    m_popup->show();
}

void DateField::setDateTimeValue(DateTimeValue value) {
    const CivilDateTime t = DecodeDateTime(value);
    m_edit->setText(QDate(t.year, t.month, t.day).toString(ShortDateFormat()));
}

DateTimeValue DateField::dateTimeValue() const {
    return ReadPickerDate(m_edit->text(), ShortDateFormat());
}

QString DateField::text() const {
    return m_edit->text();
}

void DateField::setText(const QString& text) {
    m_edit->setText(text);
}

}  // namespace kestrix
