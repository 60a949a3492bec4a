#include <QClipboard>
#include <QContextMenuEvent>
#include <QLibraryInfo>
#include <QMenu>
#include <QTranslator>
#include <QGroupBox>
#include <QUdpSocket>

#include "app/Lifecycle.h"
#include "tests/support/FormFixture.h"

using namespace kestrix;
using namespace kestrix::test;

class WindowTest : public FormFixture {};

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem) {
    const struct {
        const char* name;
        const char* container;
        QRect geometry;  // width < 0: a label, sized by its caption
        QString text;
        bool visible;
        bool enabled;
    } cases[] = {
        {"Panel1", "Form1", {0, 0, 411, 89}, {}, true, true},
        {"Image3", "Panel1", {0, 0, 411, 89}, {}, true, true},
        {"Panel2", "Form1", {0, 89, 411, 554}, {}, true, true},
        {"Panel5", "Panel2", {0, 0, 411, 217}, {}, true, true},
        {"GroupBox3", "Panel5", {10, 10, 391, 197}, " Настройки  ", true, true},
        {"toppanel", "GroupBox3", {2, 15, 387, 34}, {}, true, true},
        {"byMACpanel", "GroupBox3", {2, 49, 387, 146}, {}, true, true},
        {"RadioButton1", "toppanel", {8, 8, 113, 17}, "по MAC-адресу", true, true},
        {"RadioButton2", "toppanel", {136, 9, 113, 17}, "по IP-адресу", true, true},
        {"Label9", "byMACpanel", {11, 7, -1, -1}, "Сетевой интерфейс:", true, true},
        {"ComboBox1", "byMACpanel", {11, 23, 366, 21}, {}, true, true},
        {"Label1", "byMACpanel", {11, 55, -1, -1}, "MAC:", true, true},
        {"edit1", "byMACpanel", {11, 72, 158, 21}, "", true, true},
        {"Label5", "byMACpanel", {219, 56, -1, -1}, "IP:", false, true},
        {"Edit4", "byMACpanel", {219, 72, 158, 21}, "", false, true},
        {"Button4", "byMACpanel", {11, 104, 158, 25}, "Тестовый сигнал", true, true},
        {"Button2", "Panel2", {10, 238, 263, 25}, "Начать загрузку событий из контроллера", true, true},
        {"ProgressBar1", "Panel2", {10, 274, 375, 17}, {}, true, true},
        {"ProgressBar2", "Panel2", {10, 296, 391, 17}, {}, true, true},
        {"Label2", "Panel2", {10, 328, -1, -1}, "Всего событий:", true, true},
        {"Label7", "Panel2", {104, 328, -1, -1}, "0", true, true},
        {"Label4", "Panel2", {10, 360, -1, -1}, "Начальная дата:", true, true},
        {"PlannerDatePicker2", "Panel2", {104, 356, 81, 21}, "", true, true},
        {"Label6", "Panel2", {10, 392, -1, -1}, "Конечная дата:", true, true},
        {"PlannerDatePicker3", "Panel2", {104, 388, 81, 21}, "", true, true},
        {"Button5", "Panel2", {10, 422, 263, 25}, "Загрузить события за указанный интервал в БД", true, false},
        {"Button6", "Panel2", {280, 422, 89, 25}, "Экспорт в TXT", true, false},
        {"ProgressBar3", "Panel2", {10, 456, 391, 17}, {}, true, true},
        {"Label8", "Panel2", {10, 488, -1, -1}, "Дубликаты:", true, true},
        {"Label12", "Panel2", {78, 488, -1, -1}, "0", true, true},
        {"Label10", "Panel2", {10, 520, -1, -1}, "Всего загружено в БД:", true, true},
        {"Label11", "Panel2", {136, 520, -1, -1}, "0", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* widget = control(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(c.container));
        if (c.geometry.width() < 0) {
            EXPECT_EQ(widget->pos(), c.geometry.topLeft());
        } else {
            EXPECT_EQ(widget->geometry(), c.geometry);
        }
        EXPECT_EQ(widget->isVisibleTo(form.get()), c.visible);
        EXPECT_EQ(widget->isEnabled(), c.enabled);
        if (c.text.isNull()) continue;
        QString shown;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) shown = button->text();
        else if (auto* label = qobject_cast<QLabel*>(widget)) shown = label->text();
        else if (auto* box = qobject_cast<QGroupBox*>(widget)) shown = box->title();
        else if (auto* combo = qobject_cast<QComboBox*>(widget)) shown = combo->currentText();
        else if (auto* edit = qobject_cast<QLineEdit*>(widget)) shown = edit->text();
        else if (auto* date = qobject_cast<DateField*>(widget)) shown = date->text();
        else ADD_FAILURE() << "no text to compare";
        EXPECT_EQ(shown, c.text);
    }
}

