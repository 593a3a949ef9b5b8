#include "platform/printsink.h"

#include "platform/services.h"

using namespace Qt::StringLiterals;

namespace tavo::platform {

bool PrinterSink::output(const PrintDocument &document, QString *error)
{
    PrinterCatalog *catalog = services().printers;
    if (!catalog) {
        if (error)
            *error = u"no printer catalog is installed"_s;
        return false;
    }
    return catalog->print(document, m_printer, error);
}

} // namespace tavo::platform
