#include "print/printsurface.h"

#include "platform/errors.h"
#include "print/linebreak.h"
#include "print/printercatalog.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace tavo::print {

namespace {

[[noreturn]] void fail(const QString &description)
{
    throw TavoError(kGenericErrorNumber, description);
}

// Chinese text in a Latin face would fall back to whatever CJK face fontconfig likes best, which
// is often the Japanese one; the kitchen reads Traditional Chinese.
const QString kCjkFallback = u"Noto Sans CJK TC"_s;

const QString &fixedPitchFace()
{
    static const QString face = [] {
        const QString cjkMono = u"Noto Sans Mono CJK TC"_s;
        if (QFontDatabase::families().contains(cjkMono))
            return cjkMono;
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    return face;
}

// Lines of at most `width` twips, broken where a line may break (linebreak.h).
template <typename Advance> QStringList breakLines(const QString &text, double width, Advance &&advanceOf)
{
    if (width <= 0 || text.isEmpty())
        return { text };
    return wrapText(text, width, width, advanceOf);
}

struct Column {
    PrintAlign align = PrintAlign::Left;
    int width = 0;
};

QList<Column> parseFormat(const QString &format, QChar cellSep, QChar rowEnd)
{
    QString list = format.trimmed();
    const qsizetype end = list.indexOf(rowEnd);
    if (end >= 0)
        list.truncate(end);
    QStringList entries = list.split(cellSep);
    if (entries.size() > 1 && entries.last().trimmed().isEmpty())
        entries.removeLast();
    QList<Column> columns;
    if (list.trimmed().isEmpty())
        fail(u"Table format without columns: \"%1\""_s.arg(format));
    for (const QString &entry : std::as_const(entries)) {
        QString entryText = entry.trimmed();
        Column column;
        if (entryText.startsWith(u'<')) {
            entryText.remove(0, 1);
        } else if (entryText.startsWith(u'^')) {
            column.align = PrintAlign::Centre;
            entryText.remove(0, 1);
        } else if (entryText.startsWith(u'>')) {
            column.align = PrintAlign::Right;
            entryText.remove(0, 1);
        }
        bool ok = false;
        const int width = entryText.trimmed().toInt(&ok);
        // A width beyond a few metres of paper is a typing error, not a layout.
        if (!ok || width < 0 || width > 1000000)
            fail(u"Table format \"%1\": column width \"%2\" is not a number of twips"_s.arg(format, entry));
        column.width = width;
        columns.append(column);
    }
    return columns;
}

// Where a line starts within its room, given the room it leaves free (negative when it overflows:
// it then starts at the left, so its beginning is what stays readable).
int alignedOffset(PrintAlign align, double slack)
{
    if (slack <= 0)
        return 0;
    switch (align) {
    case PrintAlign::Right:
        return int(std::floor(slack));
    case PrintAlign::Centre:
        return int(std::floor(slack / 2));
    case PrintAlign::Left:
    case PrintAlign::Justified:
        break;
    }
    return 0;
}

QStringList splitRows(const QString &body, QChar rowEnd)
{
    if (body.isEmpty())
        return {};
    QStringList rows = body.split(rowEnd);
    if (rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

} // namespace

QFont twipFont(const PrintFont &font)
{
    QFont f;
    f.setFamilies({ font.face, kCjkFallback });
    f.setPixelSize(std::max(1, int(std::lround(font.size * kTwipsPerPoint))));
    f.setBold(font.bold);
    f.setFixedPitch(font.fixedPitch);
    // Metrics must not depend on the screen the program happens to run on.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

struct PrintSurface::Metrics {
    explicit Metrics(const QFont &font)
        : fm(font)
        , lineHeight(std::max(1, int(std::lround(fm.lineSpacing()))))
        , ascent(int(std::lround(fm.ascent())))
    {
    }

    // Widths add up character by character (kerning is off), and each character is measured once:
    // at twip sizes the font engine would otherwise load glyph outlines on every call.
    double width(QStringView text) const
    {
        double total = 0;
        for (qsizetype i = 0; i < text.size();) {
            const qsizetype step = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
            const QStringView ch = text.mid(i, step);
            const char32_t code = step == 2 ? QChar::surrogateToUcs4(ch[0], ch[1]) : ch[0].unicode();
            auto it = advances.constFind(code);
            if (it == advances.cend())
                it = advances.insert(code, fm.horizontalAdvance(ch.toString()));
            total += *it;
            i += step;
        }
        return total;
    }

    QFontMetricsF fm;
    int lineHeight;
    int ascent;
    mutable QHash<char32_t, double> advances;
};

PrintSurface::PrintSurface() = default;

const PrintSurface::Metrics &PrintSurface::metrics() const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        fail(u"The print surface measures text with the fonts of a QGuiApplication, and none is running"_s);
    // Tickets use a handful of fonts over and over: measuring objects are kept while the
    // application lives, and let go before its fonts are.
    static QHash<QString, std::shared_ptr<Metrics>> cache;
    static const bool releasedAtExit = [] {
        qAddPostRoutine([] { cache.clear(); });
        return true;
    }();
    Q_UNUSED(releasedAtExit)
    const QString key = u"%1|%2|%3"_s.arg(m_font.face).arg(m_font.bold).arg(m_font.size);
    auto it = cache.constFind(key);
    if (it == cache.cend())
        it = cache.insert(key, std::make_shared<Metrics>(twipFont(m_font)));
    return **it;
}

int PrintSurface::linePitch(const Metrics &m) const
{
    const int percent = m_lineSpacing > 0 ? m_lineSpacing : 100;
    return std::max(1, int(std::lround(m.lineHeight * percent / 100.0)));
}

int PrintSurface::textWidth() const
{
    return m_paper.width() - m_margins.right() - textLeft();
}

PrintAlign PrintSurface::textAlignment() const
{
    if (m_textAlign < 0 || m_textAlign > 15)
        return PrintAlign::Left;
    static constexpr PrintAlign byCode[]
        = { PrintAlign::Left, PrintAlign::Right, PrintAlign::Centre, PrintAlign::Justified };
    return byCode[m_textAlign % 4];
}

QStringList PrintSurface::devices() const
{
    return printServices().printers->printerNames();
}

int PrintSurface::deviceCount() const
{
    return int(devices().size());
}

QString PrintSurface::deviceName(int index) const
{
    const QStringList names = devices();
    if (index < 0 || index >= names.size())
        fail(u"Printer number %1 does not exist (%2 installed)"_s.arg(index).arg(names.size()));
    return names[index];
}

void PrintSurface::setDevice(const QString &name)
{
    if (!devices().contains(name))
        fail(u"Printer \"%1\" is not installed"_s.arg(name));
    m_device = name;
}

void PrintSurface::setPaperSize(QSize twips, bool roll)
{
    if (twips.width() <= 0 || twips.height() <= 0)
        fail(u"Paper size %1 x %2 twips is not a paper"_s.arg(twips.width()).arg(twips.height()));
    m_paper = twips;
    m_roll = roll;
}

void PrintSurface::startDoc()
{
    m_doc = PrintDocument();
    m_doc.name = m_docName;
    m_doc.paperSize = m_paper;
    m_doc.roll = m_roll;
    m_doc.pages.append(PrintPage());
    m_open = true;
    m_y = m_margins.top();
    m_block = 0;
    m_tables = 0;
    m_lastTable = {};
    m_previewPage = 1;
}

void PrintSurface::endDoc()
{
    if (!m_open)
        fail(u"No document has been started"_s);
    m_open = false;
    m_previewPage = m_doc.pageCount() > 0 ? 1 : 0;
    if (!m_preview)
        deliver(m_doc);
}

void PrintSurface::printDoc(int fromPage, int toPage)
{
    if (m_open)
        fail(u"The document \"%1\" is still being written"_s.arg(m_doc.name));
    const bool whole = fromPage <= 1 && toPage >= m_doc.pageCount();
    deliver(whole ? m_doc : m_doc.pageRange(fromPage, toPage));
}

void PrintSurface::deliver(const PrintDocument &document)
{
    QString error;
    if (m_sink) {
        if (!m_sink->output(document, &error))
            fail(u"\"%1\" could not be output: %2"_s.arg(document.name, error));
        return;
    }
    if (m_device.isEmpty())
        fail(u"No printer is selected for \"%1\""_s.arg(document.name));
    PrinterSink device(m_device);
    if (!device.output(document, &error))
        fail(u"Printing \"%1\" on \"%2\" failed: %3"_s.arg(document.name, m_device, error));
}

void PrintSurface::setPreviewPage(int page)
{
    m_previewPage = m_doc.pageCount() == 0 ? 0 : std::clamp(page, 1, m_doc.pageCount());
}

void PrintSurface::setFontName(const QString &name)
{
    if (name.trimmed().isEmpty())
        fail(u"A font needs a name"_s);
    m_control = false;
    m_font.name = name;
    m_font.colour = QColor(Qt::black);
    m_font.fixedPitch = false;
    if (name.compare(kRedDeviceFont, Qt::CaseInsensitive) == 0) {
        m_font.face = fixedPitchFace();
        m_font.fixedPitch = true;
        m_font.colour = QColor(Qt::red);
    } else if (name.compare(kFixedDeviceFont, Qt::CaseInsensitive) == 0) {
        m_font.face = fixedPitchFace();
        m_font.fixedPitch = true;
    } else if (name.compare(kControlDeviceFont, Qt::CaseInsensitive) == 0) {
        m_control = true;
    } else {
        m_font.face = name;
    }
}

void PrintSurface::setFontSize(double points)
{
    if (!(points > 0 && points <= 1000))
        fail(u"Font size %1 is out of range"_s.arg(points));
    m_font.size = points;
}

void PrintSurface::ensureOpen()
{
    // The control this replaces opened a document on the first output; so do we, rather than lose it.
    if (!m_open)
        startDoc();
}

void PrintSurface::newPage()
{
    m_doc.pages.append(PrintPage());
    m_y = m_margins.top();
}

void PrintSurface::ensureRoom(int height)
{
    if (m_y + height > m_paper.height() - m_margins.bottom() && m_y > m_margins.top())
        newPage();
}

PrintItem &PrintSurface::append(PrintItem item)
{
    item.block = m_block;
    m_doc.pages.last().items.append(std::move(item));
    return m_doc.pages.last().items.last();
}

void PrintSurface::writeLine(const QString &line, bool continued, bool lastOfPart, const Metrics &m)
{
    ensureRoom(m.lineHeight);
    const PrintAlign align = textAlignment();
    const double natural = m.width(line);
    const double room = textWidth();
    PrintLine ink { line, textLeft(), m_y + m.ascent, int(std::ceil(natural)) };
    if (align == PrintAlign::Justified && !lastOfPart && natural < room) {
        // Stretching only the spaces keeps Latin words whole; a line without spaces (Chinese, or
        // one long word) has nothing to stretch and stays as it is.
        const auto spaces = std::count_if(line.cbegin(), line.cend(), [](QChar c) { return c.isSpace(); });
        if (spaces > 0) {
            ink.wordSpacing = (room - natural) / double(spaces);
            ink.width = int(room);
        }
    } else {
        ink.x += alignedOffset(align, room - natural);
    }
    PrintItem item;
    item.kind = PrintItemKind::Text;
    item.text = line;
    item.font = m_font;
    item.align = align;
    item.continued = continued;
    item.lineHeight = m.lineHeight;
    item.rect = QRect(ink.x, m_y, ink.width, m.lineHeight);
    item.lines = { std::move(ink) };
    append(std::move(item));
}

void PrintSurface::writeCommand(const QString &chars)
{
    for (const QChar c : chars) {
        if (c == u'\r' || c == u'\n')
            continue;
        PrintItem item;
        item.kind = PrintItemKind::Command;
        item.text = c;
        item.font = m_font;
        item.font.name = kControlDeviceFont;
        item.command = c == u'C' ? DeviceCommand::Bell : DeviceCommand::Other;
        item.rect = QRect(textLeft(), m_y, 0, 0);
        append(std::move(item));
    }
}

void PrintSurface::text(const QString &text)
{
    ensureOpen();
    ++m_block;
    if (m_control) {
        writeCommand(text);
        return;
    }
    const Metrics &m = metrics();
    const int pitch = linePitch(m);
    QStringList parts = text.split(u"\r\n"_s);
    const bool endsWithBreak = parts.size() > 1 && parts.last().isEmpty();
    if (endsWithBreak)
        parts.removeLast();
    const double width = textWidth();
    for (qsizetype p = 0; p < parts.size(); ++p) {
        const QStringList lines = breakLines(parts[p], width, [&m](QStringView t) { return m.width(t); });
        for (qsizetype l = 0; l < lines.size(); ++l) {
            if (p > 0 || l > 0)
                m_y += pitch;
            writeLine(lines[l], l > 0, l + 1 == lines.size(), m);
        }
    }
    if (endsWithBreak)
        m_y += pitch;
}

void PrintSurface::paragraph(const QString &text)
{
    this->text(text + u"\r\n"_s);
}

void PrintSurface::setTableSeparators(const QString &separators)
{
    if (separators.size() != 2 || separators[0] == separators[1])
        fail(u"Table separators must be two different characters, not \"%1\""_s.arg(separators));
    m_cellSep = separators[0];
    m_rowEnd = separators[1];
}

void PrintSurface::addTable(const QString &format, const QString &header, const QString &body)
{
    const QList<Column> columns = parseFormat(format, m_cellSep, m_rowEnd);
    const QStringList headerRows = splitRows(header, m_rowEnd);
    const QStringList bodyRows = splitRows(body, m_rowEnd);
    if (headerRows.isEmpty() && bodyRows.isEmpty())
        return;
    ensureOpen();
    if (m_control) {
        writeCommand(header + body);
        return;
    }
    // Rows added one call at a time under the same format and header, with nothing written in
    // between, read as one table: the header is not drawn again above each row.
    const QString key = format + u'\n' + header + u'\n' + m_cellSep + m_rowEnd;
    const bool continues = !headerRows.isEmpty() && m_lastTable.table >= 0 && m_lastTable.key == key
        && m_lastTable.block == m_block;
    ++m_block;
    const int table = continues ? m_lastTable.table : m_tables++;
    const Metrics &m = metrics();
    const int pitch = linePitch(m);
    const int padding = std::max(0, m_cellPadding);
    const double space = m.width(u" ");
    int rowNumber = continues ? m_lastTable.rows : 0;

    auto layoutRow = [&](const QString &rowText) {
        QStringList cells = rowText.split(m_cellSep);
        // Cells beyond the format stay visible in the last column rather than vanish.
        if (cells.size() > columns.size())
            cells = cells.mid(0, columns.size() - 1)
                << QStringList(cells.mid(columns.size() - 1)).join(m_cellSep);
        // From the right: a cell's text wraps short of the next cell's text by at least a space,
        // so that a quantity never touches the name beside it.
        QList<QStringList> lines(columns.size());
        qsizetype most = 1;
        double nextText = 0; // from this cell's right edge to where the next cell's text starts
        for (qsizetype c = columns.size() - 1; c >= 0; --c) {
            const double room = columns[c].width - 2 * padding;
            const double gutter = c + 1 < columns.size() ? std::max(0.0, space - padding - nextText) : 0;
            lines[c] = breakLines(c < cells.size() ? cells[c] : QString(), room - gutter,
                [&m](QStringView t) { return m.width(t); });
            most = std::max(most, lines[c].size());
            double offset = room;
            for (const QString &line : std::as_const(lines[c]))
                if (!line.isEmpty())
                    offset = std::min(offset, double(alignedOffset(columns[c].align, room - m.width(line))));
            nextText = padding + offset;
        }
        const int height = int(most) * pitch + 2 * padding;
        const int pagesBefore = m_doc.pageCount();
        ensureRoom(height);
        const bool brokeHere = m_doc.pageCount() != pagesBefore;
        return std::tuple { cells, lines, height, brokeHere };
    };
    auto emitRow = [&](const QStringList &cells, const QList<QStringList> &lines, int height, bool isHeader) {
        int x = textLeft();
        for (qsizetype c = 0; c < columns.size(); ++c) {
            PrintItem item;
            item.kind = PrintItemKind::Cell;
            item.text = c < cells.size() ? cells[c] : QString();
            const int room = columns[c].width - 2 * padding;
            for (qsizetype i = 0; i < lines[c].size(); ++i) {
                const QString &line = lines[c][i];
                const double natural = m.width(line);
                item.lines.append({ line, x + padding + alignedOffset(columns[c].align, room - natural),
                    m_y + padding + m.ascent + int(i) * pitch, int(std::ceil(natural)) });
            }
            item.font = m_font;
            item.align = columns[c].align;
            item.rect = QRect(x, m_y, columns[c].width, height);
            item.lineHeight = pitch;
            item.table = table;
            item.row = rowNumber;
            item.column = int(c);
            item.columnCount = int(columns.size());
            item.padding = padding;
            item.header = isHeader;
            item.border = m_tableBorder;
            append(std::move(item));
            x += columns[c].width;
        }
        ++rowNumber;
        m_y += height;
    };
    auto writeRows = [&](const QStringList &rows, bool isHeader) {
        for (const QString &row : rows) {
            auto [cells, lines, height, brokeHere] = layoutRow(row);
            if (brokeHere && !isHeader) {
                for (const QString &h : headerRows) {
                    auto [hc, hl, hh, hb] = layoutRow(h);
                    emitRow(hc, hl, hh, true);
                }
            }
            emitRow(cells, lines, height, isHeader);
        }
    };
    if (!continues)
        writeRows(headerRows, true);
    writeRows(bodyRows, false);
    m_lastTable = { key, table, rowNumber, m_block };
}

} // namespace tavo::print