TEST_F(WindowTest, WindowIsFixedSizeWithItsCaptionsAndColours) {
    EXPECT_EQ(form->windowTitle(), "Kestrix v2.5");
    EXPECT_EQ(form->minimumSize(), QSize(411, 643));
    EXPECT_EQ(form->maximumSize(), QSize(411, 643));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    for (const char* panel : {"Panel2", "Panel5", "toppanel", "byMACpanel"})
        EXPECT_EQ(control(panel)->palette().color(QPalette::Window), QColor(0xE2, 0xEB, 0xFA)) << panel;
    EXPECT_EQ(control<QLabel>("Image3")->pixmap().size(), QSize(411, 89));
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->maximum(), 12286);
    EXPECT_EQ(control<QProgressBar>("ProgressBar2")->maximum(), 100);
    for (const char* counter : {"Label7", "Label12", "Label11"}) EXPECT_TRUE(control(counter)->font().bold()) << counter;
    EXPECT_FALSE(control("Label2")->font().bold());
    EXPECT_EQ(control("ComboBox1")->focusPolicy() & Qt::TabFocus, 0);
}

TEST_F(WindowTest, ModeSwitchShowsTheInputsOfTheMode) {
    const auto visible = [&](const char* name) { return control(name)->isVisibleTo(form.get()); };
    const auto expectMacMode = [&] {
        EXPECT_TRUE(form->isMacMode());
        EXPECT_TRUE(visible("Label9"));
        EXPECT_TRUE(visible("ComboBox1"));
        EXPECT_FALSE(visible("Label5"));
        EXPECT_FALSE(visible("Edit4"));
    };
    expectMacMode();
    QTest::mouseClick(control("RadioButton1"), Qt::LeftButton);  // already checked: nothing changes
    expectMacMode();

    control<QLineEdit>("Edit4")->setText("127.0.0.1");
    QTest::mouseClick(control("RadioButton2"), Qt::LeftButton);
    EXPECT_FALSE(form->isMacMode());
    EXPECT_FALSE(visible("Label9"));
    EXPECT_FALSE(visible("ComboBox1"));
    EXPECT_TRUE(visible("Label5"));
    EXPECT_TRUE(visible("Edit4"));
    for (const char* always : {"Label1", "edit1", "Button4"}) EXPECT_TRUE(visible(always)) << always;

    QTest::mouseClick(control("RadioButton1"), Qt::LeftButton);
    expectMacMode();
    EXPECT_EQ(control<QLineEdit>("Edit4")->text(), "127.0.0.1");  // nothing cleared
}

TEST(MacKeyFilter, PassesHexRaisesLowerCaseDropsTheRest) {
    const struct {
        char16_t in, out;
    } cases[] = {{u'0', u'0'}, {u'9', u'9'}, {u'A', u'A'}, {u'F', u'F'}, {u'a', u'A'}, {u'f', u'F'},
                 {8, 8},       {u'g', 0},    {u'G', 0},    {u':', 0},    {u'-', 0},    {u' ', 0},
                 {13, 0},      {u'я', 0},    {u'Ф', 0}};
    for (const auto& c : cases) EXPECT_EQ(FilterMacKey(QChar(c.in)).unicode(), c.out) << int(c.in);
}

TEST_F(WindowTest, TypingIntoTheMacField) {
    QLineEdit* edit = control<QComboBox>("edit1")->lineEdit();
    QTest::keyClicks(edit, "a1b2c3");
    QTest::keyClicks(edit, "g:- ");
    QTest::keyClicks(edit, "d4e5f6");
    EXPECT_EQ(edit->text(), "A1B2C3D4E5F6");
    QTest::keyClicks(edit, "7");  // a thirteenth character is refused
    EXPECT_EQ(edit->text(), "A1B2C3D4E5F6");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "A1B2C3D4E5F");
}

TEST_F(WindowTest, PastedTextFollowsTheSameRule) {
    QLineEdit* edit = control<QComboBox>("edit1")->lineEdit();
    QApplication::clipboard()->setText("00:11:22:33:44:aa");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "0011223344AA");
    edit->clear();
    QApplication::clipboard()->setText("0011223344AAB");  // thirteen digits: refused whole
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(edit->text(), "");
    QApplication::clipboard()->setText("a-b");
    QTest::keyClicks(edit, "0123456789");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "0123456789AB");  // fits exactly
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);  // replaces the selection
    EXPECT_EQ(edit->text(), "AB");
}

