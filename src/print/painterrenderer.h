#pragma once
// Draws a laid-out PrintDocument with QPainter: into a PDF file, into images, or (in the gui
// library) on a printer. One drawing routine serves them all, so what the kitchen printer gets
// and what a preview or a test image shows cannot drift apart. It only draws what the layout
// placed; it never measures text.
#include "print/printsink.h"

#include <QImage>
#include <QList>
#include <QPageSize>

class QPainter;

namespace tavo::print {

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

// Each document into one PDF file, written over the last.
class PdfSink : public PrintSink {
public:
    explicit PdfSink(QString path)
        : m_path(std::move(path))
    {
    }
    QString path() const { return m_path; }
    bool output(const PrintDocument &document, QString *error) override;

private:
    QString m_path;
};

// The pages of the last document as images, e.g. for a preview window or a check of the ink.
class ImageSink : public PrintSink {
public:
    explicit ImageSink(double dpi = 203, bool cropToContent = false)
        : m_dpi(dpi)
        , m_crop(cropToContent)
    {
    }
    const QList<QImage> &pages() const { return m_pages; }
    bool output(const PrintDocument &document, QString *error) override;

private:
    double m_dpi;
    bool m_crop;
    QList<QImage> m_pages;
};

} // namespace tavo::print
