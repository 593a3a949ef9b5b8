#pragma once
// Draws a laid-out PrintDocument with QPainter: into a PDF file, into an image, or (in the gui
// library) on a printer. One drawing routine serves them all, so what the kitchen printer gets
// and what a preview or a test image shows cannot drift apart. It only draws what the layout
// placed; it never measures text.
#include "platform/printdocument.h"

#include <QImage>
#include <QPageSize>

class QPainter;

namespace tavo::platform {

class PainterRenderer {
public:
    // Draws one page (0-based). The painter must already map one unit to one twip, with the
    // origin at the top-left corner of the paper.
    static void paintPage(QPainter &painter, const PrintDocument &document, int pageIndex);
    // Every page on the painter's paged device (a new device page for each further page), at
    // the device's resolution.
    static void paintPages(QPainter &painter, const PrintDocument &document, double dotsPerInch);
    // The document's paper, for a paged device.
    static QPageSize pageSize(const PrintDocument &document);

    static bool toPdf(const PrintDocument &document, const QString &path, QString *error = nullptr);
    // One page at the given resolution on white. With cropToContent the image ends a little below
    // the lowest item, which suits roll-paper tickets.
    static QImage toImage(
        const PrintDocument &document, int pageIndex, double dpi, bool cropToContent = false);
};

} // namespace tavo::platform
