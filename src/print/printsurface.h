#pragma once
// The page-based drawing surface of the ticket, test and report windows, in place of the
// closed print-and-preview control the POS suite used on Windows. It keeps that control's
// model: a current vertical position in twips, a current font, text that breaks lines only
// at CR LF, tables described by format strings such as "<2800|^850;", and a document that is
// started, written and ended. Everything written is recorded and laid out into a PrintDocument;
// ending a document hands it to a PrintSink (the selected printer unless the caller chose
// another) or, with preview on, keeps it for a preview window.
//
// Layout rules of our own: text and cells are measured with Qt font metrics in twips, here and
// nowhere else; a text block is placed between the left margin plus the indent and the right
// margin by the alignment code; a line that runs past the right margin is carried to the next
// line; a row that does not fit the page starts a new page.
//
// Errors (unknown printer, malformed table format, a refused print job) throw TavoError for the
// caller's trap.
#include "print/printdocument.h"
#include "print/printsink.h"

#include <QFont>
#include <QMargins>
#include <climits>

namespace tavo::print {

// The Qt font for a recorded font, sized in pixels of one twip each: metrics read from it are
// twips, and a painter scaled to twips draws it at its true size.
QFont twipFont(const PrintFont &font);

// Device fonts of the receipt printers' drivers: text in the red one prints red, the plain one
// is fixed-pitch, and text in the control font is a device command, not ink.
inline const QString kRedDeviceFont = QStringLiteral("8 cpi (RED)");
inline const QString kFixedDeviceFont = QStringLiteral("8 cpi");
inline const QString kControlDeviceFont = QStringLiteral("control");

class PrintSurface {
public:
    PrintSurface();

    // Printers, as the PrinterCatalog of platform::services() lists them.
    QStringList devices() const;
    int deviceCount() const;
    QString deviceName(int index) const;
    // Selects the output printer by its exact, case-sensitive name.
    void setDevice(const QString &name);
    QString device() const { return m_device; }

    void setPreview(bool on) { m_preview = on; }
    bool preview() const { return m_preview; }
    void setDocName(const QString &name) { m_docName = name; }
    QString docName() const { return m_docName; }
    // The paper of the next document, twips. A roll's height is where its pages break; what a
    // driver prints of it ends below the content.
    void setPaperSize(QSize twips, bool roll = false);
    QSize paperSize() const { return m_paper; }
    bool rollPaper() const { return m_roll; }

    // Where ended documents go; not owned. Null (the default) is the selected device, through the
    // PrinterCatalog of platform::services().
    void setSink(PrintSink *sink) { m_sink = sink; }
    PrintSink *sink() const { return m_sink; }

    // Opens a new document at the top of its first page; an unfinished one is dropped.
    void startDoc();
    // Closes the document and, unless preview is on, hands it to the sink.
    void endDoc();
    bool isDocOpen() const { return m_open; }

    void setFontName(const QString &name);
    QString fontName() const { return m_font.name; }
    void setFontSize(double points);
    double fontSize() const { return m_font.size; }
    void setFontBold(bool bold) { m_font.bold = bold; }
    bool fontBold() const { return m_font.bold; }

    int currentY() const { return m_y; }
    void setCurrentY(int twips) { m_y = twips; }

    // Text at the current position; only CR LF inside the text ends a line, so the position stays
    // on the last line unless the text ends with CR LF.
    void text(const QString &text);
    // Text and a line end; an empty paragraph is an empty line.
    void paragraph(const QString &text);
    // Rows under a column format: columns separated by the first table separator, each an optional
    // alignment mark ("<" left, "^" centre, ">" right) and a width in twips, the list ended by the
    // second separator. Header and body rows use the same separators; the header (when not empty)
    // is repeated at the top of each further page the table reaches. A call right after another
    // with the same format and header (nothing written in between) continues its table: rows
    // added one at a time stand under one header.
    void addTable(const QString &format, const QString &header, const QString &body);
    // Two different characters: cell separator, row end. "|;" until changed.
    void setTableSeparators(const QString &separators);
    QString tableSeparators() const { return QString(m_cellSep) + m_rowEnd; }

