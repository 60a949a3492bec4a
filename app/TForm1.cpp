#include "app/TForm1.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <stdexcept>

#include "app/MacLineEdit.h"
#include "link/FrameHelper.h"

namespace kestrix {

namespace {

const QColor kWorkAreaColour(0xE2, 0xEB, 0xFA);
constexpr int kMacDigits = 12;

template <class W>
W* Place(W* widget, const char* name, int left, int top, int width = -1, int height = -1) {
    widget->setObjectName(QLatin1String(name));
    if (width < 0) {
        widget->adjustSize();
        widget->move(left, top);
    } else {
        widget->setGeometry(left, top, width, height);
    }
    return widget;
}

QWidget* Panel(QWidget* parent, const char* name, const QRect& geometry, bool coloured) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setGeometry(geometry);
    if (coloured) {
        panel->setAutoFillBackground(true);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, kWorkAreaColour);
        panel->setPalette(palette);
    }
    return panel;
}

FittedLabel* Caption(QWidget* parent, const char* name, const QString& text, int left, int top, bool bold = false) {
    auto* label = new FittedLabel(text, parent);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return Place(label, name, left, top);
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, const QRect& g) {
    return Place(new QPushButton(text, parent), name, g.x(), g.y(), g.width(), g.height());
}

QProgressBar* Progress(QWidget* parent, const char* name, const QRect& g, int maximum) {
    auto* bar = Place(new QProgressBar(parent), name, g.x(), g.y(), g.width(), g.height());
    bar->setRange(0, maximum);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

// "MS Sans Serif", 8 point (11 pixels); where it is missing, a condensed sans
// face keeps the captions inside their places.
QFont WindowFont() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    return font;
}

}  // namespace

QChar FilterMacKey(QChar key) {
    const char16_t c = key.unicode();
    if (c == 8 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) return key;
    if (c >= 'a' && c <= 'f') return QChar(c - 'a' + 'A');
    return QChar();
}

