#include "print/printsink.h"

#include "print/printercatalog.h"

namespace tavo::print {

bool PrinterSink::output(const PrintDocument &document, QString *error)
{
    return printServices().printers->print(document, m_printer, error);
}

} // namespace tavo::print
