#pragma once
// The one window of the program: every control the operator uses, the data
// lists the operations share, and the handlers that orchestrate them.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <memory>

#include "app/DateField.h"
#include "app/FittedLabel.h"
#include "app/OperatorUi.h"
#include "shell/ControllerRun.h"
#include "shell/ControllerSession.h"
#include "shell/ExecutableDirectory.h"
#include "shell/Installation.h"

namespace kestrix {

struct FormServices {
    OperatorDialogs& dialogs;
    EventPump& pump;
    quint16 listenPort = kReplyListenPort;
    quint16 controllerPort = kControllerPort;
    HostResolver resolveHost = ResolveHostName;
    // The program's directory: settings.ini, the client library and the
    // default database directory are looked for here. Ends with a separator.
    std::string appDirectory = ExecutableDirectory();
    // The operator's own settings file, for an installation whose settings.ini
    // the operator may not change.
    std::string operatorSettingsPath = OperatorSettingsPath();
    std::function<ClientLibraryPlaces(const std::string&)> clientLibraryPlaces = DefaultClientLibraryPlaces;
    std::shared_ptr<PacketCapture> capture = std::make_shared<LibpcapCapture>();
    // Where MAC-mode frames go out: empty for the capture above where this
    // process may send raw frames, else the frame-sending helper beside the program.
    std::shared_ptr<MacFrameSender> macSender{};
    std::function<std::string(const std::string&)> adapterDescription = FriendlyAdapterDescription;
};

// Filters one typed character of the controller MAC field: backspace and hex
// digits pass, a-f are raised to A-F, anything else becomes 0 (discarded).
QChar FilterMacKey(QChar key);

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Builds the window and opens both UDP sockets; throws std::runtime_error
    // with the socket layer's text when the reply port cannot be bound.
    explicit TForm1(FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up steps of the window after it has been built. Returns false when
    // a step has asked the program to end.
    bool FormCreate();
    void FormClose();
    // Start-up steps: the capture devices become the interface table (false
    // when they cannot be listed), then the saved or default interface is chosen.
    bool FillInterfaceTable();
    void ChooseInterface();
    void ComboBox1Change(int index);
    // The database step: settings file, client library, connection (false when
    // the program must end), then the controller list.
    bool ConnectDatabase();

    void RadioButton1Click();
    void RadioButton2Click();
    void Edit1KeyPress(QChar& key);
    void Button4Click();
    void edit1Change(int selectedIndex);
    void Button2Click();
    void ValidateRawRecords();
    void Button6Click();
    void Button5Click();

    bool isMacMode() const { return RadioButton1->isChecked(); }
    // What the window holds, under the names it has always given it: the
    // reply slot, the two record lists, the interface table.
    HexText LastReplyData() const { return m_session->replySlot().data; }
    bool ReplyReceived() const { return m_session->replySlot().received; }
    const std::vector<HexText>& RawRecordList() const { return m_run.rawRecords(); }
    const std::vector<HexText>& EventList() const { return m_run.events(); }
    const InterfaceTable& interfaces() const { return m_interfaces; }
    int selectedInterfaceIndex() const { return SelectedInterfaceIndex; }
    bool downloadRunning() const { return m_downloadRunning; }
    Installation& installation() { return m_installation; }
    ReplyRouter& replies() { return m_replies; }

    // Runs a handler; an error escaping it is shown in the unexpected-error box
    // and the rest of the handler is skipped.
    void runGuarded(const std::function<void()>& handler);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // The controller as the operator has set it up at this moment.
    ControllerRoute currentRoute() const;
    void showMacSendFailure(MacSendResult result);
    void finishDownload();
    void notice(const QString& text) { m_services.dialogs.showNoticeBox(text); }

    FormServices m_services;
    Installation m_installation;
    std::shared_ptr<MacFrameSender> m_macSender;
    ReplyRouter m_replies;                         // the listener (IdUDPServer1)
    std::unique_ptr<ControllerSession> m_session;  // the sender (mainUDP), MAC mode
    ControllerRun m_run;
    InterfaceTable m_interfaces;
    int SelectedInterfaceIndex = -1;
    bool m_downloadRunning = false;
    bool m_closeAfterDownload = false;
    bool m_formClosed = false;

    QWidget* Panel1 = nullptr;
    QLabel* Image3 = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* Panel5 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QWidget* toppanel = nullptr;
    QWidget* byMACpanel = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    FittedLabel* Label9 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    FittedLabel* Label1 = nullptr;
    QComboBox* edit1 = nullptr;
    FittedLabel* Label5 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QProgressBar* ProgressBar2 = nullptr;
    FittedLabel* Label2 = nullptr;
    FittedLabel* Label7 = nullptr;
    FittedLabel* Label4 = nullptr;
    DateField* PlannerDatePicker2 = nullptr;
    FittedLabel* Label6 = nullptr;
    DateField* PlannerDatePicker3 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QProgressBar* ProgressBar3 = nullptr;
    FittedLabel* Label8 = nullptr;
    FittedLabel* Label12 = nullptr;
    FittedLabel* Label10 = nullptr;
    FittedLabel* Label11 = nullptr;
};

// Builds the 411 x 89 banner picture.
QPixmap DrawBanner();

}  // namespace kestrix