    void setMargins(const QMargins &twips) { m_margins = twips; }
    QMargins margins() const { return m_margins; }
    void setMarginLeft(int twips) { m_margins.setLeft(twips); }
    void setMarginTop(int twips) { m_margins.setTop(twips); }
    void setMarginRight(int twips) { m_margins.setRight(twips); }
    void setMarginBottom(int twips) { m_margins.setBottom(twips); }

    // The closed control's alignment code of the text blocks written after it. Codes 0..15 combine a
    // horizontal placement (code % 4: 0 left, 1 right, 2 centre, 3 justified) with a vertical
    // reference (code / 4) that has no use on a surface written top to bottom, so it is ignored.
    // Justified lines fill the room between the margins when a line was cut to fit; the last line
    // of a block, and a block that fits one line, stay at the left. Other codes lay out as left.
    // Tables keep the alignment marks of their format.
    void setTextAlign(int code) { m_textAlign = code; }
    int textAlign() const { return m_textAlign; }
    // Rules of table rows: 0 none, 1 below, 2 above, 3 above and below, 4 a box around the row,
    // 5 column lines, 6 column lines and above and below, 7 every line; other codes draw none.
    void setTableBorder(int code) { m_tableBorder = code; }
    int tableBorder() const { return m_tableBorder; }
    void setIndentLeft(int twips) { m_indent = twips; }
    int indentLeft() const { return m_indent; }
    // Line pitch as a percentage of the font's own line height (100 = single).
    void setLineSpacing(int percent) { m_lineSpacing = percent; }
    int lineSpacing() const { return m_lineSpacing; }
    // Space kept between a table cell's edges and its text, twips.
    void setTableCellPadding(int twips) { m_cellPadding = twips; }
    int tableCellPadding() const { return m_cellPadding; }

    int pageCount() const { return m_doc.pageCount(); }
    // The page a preview shows, 1..pageCount (0 while the document has no page).
    int previewPage() const { return m_previewPage; }
    void setPreviewPage(int page);

    // The document being written, or the last one ended.
    const PrintDocument &document() const { return m_doc; }
    // Hands pages from..to (counted from 1) of the last ended document to the sink, as endDoc does
    // without preview.
    void printDoc(int fromPage = 1, int toPage = INT_MAX);

private:
    struct Metrics;
    const Metrics &metrics() const;
    int linePitch(const Metrics &m) const;
    int textLeft() const { return m_margins.left() + m_indent; }
    int textWidth() const;
    PrintAlign textAlignment() const;
    void deliver(const PrintDocument &document);
    void ensureOpen();
    void ensureRoom(int height);
    void newPage();
    PrintItem &append(PrintItem item);
    void writeLine(const QString &line, bool continued, bool lastOfPart, const Metrics &m);
    void writeCommand(const QString &chars);

    QString m_device, m_docName;
    bool m_preview = false, m_open = false;
    QSize m_paper { 11906, 16838 };
    bool m_roll = false;
    PrintFont m_font;
    bool m_control = false; // the control font is selected: text becomes device commands
    int m_y = 0;
    QMargins m_margins;
    int m_textAlign = 0, m_tableBorder = 0, m_indent = 0, m_lineSpacing = 100, m_cellPadding = 0;
    QChar m_cellSep = u'|', m_rowEnd = u';';
    int m_previewPage = 0;
    PrintSink *m_sink = nullptr;
    int m_block = 0, m_tables = 0;
    struct LastTable {
        QString key; // format, header and separators
        int table = -1, rows = 0, block = -1;
    } m_lastTable;
    PrintDocument m_doc;
};

} // namespace tavo::print
