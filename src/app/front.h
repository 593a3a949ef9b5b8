#pragma once
// What the program shows of itself: the service window with its boxes and the printers drawn
// through Qt's print support, or, in the program built without Qt Widgets (TAVO_GUI=OFF), the
// headless run only. main() is the same for both.
#include "core/startup.h"
#include "platform/services.h"
#include "print/printercatalog.h"

#include <QCoreApplication>

#include <functional>
#include <memory>

namespace tavo::app {

// True when this run shows the service window: a screen is there and the window is built in.
bool showsWindow();
// The application object: a widget application for the window, a core one otherwise.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool window);
// The operator's boxes of the window; null without it (boxes are then answered on stderr).
std::unique_ptr<platform::Prompter> makeWindowPrompter(bool window);
// The machine's printers.
std::unique_ptr<print::PrinterCatalog> makePrinterCatalog();
// Qt's own texts (the standard buttons) in the forms' language.
void installTranslations();
// What start-up opens once the service is loaded.
std::function<void(const Site &)> frontOpener(bool window);

} // namespace tavo::app
