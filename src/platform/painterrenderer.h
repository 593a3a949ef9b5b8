#pragma once
// Draws a recorded PrintDocument with QPainter: on a printer through QPrinter, into a PDF file,
// or into an image. One drawing routine serves all three, so what the kitchen printer gets and
// what a preview or a test image shows cannot drift apart.
#include "platform/printdocument.h"

#include <QImage>

class QPainter;
class QPrinter;

namespace tavo::platform {

class PainterRenderer {
public:
    // Draws one page (0-based). The painter must already map one unit to one twip, with the
    // origin at the top-left corner of the paper.
    static void paintPage(QPainter &painter, const PrintDocument &document, int pageIndex);

    // All pages on an open-able printer; the printer's paper is set to the document's.
    static bool toPrinter(const PrintDocument &document, QPrinter &printer, QString *error = nullptr);
    static bool toPdf(const PrintDocument &document, const QString &path, QString *error = nullptr);
    // One page at the given resolution on white. With cropToContent the image ends a little below
    // the lowest item, which suits roll-paper tickets.
    static QImage toImage(
        const PrintDocument &document, int pageIndex, double dpi, bool cropToContent = false);
};

} // namespace tavo::platform
