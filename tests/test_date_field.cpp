#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/DateField.h"
#include "tests/support/DrawnTextLog.h"

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

// Dates as people type them: day and month with one digit or two, in the
// system's short format; the year with its four digits only.
TEST(ReadPickerDate, DayAndMonthTypedWithOneOrTwoDigits) {
    const DateTimeValue may28 = EncodeDateTime({2024, 5, 28, 0, 0, 0});
    const DateTimeValue june1 = EncodeDateTime({2024, 6, 1, 0, 0, 0});
    const struct {
        const char* locale;
        QString text;
        DateTimeValue value;
    } cases[] = {
        {"ru_RU", "28.05.2024", may28},  {"ru_RU", "28.5.2024", may28},     {"ru_RU", "1.06.2024", june1},
        {"ru_RU", "01.6.2024", june1},   {"ru_RU", "1.6.2024", june1},      {"ru_RU", "28.5.24", kZeroDateTime},
        {"ru_RU", "28.5", kZeroDateTime}, {"ru_RU", "32.5.2024", kZeroDateTime}, {"ru_RU", "28/5/2024", kZeroDateTime},
        {"ru_RU", "028.5.2024", kZeroDateTime},
        {"en_US", "5/28/2024", may28},   {"en_US", "05/28/2024", may28},    {"en_US", "6/01/2024", june1},
        {"en_US", "28/5/2024", kZeroDateTime}, {"en_US", "5/28/24", kZeroDateTime},
        {"de_DE", "28.05.2024", may28},  {"de_DE", "28.5.2024", may28},     {"de_DE", "1.6.2024", june1},
        {"de_DE", "1.6.24", kZeroDateTime},
    };
    for (const auto& c : cases) {
        const QString format = ShortDateFormat(QLocale(QString::fromLatin1(c.locale)));
        EXPECT_EQ(ReadPickerDate(c.text, format), c.value) << c.locale << " " << format.toStdString() << ": "
                                                            << c.text.toStdString();
    }
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

// The field is 81 pixels wide: the date of the widest digits must be drawn
// whole in the short format of the locales the program is used under.
TEST(DateField, TheLongestDateOfTheLocaleFitsTheField) {
    DateField field;
    QFont font(QStringLiteral("MS Sans Serif"));
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(11);
    field.setFont(font);
    field.setGeometry(104, 356, 81, 21);
    field.show();
    field.layout()->activate();
    for (const char* name : {"C", "ru_RU", "uk_UA", "en_US", "en_GB", "de_DE", "fr_FR"}) {
        const QLocale locale(QString::fromLatin1(name));
        for (const QDate& date : {QDate(2028, 12, 28), QDate(2024, 5, 30), QDate(2029, 9, 9)}) {
            field.setText(date.toString(ShortDateFormat(locale)));
            const auto drawn = DrawnTextOf(*field.lineEdit());
            ASSERT_TRUE(drawn);
            EXPECT_TRUE(drawn->fits) << name << ": " << drawn->text.toStdString();
        }
    }
}
