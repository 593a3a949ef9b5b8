#include "front.h"

#include "gui/application.h"
#include "gui/cupsprintercatalog.h"
#include "gui/qtprompter.h"
#include "platform/prompters.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

using namespace Qt::StringLiterals;

namespace tavo::app {

bool showsWindow()
{
    return platform::hasDisplay();
}

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool window)
{
    if (!window)
        return std::make_unique<QCoreApplication>(argc, argv);
    auto app = std::make_unique<QApplication>(argc, argv);
    // Traditional Chinese forms need a Traditional Chinese face; the fallback draws Japanese ones.
    if (QFontDatabase::families().contains(u"Noto Sans CJK TC"_s))
        QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
    return app;
}

std::unique_ptr<platform::Prompter> makeWindowPrompter(bool window)
{
    if (!window)
        return nullptr;
    return std::make_unique<gui::QtPrompter>();
}

std::unique_ptr<print::PrinterCatalog> makePrinterCatalog()
{
    return std::make_unique<gui::CupsPrinterCatalog>();
}

void installTranslations()
{
    gui::installQtTranslations();
}

std::function<void(const Site &)> frontOpener(bool window)
{
    return window ? gui::openServiceWindow : core::runHeadless;
}

} // namespace tavo::app
