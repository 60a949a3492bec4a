#include <QApplication>

#include "app/DrawnTextLog.h"
#include "app/Lifecycle.h"
#include "app/QtOperatorUi.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kestrix::kApplicationTitle);
    kestrix::InstallQtTranslations(application);
    kestrix::DrawnTextLog::InstallFromEnvironment(application);

    kestrix::QtOperatorDialogs dialogs;
    kestrix::QtEventPump pump;
    std::unique_ptr<kestrix::TForm1> form = kestrix::StartUp({dialogs, pump});
    if (!form) return 1;
    dialogs.setParentWindow(form.get());
    kestrix::ShowCentred(*form);
    return QApplication::exec();
}
