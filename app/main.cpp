#include <QApplication>
#include <QIcon>

#include "app/Lifecycle.h"
#include "app/QtOperatorUi.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kestrix::kApplicationTitle);
    QIcon icon;
    for (const char* size : {"32", "64", "256"}) icon.addFile(QStringLiteral(":/icons/kestrix-%1.png").arg(QLatin1String(size)));
    QApplication::setWindowIcon(icon);
    kestrix::InstallQtTranslations(application);

    kestrix::QtOperatorDialogs dialogs;
    kestrix::QtEventPump pump;
    std::unique_ptr<kestrix::TForm1> form = kestrix::StartUp({dialogs, pump});
    if (!form) return 1;
    dialogs.setParentWindow(form.get());
    kestrix::ShowCentred(*form);
    return QApplication::exec();
}
