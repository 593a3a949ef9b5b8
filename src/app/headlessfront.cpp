#include "front.h"

#include "print/cupsqueue.h"

namespace tavo::app {

bool showsWindow()
{
    return false;
}

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::unique_ptr<platform::Prompter> makeWindowPrompter(bool)
{
    return nullptr;
}

std::unique_ptr<print::PrinterCatalog> makePrinterCatalog()
{
    return std::make_unique<print::cups::RawPrinterCatalog>();
}

void installTranslations() { }

std::function<void(const Site &)> frontOpener(bool)
{
    return core::runHeadless;
}

} // namespace tavo::app