TEST_F(WindowTest, KeysWithAltOrMetaAndInputMethodsFollowTheSameRule) {
    QLineEdit* edit = control<QComboBox>("edit1")->lineEdit();
    QTest::keyClicks(edit, "a1");
    for (Qt::KeyboardModifier modifier : {Qt::AltModifier, Qt::MetaModifier}) {
        QTest::keyClick(edit, Qt::Key_B, modifier);
        QTest::keyClick(edit, Qt::Key_Colon, modifier);
        QTest::keyClick(edit, Qt::Key_2, modifier);
    }
    EXPECT_EQ(edit->text(), "A1");  // a shortcut of the window is never text
    QInputMethodEvent composed;
    composed.setCommitString("b2:c3-dd");
    QCoreApplication::sendEvent(edit, &composed);
    EXPECT_EQ(edit->text(), "A1B2C3DD");
    QInputMethodEvent tooLong;
    tooLong.setCommitString("eeff00");  // would make fourteen: refused whole
    QCoreApplication::sendEvent(edit, &tooLong);
    EXPECT_EQ(edit->text(), "A1B2C3DD");
}

TEST_F(WindowTest, NoOtherEditCanLeaveAnythingButHexDigitsInTheMacField) {
    QLineEdit* edit = control<QComboBox>("edit1")->lineEdit();
    QTest::keyClicks(edit, "0011223344AA");
    for (const char* text : {"b", "x", ":"}) {
        edit->setCursorPosition(2);
        edit->insert(QString::fromLatin1(text));
        EXPECT_EQ(edit->text(), "0011223344AA") << text;
    }
    edit->setCursorPosition(12);
    edit->backspace();
    edit->insert("ff");
    EXPECT_EQ(edit->text(), "0011223344A");
    edit->insert("F");
    EXPECT_EQ(edit->text(), "0011223344AF");
}

TEST_F(WindowTest, TheContextMenusPasteFollowsTheSameRuleInEveryLanguage) {
    QLineEdit* edit = control<QComboBox>("edit1")->lineEdit();
    for (const char* language : {"en", "ru"}) {
        QTranslator translator;
        if (translator.load(QLocale(QString::fromLatin1(language)), "qtbase", "_",
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&translator);
        edit->clear();
        QApplication::clipboard()->setText("aa:bb:cc:dd:ee:ff");
        QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(edit, &request);
        QMenu* menu = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* shown = qobject_cast<QMenu*>(window); shown && shown->isVisible()) menu = shown;
        ASSERT_NE(menu, nullptr) << language;
        QAction* paste = menu->actions().value(5);  // undo, redo, -, cut, copy, paste
        ASSERT_NE(paste, nullptr) << language;
        paste->trigger();
        menu->close();
        EXPECT_EQ(edit->text(), "AABBCCDDEEFF") << language << ": " << paste->text().toStdString();
        QCoreApplication::removeTranslator(&translator);
    }
}

TEST_F(WindowTest, AListChoiceIsTakenAsItIs) {
    QComboBox* box = control<QComboBox>("edit1");
    box->addItem("0011223344aa");
    box->addItem("00112233445566");
    box->setCurrentIndex(0);
    EXPECT_EQ(box->currentText(), "0011223344aa");
    box->setCurrentIndex(1);
    EXPECT_EQ(box->currentText(), "00112233445566");
}

TEST_F(WindowTest, AnEscapedErrorIsShownAndSkipsTheRestOfTheHandler) {
    const struct {
        const char* thrown;
        QString shown;
    } cases[] = {
        {"Unable to write to /x/settings.ini", "Unable to write to /x/settings.ini."},
        {"Ошибка", "Ошибка."},  // Cyrillic letters sort after "."
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(1)", "(1)"},
        {"", ""},
    };
    for (const auto& c : cases) {
        dialogs.boxes.clear();
        bool restRan = false;
        form->runGuarded([&] {
            throw std::runtime_error(c.thrown);
            restRan = true;
        });
        EXPECT_FALSE(restRan);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0], (ShownBox{ShownBox::Unexpected, c.shown})) << c.thrown;
    }
}

TEST(StartUp, AHeldReplyPortEndsTheProgramWithTheSocketText) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    QUdpSocket probe;
    ASSERT_FALSE(probe.bind(QHostAddress::AnyIPv4, holder.localPort(), QUdpSocket::DontShareAddress));

    RecordingDialogs dialogs;
    ScaledEventPump pump;
    EXPECT_EQ(StartUp({dialogs, pump, holder.localPort()}), nullptr);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected);
    EXPECT_EQ(dialogs.boxes[0].text, WithFullStop(probe.errorString()));
}
