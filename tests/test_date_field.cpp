#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/DateField.h"

using namespace kestrix;

TEST(ShortDateFormat, AlwaysHasAFourDigitYear) {
    EXPECT_TRUE(ShortDateFormat().contains("yyyy"));
    const QDate date(2024, 5, 30);
    EXPECT_EQ(QDate::fromString(date.toString(ShortDateFormat()), ShortDateFormat()), date);
}

TEST(ReadPickerDate, ShownDateAtMidnightOrZero) {
    const QString format = "dd.MM.yyyy";
    const struct {
        QString text;
        DateTimeValue value;
    } cases[] = {
        {"30.05.2024", 45442.0},
        {" 30.05.2024 ", 45442.0},
        {"", kZeroDateTime},
        {"31.02.2024", kZeroDateTime},
        {"tomorrow", kZeroDateTime},
        {"30.05", kZeroDateTime},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadPickerDate(c.text, format), c.value) << c.text.toStdString();
}

TEST(DateField, StartsEmptyAndKeepsTheDateOnly) {
    DateField field;
    EXPECT_EQ(field.text(), "");
    EXPECT_EQ(field.dateTimeValue(), kZeroDateTime);
    field.setDateTimeValue(EncodeDateTime({2024, 5, 30, 15, 45, 30}));
    EXPECT_EQ(field.text(), QDate(2024, 5, 30).toString(ShortDateFormat()));
    EXPECT_EQ(field.dateTimeValue(), 45442.0);
}

TEST(DateField, TypedDatesAreRead) {
    DateField field;
    QTest::keyClicks(field.lineEdit(), QDate(2025, 1, 7).toString(ShortDateFormat()));
    EXPECT_EQ(field.dateTimeValue(), EncodeDateTime({2025, 1, 7, 0, 0, 0}));
    field.lineEdit()->clear();
    QTest::keyClicks(field.lineEdit(), "7th of January");
    EXPECT_EQ(field.dateTimeValue(), kZeroDateTime);
}

TEST(DateField, TheCalendarSpeaksRussianAndClosesOnAPick) {
    DateField field;
    field.setDateTimeValue(EncodeDateTime({2024, 5, 30, 0, 0, 0}));
    field.show();
    field.showCalendar();
    CalendarPopup* calendar = field.calendar();
    ASSERT_TRUE(calendar->isVisible());
    EXPECT_EQ(calendar->monthCaption(), "май 2024");
    QStringList headers;
    for (QLabel* label : calendar->findChildren<QLabel*>())
        if (label->text().size() == 2) headers << label->text();
    EXPECT_EQ(headers, (QStringList{"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"}));

    calendar->findChild<QToolButton*>("previousMonth")->click();
    EXPECT_EQ(calendar->monthCaption(), "апр 2024");
    for (int i = 0; i < 9; ++i) calendar->findChild<QToolButton*>("nextMonth")->click();
    EXPECT_EQ(calendar->monthCaption(), "янв 2025");
    calendar->findChild<QToolButton*>("day7")->click();
    EXPECT_FALSE(calendar->isVisible());
    EXPECT_EQ(field.dateTimeValue(), EncodeDateTime({2025, 1, 7, 0, 0, 0}));
}

TEST(DateField, EveryMonthHasItsShortRussianName) {
    CalendarPopup calendar;
    const QStringList names{"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"};
    for (int m = 1; m <= 12; ++m) {
        calendar.showMonth(QDate(2026, m, 1), QDate());
        EXPECT_EQ(calendar.monthCaption(), names[m - 1] + " 2026");
    }
}
