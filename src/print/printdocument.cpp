#include "print/printdocument.h"

#include <QMap>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavo::print {

QStringList PrintItem::lineTexts() const
{
    QStringList texts;
    texts.reserve(lines.size());
    for (const PrintLine &line : lines)
        texts.append(line.text);
    return texts;
}

bool PrintDocument::isEmpty() const
{
    return std::all_of(pages.cbegin(), pages.cend(), [](const PrintPage &p) { return p.items.isEmpty(); });
}

QList<PrintItem> PrintDocument::items() const
{
    QList<PrintItem> all;
    for (const PrintPage &page : pages)
        all += page.items;
    return all;
}

QStringList PrintDocument::textBlocks() const
{
    QStringList blocks;
    int current = -1;
    for (const PrintItem &item : items()) {
        if (item.kind != PrintItemKind::Text)
            continue;
        if (item.block != current) {
            blocks.append(item.text);
            current = item.block;
        } else {
            blocks.last() += (item.continued ? QString() : u"\r\n"_s) + item.text;
        }
    }
    return blocks;
}

QStringList PrintDocument::tableRows() const
{
    // Rows may cross a page break only as a whole, so cells of one row are never split apart.
    QStringList rows;
    QMap<int, QString> cells; // column -> text, for the row being collected
    int table = -1, row = -1;
    auto flush = [&] {
        if (table >= 0)
            rows.append(QStringList(cells.values()).join(u'|') + u';');
        cells.clear();
    };
    for (const PrintItem &item : items()) {
        if (item.kind != PrintItemKind::Cell)
            continue;
        if (item.table != table || item.row != row) {
            flush();
            table = item.table;
            row = item.row;
        }
        cells.insert(item.column, item.text);
    }
    flush();
    return rows;
}

QList<PrintItem> PrintDocument::rowCells(int table, int row) const
{
    QList<PrintItem> cells;
    for (const PrintItem &item : items())
        if (item.kind == PrintItemKind::Cell && item.table == table && item.row == row)
            cells.append(item);
    std::sort(cells.begin(), cells.end(),
        [](const PrintItem &a, const PrintItem &b) { return a.column < b.column; });
    return cells;
}

int PrintDocument::commandCount(DeviceCommand command) const
{
    int n = 0;
    for (const PrintItem &item : items())
        n += item.kind == PrintItemKind::Command && item.command == command;
    return n;
}

int PrintDocument::contentBottom(int pageIndex) const
{
    if (pageIndex < 0 || pageIndex >= pages.size())
        return 0;
    int bottom = 0;
    for (const PrintItem &item : pages[pageIndex].items)
        if (item.kind != PrintItemKind::Command)
            bottom = std::max(bottom, item.rect.bottom() + 1);
    return bottom;
}

QSize PrintDocument::printedPaperSize() const
{
    if (!roll)
        return paperSize;
    int longest = 0;
    for (int page = 0; page < pageCount(); ++page)
        longest = std::max(longest, contentBottom(page));
    // Five millimetres below the last line, so the tear bar does not cut through it.
    const int feed = int(5 * kTwipsPerMm);
    return { paperSize.width(), std::min(paperSize.height(), longest + feed) };
}

PrintDocument PrintDocument::pageRange(int from, int to) const
{
    PrintDocument part;
    part.name = name;
    part.paperSize = paperSize;
    part.roll = roll;
    from = std::max(from, 1);
    to = std::min(to, pageCount());
    for (int p = from; p <= to; ++p)
        part.pages.append(pages[p - 1]);
    return part;
}

} // namespace tavo::print
