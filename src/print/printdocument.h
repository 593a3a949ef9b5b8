#pragma once
// A finished (or growing) document of the print surface: pages of items placed in twips.
// Renderers (painter, receipt bytes) and tests read only this, so it holds plain values:
// no QFont, no QPainter state, nothing a byte-stream printer could not interpret. Layout is
// finished when an item is recorded: every line knows where it starts and where its baseline
// runs, so a renderer draws without measuring text and two renderers cannot disagree about it.
#include <QColor>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace tavo::print {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr double kTwipsPerPoint = 20.0;
inline constexpr double kTwipsPerMm = kTwipsPerInch / 25.4;

enum class PrintAlign { Left, Centre, Right, Justified };

// The paper a printer lays a document out on.
struct PrintPaper {
    QSize size { 11906, 16838 }; // twips; A4
    bool roll = false; // a receipt roll, cut after what is printed

    bool operator==(const PrintPaper &) const = default;
};

// A receipt printer's 80 mm roll, as far as its head reaches: 72 mm, which a raw ESC/POS job
// fills with the printer's columns of characters. Laid out on this width, a position in twips is
// where it prints. The length is where the pages of a preview break.
inline const PrintPaper kReceiptRoll { QSize(int(72 * kTwipsPerMm + 0.5), int(297 * kTwipsPerMm + 0.5)),
    true };

// The font an item was written in. `name` is what the caller asked for ("Arial", "8 cpi (RED)");
// `face` the family actually used to measure and draw it.
struct PrintFont {
    QString name = QStringLiteral("Arial");
    QString face = QStringLiteral("Arial");
    double size = 10.0; // points
    bool bold = false;
    bool fixedPitch = false; // a printer device font of fixed character width
    QColor colour = QColor(Qt::black);

    bool operator==(const PrintFont &) const = default;
};

enum class PrintItemKind {
    Text, // one laid-out line of a text or paragraph output
    Cell, // one cell of a table row
    Command, // a device command with no visible mark (the buzzer)
};

enum class DeviceCommand {
    None,
    Bell, // "C" in the receipt printers' control font sounds the buzzer
    Other, // any other character in the control font: kept so nothing vanishes unseen
};

// One run of ink, placed: twips from the top-left corner of the paper.
struct PrintLine {
    QString text;
    int x = 0; // where the text starts, alignment already applied
    int baseline = 0;
    int width = 0; // the advance the layout measured, twips
    // Twips added to every space of a justified line so that it fills its room; 0 otherwise.
    double wordSpacing = 0;

    bool operator==(const PrintLine &) const = default;
};

struct PrintItem {
    PrintItemKind kind = PrintItemKind::Text;
    QRect rect; // twips from the top-left corner of the paper
    // Text: the line. Cell: the whole cell text. Command: the character sent.
    QString text;
    // What a renderer draws. Text: the one line. Cell: the text broken into the lines that fit
    // the column. Command: none.
    QList<PrintLine> lines;
    PrintFont font;
    PrintAlign align = PrintAlign::Left; // text: from the surface's alignment code; cell: from the format
    int lineHeight = 0;
    // Text only: the line carries on the one before it, cut because it ran past the right margin.
    bool continued = false;
    int block = 0; // output call that produced the item, counted over the document
    // Cell only.
    int table = -1, row = -1, column = -1;
    int columnCount = 0;
    int padding = 0; // twips between the cell's edges and its text
    bool header = false;
    int border = 0; // table border code in force when the row was added
    DeviceCommand command = DeviceCommand::None;

    QStringList lineTexts() const;
    bool operator==(const PrintItem &) const = default;
};

struct PrintPage {
    QList<PrintItem> items;
};

class PrintDocument {
public:
    QString name; // the job name shown by the spooler
    QSize paperSize { 11906, 16838 }; // twips; A4 unless the surface was told otherwise
    // A roll is cut after what is printed: its height only tells where a page breaks, and a
    // page printed through a driver is as long as its content.
    bool roll = false;
    QList<PrintPage> pages;

    int pageCount() const { return int(pages.size()); }
    bool isEmpty() const;
    // Every item, page by page, in the order it was written.
    QList<PrintItem> items() const;

    // Reading helpers. Text blocks: one per text or paragraph call, lines cut at the right margin
    // joined again and hard line ends kept as CR LF. Table rows: "cell|cell;" per row as the
    // caller handed them in, header rows included.
    QStringList textBlocks() const;
    QStringList tableRows() const;
    // The items of one table row (cells in column order).
    QList<PrintItem> rowCells(int table, int row) const;
    int commandCount(DeviceCommand command) const;
    // The lowest point any visible item reaches, in twips from the top of its page.
    int contentBottom(int pageIndex) const;
    // The paper a driver prints on: the paper size, or for a roll its width by the longest
    // page's content and a little feed below it.
    QSize printedPaperSize() const;

    // Pages from..to, counted from 1 and clamped to the document.
    PrintDocument pageRange(int from, int to) const;
};

} // namespace tavo::print
