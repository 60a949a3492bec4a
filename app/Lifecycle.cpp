#include "app/Lifecycle.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

namespace kestrix {

std::unique_ptr<TForm1> StartUp(const FormServices& services) {
    std::unique_ptr<TForm1> form;
    try {
        form = std::make_unique<TForm1>(services);
    } catch (const std::exception& error) {
        services.dialogs.showUnexpectedErrorBox(WithFullStop(QString::fromUtf8(error.what())));
        return nullptr;
    }
    bool keepRunning = true;
    form->runGuarded([&] { keepRunning = form->FormCreate(); });
    if (!keepRunning) return nullptr;
    return form;
}

void InstallQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

void ShowCentred(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
    }
    window.show();
}

}  // namespace kestrix
