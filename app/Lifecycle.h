#pragma once

#include <QCoreApplication>
#include <memory>

#include "app/TForm1.h"

namespace kestrix {

// Start-up up to the event loop: builds the window (with its sockets) and runs
// FormCreate. Returns the window ready to be shown, or null when a step asked
// the program to end; the step has shown its box by then.
std::unique_ptr<TForm1> StartUp(const FormServices& services);

// Qt's own texts (dialogs, standard buttons) in the language of the system's
// locale, where Qt's translations for it are installed.
void InstallQtTranslations(QCoreApplication& application);

// Shows the window centred on its screen.
void ShowCentred(QWidget& window);

}  // namespace kestrix