QPixmap DrawBanner() {
    QPixmap picture(411, 89);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 411, 89);
    sky.setColorAt(0, QColor(0x1B, 0x3A, 0x6B));
    sky.setColorAt(1, QColor(0x3F, 0x7C, 0xC8));
    painter.fillRect(picture.rect(), sky);
    // A door with a card reader beside it.
    painter.setPen(QPen(QColor(0xE2, 0xEB, 0xFA), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(24, 14, 38, 62);
    painter.drawEllipse(QPoint(54, 47), 3, 3);
    painter.setBrush(QColor(0xF2, 0xB1, 0x34));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(70, 34, 10, 18, 2, 2);
    painter.setPen(QColor(Qt::white));
    QFont title(QStringLiteral("DejaVu Sans"), 22, QFont::Bold);
    painter.setFont(title);
    painter.drawText(QRect(96, 12, 300, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kestrix"));
    QFont subtitle(QStringLiteral("DejaVu Sans"), 9);
    painter.setFont(subtitle);
    painter.drawText(QRect(98, 50, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Считыватель событий контроллера"));
    return picture;
}

TForm1::TForm1(FormServices services, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_services(services),
      m_installation(services.appDirectory, services.operatorSettingsPath,
                     services.clientLibraryPlaces(services.appDirectory)),
      m_replies(services.listenPort, ReplyRouter::Runs::OneAtATime) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kWindowCaption);
    setFont(WindowFont());
    setFixedSize(411, 643);
    buildControls();

    m_macSender = services.macSender ? services.macSender
                                     : std::shared_ptr<MacFrameSender>(MacSenderFor(
                                           *services.capture, ExecutableDirectory() + kFrameHelperName));
    m_session = std::make_unique<ControllerSession>(
        m_replies, services.controllerPort, services.resolveHost, *m_macSender, services.pump,
        [this] { return currentRoute(); }, [this](MacSendResult result, const std::string&) { showMacSendFailure(result); });
}

TForm1::~TForm1() = default;

void TForm1::buildControls() {
    Panel1 = Panel(this, "Panel1", QRect(0, 0, 411, 89), false);
    Image3 = Place(new QLabel(Panel1), "Image3", 0, 0, 411, 89);
    Image3->setPixmap(DrawBanner());

    Panel2 = Panel(this, "Panel2", QRect(0, 89, 411, 554), true);
    Panel5 = Panel(Panel2, "Panel5", QRect(0, 0, 411, 217), true);
    GroupBox3 = Place(new QGroupBox(QStringLiteral(" Настройки  "), Panel5), "GroupBox3", 10, 10, 391, 197);
    toppanel = Panel(GroupBox3, "toppanel", QRect(2, 15, 387, 34), true);
    byMACpanel = Panel(GroupBox3, "byMACpanel", QRect(2, 49, 387, 146), true);

    RadioButton1 = Place(new QRadioButton(QStringLiteral("по MAC-адресу"), toppanel), "RadioButton1", 8, 8, 113, 17);
    RadioButton2 = Place(new QRadioButton(QStringLiteral("по IP-адресу"), toppanel), "RadioButton2", 136, 9, 113, 17);
    RadioButton1->setChecked(true);

    Label9 = Caption(byMACpanel, "Label9", QStringLiteral("Сетевой интерфейс:"), 11, 7);
    ComboBox1 = Place(new QComboBox(byMACpanel), "ComboBox1", 11, 23, 366, 21);
    ComboBox1->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    Label1 = Caption(byMACpanel, "Label1", QStringLiteral("MAC:"), 11, 55);
    edit1 = Place(new QComboBox(byMACpanel), "edit1", 11, 72, 158, 21);
    edit1->setEditable(true);
    edit1->setLineEdit(new MacLineEdit([this](QChar& key) { Edit1KeyPress(key); }, kMacDigits, edit1));
    edit1->setInsertPolicy(QComboBox::NoInsert);
    edit1->setCompleter(nullptr);  // typed text stays exactly what was typed
    Label5 = Caption(byMACpanel, "Label5", QStringLiteral("IP:"), 219, 56);
    Label5->hide();
    Edit4 = Place(new QLineEdit(byMACpanel), "Edit4", 219, 72, 158, 21);
    Edit4->hide();
    Button4 = Button(byMACpanel, "Button4", QStringLiteral("Тестовый сигнал"), QRect(11, 104, 158, 25));

    Button2 = Button(Panel2, "Button2", QStringLiteral("Начать загрузку событий из контроллера"), QRect(10, 238, 263, 25));
    ProgressBar1 = Progress(Panel2, "ProgressBar1", QRect(10, 274, 375, 17), 12286);
    ProgressBar2 = Progress(Panel2, "ProgressBar2", QRect(10, 296, 391, 17), 100);
    Label2 = Caption(Panel2, "Label2", QStringLiteral("Всего событий:"), 10, 328);
    Label7 = Caption(Panel2, "Label7", QStringLiteral("0"), 104, 328, true);
    Label4 = Caption(Panel2, "Label4", QStringLiteral("Начальная дата:"), 10, 360);
    PlannerDatePicker2 = Place(new DateField(Panel2), "PlannerDatePicker2", 104, 356, 81, 21);
    Label6 = Caption(Panel2, "Label6", QStringLiteral("Конечная дата:"), 10, 392);
    PlannerDatePicker3 = Place(new DateField(Panel2), "PlannerDatePicker3", 104, 388, 81, 21);
    Button5 = Button(Panel2, "Button5", QStringLiteral("Загрузить события за указанный интервал в БД"), QRect(10, 422, 263, 25));
    Button5->setEnabled(false);
    Button6 = Button(Panel2, "Button6", QStringLiteral("Экспорт в TXT"), QRect(280, 422, 89, 25));
    Button6->setEnabled(false);
    ProgressBar3 = Progress(Panel2, "ProgressBar3", QRect(10, 456, 391, 17), 100);
    Label8 = Caption(Panel2, "Label8", QStringLiteral("Дубликаты:"), 10, 488);
    Label12 = Caption(Panel2, "Label12", QStringLiteral("0"), 78, 488, true);
    Label10 = Caption(Panel2, "Label10", QStringLiteral("Всего загружено в БД:"), 10, 520);
    Label11 = Caption(Panel2, "Label11", QStringLiteral("0"), 136, 520, true);

    const auto guarded = [this](void (TForm1::*handler)()) {
        return [this, handler] { runGuarded([this, handler] { (this->*handler)(); }); };
    };
    connect(RadioButton1, &QRadioButton::clicked, this, guarded(&TForm1::RadioButton1Click));
    connect(RadioButton2, &QRadioButton::clicked, this, guarded(&TForm1::RadioButton2Click));
    connect(Button4, &QPushButton::clicked, this, guarded(&TForm1::Button4Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TForm1::Button2Click));
    // The operator picks a controller from the list, or types one.
    connect(edit1, &QComboBox::activated, this, [this](int index) { runGuarded([=, this] { edit1Change(index); }); });
    connect(edit1->lineEdit(), &QLineEdit::textEdited, this, [this] { runGuarded([this] { edit1Change(-1); }); });
    connect(Button6, &QPushButton::clicked, this, guarded(&TForm1::Button6Click));
    connect(Button5, &QPushButton::clicked, this, guarded(&TForm1::Button5Click));
    connect(ComboBox1, &QComboBox::currentIndexChanged, this,
            [this](int index) { runGuarded([=, this] { ComboBox1Change(index); }); });
}

void TForm1::runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        m_services.dialogs.showUnexpectedErrorBox(WithFullStop(QString::fromUtf8(error.what())));
    }
}

bool TForm1::FormCreate() {
    if (!FillInterfaceTable()) return false;
    ChooseInterface();
    return ConnectDatabase();
}

bool TForm1::FillInterfaceTable() {
    const auto devices = m_services.capture->findAllDevices();
    if (!devices) {
        qWarning("the network interfaces cannot be listed: %s", devices.failure().reason.c_str());
        m_services.dialogs.showErrorBox(QStringLiteral("Сетевые интерфейсы не найдены. Приложение будет закрыто."));
        return false;
    }
    m_interfaces = BuildInterfaceTable(*devices, m_services.adapterDescription);
    ComboBox1->clear();
    for (const std::string& text : m_interfaces.displayTexts) ComboBox1->addItem(QString::fromStdString(text));
    return true;
}

void TForm1::ChooseInterface() {
    ComboBox1->setCurrentIndex(m_installation.savedInterfaceIndex(m_interfaces));
    if (!m_installation.hasSavedInterface()) m_installation.rememberInterface(m_interfaces.deviceName(ComboBox1->currentIndex()));
    SelectedInterfaceIndex = ComboBox1->currentIndex();
}

void TForm1::ComboBox1Change(int index) {
    SelectedInterfaceIndex = index;
}

bool TForm1::ConnectDatabase() {
    const auto fatal = [this](const QString& text) {
        m_services.dialogs.showErrorBox(text);
        return false;
    };
    if (const auto missing = m_installation.locateDatabase()) {
        return fatal(*missing == DatabaseSetupError::SettingsMissing
                         ? QStringLiteral("Файл настроек не найден. Приложение будет закрыто.")
                         : QStringLiteral("Библиотека fbclient.dll не найдена. Приложение будет закрыто."));
    }
    try {
        m_installation.connect();
    } catch (const DatabaseError&) {
        // DB_path stays as it is: one refused login or a server that is down
        // must not cost the operator the configured database location.
        return fatal(QStringLiteral("Невозможно соединиться с базой данных. Приложение будет закрыто."));
    }

    try {
        m_installation.readControllers(
            [this](const Controller& controller) { edit1->addItem(QString::fromStdString(controller.id)); });
    } catch (...) {
        // The list keeps the rows read before the error, but none is chosen:
        // the box selects the first item it is given on its own.
        edit1->setCurrentIndex(-1);
        edit1->clearEditText();
        throw;
    }
    if (edit1->count() > 0) {
        edit1->setCurrentIndex(0);
        edit1Change(0);
    }
    return true;
}

void TForm1::edit1Change(int selectedIndex) {
    const std::string ip = m_installation.controllerIpText(selectedIndex, edit1->currentText().toStdString());
    if (!ip.empty()) Edit4->setText(QString::fromStdString(ip));
}

void TForm1::FormClose() {
    m_installation.rememberInterface(m_interfaces.deviceName(ComboBox1->currentIndex()));
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!m_formClosed) {
        m_formClosed = true;
        runGuarded([this] { FormClose(); });
    }
    if (m_downloadRunning) {
        // The download goes on to its end in view; the window closes after it.
        // Hiding it now would also keep the program from ending then: only the
        // close of a visible last window ends the event loop.
        m_closeAfterDownload = true;
        event->ignore();
        return;
    }
    event->accept();
}

void TForm1::RadioButton1Click() {
    if (!RadioButton1->isChecked()) return;
    Label9->show();
    ComboBox1->show();
    Label5->hide();
    Edit4->hide();
}

void TForm1::RadioButton2Click() {
    if (!RadioButton2->isChecked()) return;
    Label9->hide();
    ComboBox1->hide();
    Label5->show();
    Edit4->show();
}

void TForm1::Edit1KeyPress(QChar& key) {
    key = FilterMacKey(key);
}

void TForm1::Button4Click() {
    const QString mac = edit1->currentText();
    if (mac.size() != kMacDigits) {
        notice(QStringLiteral("Неверный MAC-адрес"));
        return;
    }
    if (!isMacMode() && Edit4->text().isEmpty()) {
        notice(QStringLiteral("Укажите IP контроллера"));
        return;
    }
    m_session->sendRequest(kTestSignalBody);
}

void TForm1::Button2Click() {
    ProgressBar1->setValue(0);
    ProgressBar2->setValue(0);
    for (FittedLabel* counter : {Label7, Label12, Label11}) counter->setText(QStringLiteral("0"));
    const QDateTime now = QDateTime::currentDateTime();
    const DateTimeValue today = EncodeDateTime({now.date().year(), now.date().month(), now.date().day(), 0, 0, 0});
    PlannerDatePicker2->setDateTimeValue(today);
    PlannerDatePicker3->setDateTimeValue(today);
    Button5->setEnabled(false);
    Button6->setEnabled(false);

    if (edit1->currentText().isEmpty()) {
        notice(QStringLiteral("Укажите MAC контроллера"));
        return;
    }
    if (!isMacMode() && Edit4->text().isEmpty()) {
        notice(QStringLiteral("Укажите IP контроллера"));
        return;
    }

    Button2->setEnabled(false);
    m_downloadRunning = true;
    struct RunEnd {
        TForm1* form;
        ~RunEnd() { form->finishDownload(); }
    } runEnd{this};

    if (m_run.download(*m_session, [this](int pageValue) { ProgressBar1->setValue(pageValue); }) ==
        DownloadOutcome::ControllerSilent)
        notice(QStringLiteral("Контроллер не отвечает"));
    else
        ValidateRawRecords();
    if (!m_run.events().empty()) {
        Button5->setEnabled(true);
        Button6->setEnabled(true);
    }
}

void TForm1::finishDownload() {
    m_downloadRunning = false;
    // Only a load enables the start button again, and a load needs events: with
    // nothing to load the start button must come back here.
    if (!Button5->isEnabled()) Button2->setEnabled(true);
    if (m_closeAfterDownload) {
        m_closeAfterDownload = false;
        close();
    }
}

ControllerRoute TForm1::currentRoute() const {
    return {isMacMode() ? LinkMode::Mac : LinkMode::Ip, edit1->currentText().toStdString(), Edit4->text(),
            m_interfaces.deviceName(SelectedInterfaceIndex), m_interfaces.addressText(SelectedInterfaceIndex)};
}

void TForm1::ValidateRawRecords() {
    ProgressBar2->setRange(0, std::max(static_cast<int>(m_run.rawRecords().size()) - 1, 0));
    m_run.validate([this](std::size_t i) { ProgressBar2->setValue(static_cast<int>(i)); });
    Label7->setText(QString::number(m_run.events().size()));
    PlannerDatePicker2->setDateTimeValue(m_run.earliest());
    PlannerDatePicker3->setDateTimeValue(m_run.latest());
}

void TForm1::Button5Click() {
    Label11->setText(QStringLiteral("0"));
    Label12->setText(QStringLiteral("0"));
    ProgressBar3->setRange(0, static_cast<int>(m_run.events().size()));
    ProgressBar3->setValue(0);
    for (QPushButton* button : {Button5, Button6, Button2}) button->setEnabled(false);
    struct LoadEnd {
        TForm1* form;
        ~LoadEnd() {
            for (QPushButton* button : {form->Button5, form->Button6, form->Button2}) button->setEnabled(true);
        }
    } loadEnd{this};

    m_run.load(m_installation.eventStore(), edit1->currentText().toStdString(), PlannerDatePicker2->dateTimeValue(),
               PlannerDatePicker3->dateTimeValue(),
               {[this](int loaded) { Label11->setText(QString::number(loaded)); },
                [this](int duplicates) { Label12->setText(QString::number(duplicates)); },
                [this](std::size_t done) { ProgressBar3->setValue(static_cast<int>(done)); }});
    notice(QStringLiteral("Выполнено"));
}

void TForm1::Button6Click() {
    if (m_run.events().empty()) return;
    const QString fileName =
        m_services.dialogs.askSaveFileName(QStringLiteral("text file *.txt (*.txt)"), QStringLiteral("txt"));
    if (fileName.isEmpty()) return;
    m_run.exportText(QFile::encodeName(fileName).toStdString());
    notice(QStringLiteral("Выполнено"));
}

void TForm1::showMacSendFailure(MacSendResult result) {
    const QString text = QString::fromStdString(MacSendErrorText(result));
    if (result == MacSendResult::BadControllerMac)
        notice(text);
    else
        m_services.dialogs.showErrorBox(text);
}

}  // namespace kestrix
