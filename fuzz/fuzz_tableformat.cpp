// The print surface's table formats and rows: any format string, header and body the forms or a
// report could hand over either lays out or is refused with TavoError, and the document records
// only cells inside the columns the format gave.
#include "platform/errors.h"
#include "print/printsurface.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Three parts separated by NUL bytes: format, header, body.
    const QList<QByteArray> parts
        = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    const QString format = QString::fromUtf8(parts.value(0));
    const QString header = QString::fromUtf8(parts.value(1));
    const QString body = QString::fromUtf8(parts.value(2));
    tavo::print::PrintSurface vsp;
    vsp.setPaperSize(QSize(4535, 8000));
    try {
        if (parts.size() > 3 && parts[3].size() == 2)
            vsp.setTableSeparators(QString::fromLatin1(parts[3]));
        vsp.startDoc();
        vsp.addTable(format, header, body);
    } catch (const tavo::TavoError &) {
        return 0;
    }
    for (const tavo::print::PrintPage &page : vsp.document().pages) {
        for (const tavo::print::PrintItem &item : page.items) {
            if (item.kind == tavo::print::PrintItemKind::Cell
                && (item.column < 0 || item.column >= item.columnCount))
                std::abort();
        }
    }
    return 0;
}
