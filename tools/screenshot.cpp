// kestrix-screenshot FILE.png: renders the main window as it opens and saves it.

#include <QApplication>
#include <iostream>

#include "app/Lifecycle.h"
#include "app/QtOperatorUi.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: kestrix-screenshot FILE.png\n";
        return 2;
    }
    kestrix::QtOperatorDialogs dialogs;
    kestrix::QtEventPump pump;
    // A free reply port, so that a running program does not stop the picture.
    std::unique_ptr<kestrix::TForm1> form = kestrix::StartUp({dialogs, pump, 0});
    if (!form) return 1;
    form->show();
    QApplication::processEvents();
    if (!form->grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
