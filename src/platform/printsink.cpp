#include "platform/printsink.h"

#include "platform/services.h"

namespace tavo::platform {

bool PrinterSink::output(const PrintDocument &document, QString *error)
{
    return services().printers->print(document, m_printer, error);
}

} // namespace tavo::platform
