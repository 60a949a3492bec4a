// kestrix-screenshot FILE.png: renders the main window as it opens and saves it.
// It starts like the program (settings.ini and database beside it); where that
// start cannot complete, the window is shown as built. Boxes go to stderr.

#include <QApplication>
#include <iostream>

#include "app/Lifecycle.h"
#include "app/QtOperatorUi.h"

namespace {
class PrintedDialogs : public kestrix::OperatorDialogs {
public:
    void showErrorBox(const QString& text) override { print("error", text); }
    void showNoticeBox(const QString& text) override { print("notice", text); }
    void showUnexpectedErrorBox(const QString& text) override { print("unexpected error", text); }
    QString askSaveFileName(const QString&, const QString&) override { return {}; }

private:
    static void print(const char* kind, const QString& text) { std::cerr << kind << " box: " << text.toStdString() << "\n"; }
};
}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: kestrix-screenshot FILE.png\n";
        return 2;
    }
    PrintedDialogs dialogs;
    kestrix::QtEventPump pump;
    // A free reply port, so that a running program does not stop the picture.
    const kestrix::FormServices services{dialogs, pump, 0};
    std::unique_ptr<kestrix::TForm1> form = kestrix::StartUp(services);
    if (!form) form = std::make_unique<kestrix::TForm1>(services);
    form->show();
    QApplication::processEvents();
    if (!form->grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
