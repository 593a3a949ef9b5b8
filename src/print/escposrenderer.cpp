#include "print/escposrenderer.h"

#include "print/linebreak.h"
#include "print/printsurface.h"

#include <QHash>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <cmath>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>

using namespace Qt::StringLiterals;

namespace tavo::print {

namespace {

constexpr char kEsc = 0x1b, kGs = 0x1d, kFs = 0x1c, kLf = 0x0a, kBel = 0x07;
// The printers' line pitch after ESC @: 1/6 inch.
constexpr int kLineFeedTwips = kTwipsPerInch / 6;

using Big5Table = std::array<quint16, 0x10000>;

// The Big5 code of each character of the basic plane, 0 where Big5 has none. Built once from
// iconv's CP950 table but kept to the standard Big5 rows (A1..F9): the Chinese fonts of receipt
// printers carry those, not Microsoft's additions or the user-defined rows.
const Big5Table &big5()
{
    static const std::unique_ptr<Big5Table> table = [] {
        auto t = std::make_unique<Big5Table>();
        t->fill(0);
        iconv_t cd = iconv_open("UTF-32LE", "CP950");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return t;
        for (int lead = 0xA1; lead <= 0xF9; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail > 0x7E && trail < 0xA1)
                    continue;
                char in[2] = { char(lead), char(trail) };
                char32_t out = 0;
                char *inPtr = in, *outPtr = reinterpret_cast<char *>(&out);
                size_t inLeft = sizeof in, outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || outLeft != 0)
                    continue;
                if (out < 0x80 || out > 0xFFFF || (out >= 0xE000 && out <= 0xF8FF))
                    continue;
                if ((*t)[out] == 0)
                    (*t)[out] = quint16(lead << 8 | trail);
            }
        }
        iconv_close(cd);
        return t;
    }();
    return *table;
}

quint16 big5Code(const Big5Table &table, char32_t cp)
{
    return cp >= 0x80 && cp <= 0xFFFF ? table[cp] : 0;
}

// The single-byte pages of ESC t that have an iconv name: character -> byte above 0x7F.
const QHash<char32_t, char> &singleBytePage(int page)
{
    static std::mutex lock;
    // A map keeps the pages where they are when another is added; renderers hold on to theirs.
    static std::map<int, QHash<char32_t, char>> pages;
    const std::lock_guard guard(lock);
    if (auto found = pages.find(page); found != pages.end())
        return found->second;
    static const QHash<int, const char *> names { { 0, "CP437" }, { 2, "CP850" }, { 3, "CP860" },
        { 4, "CP863" }, { 5, "CP865" }, { 16, "CP1252" }, { 17, "CP866" }, { 18, "CP852" }, { 19, "CP858" } };
    QHash<char32_t, char> map;
    if (const char *name = names.value(page, nullptr)) {
        iconv_t cd = iconv_open("UTF-32LE", name);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            for (int byte = 0x80; byte <= 0xFF; ++byte) {
                char in = char(byte);
                char32_t out = 0;
                char *inPtr = &in, *outPtr = reinterpret_cast<char *>(&out);
                size_t inLeft = 1, outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1) && outLeft == 0
                    && !map.contains(out))
                    map.insert(out, char(byte));
            }
            iconv_close(cd);
        }
    }
    return pages.emplace(page, std::move(map)).first->second;
}

// Calls `visit` with each character of a text; a broken surrogate is a character of its own.
template <typename Visit> void forEachCodePoint(QStringView text, Visit &&visit)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t cp = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        visit(cp);
    }
}

int widthOf(QStringView text)
{
    // Measured for every text and piece of a line: the table is looked up once, not per character.
    const Big5Table &table = big5();
    int columns = 0;
    forEachCodePoint(text, [&](char32_t cp) { columns += big5Code(table, cp) ? 2 : 1; });
    return columns;
}

struct Style {
    int width = 1, height = 1; // character magnification across and up
    bool bold = false;
    bool red = false;
};

Style styleOf(const PrintFont &font, const EscPosOptions &options)
{
    int factor = EscPosRenderer::magnification(font.size);
    // ESC ! doubles at most; counting more would leave the columns short of where text lands.
    if (options.sizeCommand == EscPosSizeCommand::EscExclaim)
        factor = std::min(factor, 2);
    const bool red = font.name.size() == kRedDeviceFont.size()
        && font.name.compare(kRedDeviceFont, Qt::CaseInsensitive) == 0;
    return { factor, factor, font.bold, red };
}

// The plain-font columns a text takes at a width magnification.
auto measureAt(int width)
{
    return [width](QStringView text) { return widthOf(text) * width; };
}

// A text wrapped within `room` at its magnified width, or at normal width (still tall) when it
// could only be wrapped inside a word at that size.
QStringList wrapped(const QString &text, int firstRoom, int room, Style &style)
{
    bool cut = false;
    QStringList lines = wrapText(text, firstRoom, room, measureAt(style.width), &cut);
    if (cut && style.width > 1) {
        style.width = 1;
        lines = wrapText(text, firstRoom, room, measureAt(1));
    }
    return lines;
}

struct Segment {
    int column = 0; // in plain-font columns from the left edge
    QString text;
    Style style;
};

// Where a text's wrapped lines stand: the side (or the middle) the layout aligned it to.
struct Anchor {
    PrintAlign align = PrintAlign::Left;
    int column = 0; // the left edge, the middle or the right edge

    int place(int width, int columns) const
    {
        int start = column;
        if (align == PrintAlign::Right)
            start = column - width;
        else if (align == PrintAlign::Centre)
            start = column - width / 2;
        return std::clamp(std::min(start, columns - width), 0, std::max(0, columns - 1));
    }
};

// A text the layout put on a line, with the columns it takes at its magnification.
struct Placed {
    Segment text;
    Anchor anchor;
    int width = 0;
};

// The texts the layout put on one line, on as many printed lines of at most `columns` as they
// need: each where the layout put it or after the one before, and wrapped where a line may break
// when it would run past the edge.
QList<QList<Segment>> printedLines(QList<Placed> texts, int columns)
{
    if (texts.size() > 1) // a sort borrows a buffer even for a single text
        std::stable_sort(texts.begin(), texts.end(),
            [](const Placed &a, const Placed &b) { return a.text.column < b.text.column; });
    QList<QList<Segment>> lines(1);
    int cursor = 0;
    for (const auto &[text, anchor, width] : std::as_const(texts)) {
        const int start = std::max(text.column, cursor);
        if (start + width <= columns) {
            lines.last().append({ start, text.text, text.style });
            cursor = start + width;
            continue;
        }
        // Alone on its line, each piece stands where the text was aligned; after another text,
        // the first piece goes on from it.
        const bool follows = !lines.last().isEmpty();
        Style style = text.style;
        const QStringList pieces = wrapped(text.text, follows ? columns - start : columns, columns, style);
        const auto measure = measureAt(style.width);
        for (qsizetype p = 0; p < pieces.size(); ++p) {
            if (p > 0)
                lines.append(QList<Segment>());
            if (pieces[p].isEmpty())
                continue;
            const int pieceWidth = measure(pieces[p]);
            const int column = p == 0 && follows ? start : anchor.place(pieceWidth, columns);
            lines.last().append({ column, pieces[p], style });
            cursor = column + pieceWidth;
        }
    }
    return lines;
}

class Writer {
public:
    explicit Writer(const EscPosOptions &options)
        : m_options(options)
    {
        m_out.reserve(1024);
        m_out += kEsc;
        m_out += '@';
        // A printer that comes up in double-byte mode (many Chinese models do) would pair a
        // byte of the single-byte page with the byte after it.
        command({ kFs, '.' });
        if (options.codePage >= 0 && options.codePage <= 255) {
            m_out += kEsc;
            m_out += 't';
            m_out += char(options.codePage);
            m_page = &singleBytePage(options.codePage);
        }
    }

    // One printed line, its segments within the columns. The colour goes first: a two-colour
    // printer takes ESC r only before the first printable byte of a line and ignores it later,
    // so a line prints in one colour, red when any of its ink is.
    void line(const QList<Segment> &segments)
    {
        const bool red = std::any_of(segments.cbegin(), segments.cend(), [](const Segment &s) {
            return s.style.red
                && std::any_of(s.text.cbegin(), s.text.cend(), [](QChar c) { return !c.isSpace(); });
        });
        if (red != m_red) {
            command({ kEsc, 'r', char(red ? 1 : 0) });
            m_red = red;
        }
        m_column = 0;
        for (const Segment &s : segments) {
            const int w = s.style.width;
            setSize(w, s.style.height);
            setBold(s.style.bold);
            const int pad = std::max(0, s.column - m_column) / w;
            for (int i = 0; i < pad; ++i)
                m_out += ' ';
            m_column += pad * w;
            forEachCodePoint(s.text, [&](char32_t cp) { m_column += put(cp) * w; });
        }
        leaveDoubleByte();
        m_out += kLf;
    }

    void feed(int lines)
    {
        for (int i = 0; i < lines; ++i)
            m_out += kLf;
    }

    void buzzer()
    {
        switch (m_options.buzzer) {
        case EscPosBuzzer::Function48:
            // Pattern "1", three beeps of one second each.
            command({ kEsc, '(', 'A', 4, 0, 48, '1', 3, 10 });
            break;
        case EscPosBuzzer::EscB:
            command({ kEsc, 'B', 3, 2 });
            break;
        case EscPosBuzzer::Bel:
            m_out += kBel;
            break;
        case EscPosBuzzer::None:
            break;
        }
    }

    void cut() { command({ kGs, 'V', 66, char(std::clamp(m_options.cutFeed, 0, 255)) }); }

    QByteArray take() const { return QByteArray(m_out.data(), qsizetype(m_out.size())); }

private:
    void command(std::initializer_list<char> bytes) { m_out.append(bytes.begin(), bytes.size()); }

    void setSize(int width, int height)
    {
        if (width == m_width && height == m_height)
            return;
        m_width = width;
        m_height = height;
        if (m_options.sizeCommand == EscPosSizeCommand::GsExclaim) {
            command({ kGs, '!', char((width - 1) << 4 | (height - 1)) });
            return;
        }
        // ESC ! also sets emphasis, and only magnifies Latin text; FS ! magnifies the Chinese.
        const bool wide = width >= 2, tall = height >= 2;
        command({ kEsc, '!', char((wide ? 0x20 : 0) | (tall ? 0x10 : 0) | (m_bold ? 0x08 : 0)) });
        command({ kFs, '!', char((wide ? 0x04 : 0) | (tall ? 0x08 : 0)) });
    }

    void setBold(bool bold)
    {
        if (bold == m_bold)
            return;
        m_bold = bold;
        command({ kEsc, 'E', char(bold ? 1 : 0) });
    }

    void leaveDoubleByte()
    {
        if (!m_doubleByte)
            return;
        command({ kFs, '.' });
        m_doubleByte = false;
    }

    // Returns the columns the character took.
    int put(char32_t cp)
    {
        if (cp < 0x20 || cp == 0x7f)
            cp = U' ';
        if (cp < 0x80) {
            leaveDoubleByte();
            m_out += char(cp);
            return 1;
        }
        if (const quint16 code = big5Code(m_big5, cp)) {
            if (!m_doubleByte) {
                command({ kFs, '&' });
                m_doubleByte = true;
            }
            m_out += char(code >> 8);
            m_out += char(code & 0xff);
            return 2;
        }
        leaveDoubleByte();
        m_out += m_page ? m_page->value(cp, '?') : '?';
        return 1;
    }

    const EscPosOptions &m_options;
    const Big5Table &m_big5 = big5();
    const QHash<char32_t, char> *m_page = nullptr;
    // Written a byte at a time: a QByteArray would take a call into Qt for each.
    std::string m_out;
    int m_width = 1, m_height = 1, m_column = 0;
    bool m_bold = false, m_doubleByte = false, m_red = false;
};

// A cell's text on the character grid: wrapped within its room, at normal width when it could
// only be wrapped inside a word at its size.
struct CellLines {
    Style style;
    QStringList lines;
    QVarLengthArray<int, 4> columns; // where each line starts

    CellLines(int start, int room, PrintAlign align, Style size, const QString &text)
        : style(size)
        , lines(wrapped(text, room, room, style))
    {
        // A count in the text ("[退]炒飯-大 2份") is the item's quantity: it stays on the row's
        // first line, at normal width when the magnified text would carry it down.
        if (style.width > 1 && lines.size() > 1 && lines.first().size() < countEnd(text)) {
            style.width = 1;
            lines = wrapText(text, room, room, measureAt(1));
        }
        columns.reserve(lines.size());
        for (const QString &line : std::as_const(lines)) {
            const int slack = room - widthOf(line) * style.width;
            const int offset = align == PrintAlign::Right ? slack
                : align == PrintAlign::Centre             ? slack / 2
                                                          : 0;
            columns.append(start + std::max(0, offset));
        }
    }
};

// One table row on printed lines: each cell within its own columns, the first line of every cell
// (the quantity beside the item's name) on the row's first printed line. A cell's room ends a
// column short of the next cell when that one's text starts right at its edge, so that
// neighbours never run together.
QList<QList<Segment>> tableRowLines(
    const QList<const PrintItem *> &cells, double columnTwips, int columns, const EscPosOptions &options)
{
    QList<CellLines> laidOut;
    laidOut.reserve(cells.size());
    int nextStart = -1; // where the text of the cell to the right starts, when it starts at its edge
    for (qsizetype c = cells.size() - 1; c >= 0; --c) {
        const PrintItem &cell = *cells[c];
        if (QStringView(cell.text).trimmed().isEmpty())
            continue;
        const int start = std::clamp(int(std::lround(cell.rect.x() / columnTwips)), 0, columns - 1);
        const int stop = std::clamp(
            int(std::lround((cell.rect.x() + cell.rect.width()) / columnTwips)), start + 1, columns);
        const int room = std::max(1, stop - start - (nextStart >= 0 && nextStart <= stop ? 1 : 0));
        CellLines lines(start, room, cell.align, styleOf(cell.font, options), cell.text);
        nextStart = -1;
        if (lines.columns.contains(start))
            nextStart = start;
        laidOut.prepend(std::move(lines));
    }
    QList<QList<Segment>> printed;
    for (const CellLines &c : std::as_const(laidOut)) {
        for (qsizetype l = 0; l < c.lines.size(); ++l) {
            if (printed.size() <= l)
                printed.append(QList<Segment>());
            printed[l].append({ c.columns[l], c.lines[l], c.style });
        }
    }
    return printed;
}

// Where a placed line of text stands on the character grid: its alignment is kept by anchoring
// the side (or the middle) the layout aligned it to, since the printer's characters are wider or
// narrower than the measured font.
Anchor anchorOf(const PrintItem &item, double columnTwips)
{
    const QRect r = item.rect;
    if (item.align == PrintAlign::Right)
        return { PrintAlign::Right, int(std::lround((r.x() + r.width()) / columnTwips)) };
    if (item.align == PrintAlign::Centre)
        return { PrintAlign::Centre, int(std::lround((r.x() + r.width() / 2.0) / columnTwips)) };
    return { PrintAlign::Left, int(std::lround(r.x() / columnTwips)) };
}

} // namespace

int EscPosRenderer::magnification(double points)
{
    // The plain font is about 9 points tall; each step of 9 points adds one magnification.
    return std::clamp(int(std::lround(points / 9.0)), 1, 8);
}

int EscPosRenderer::columnsOf(char32_t codePoint)
{
    return big5Code(big5(), codePoint) ? 2 : 1;
}

QByteArray EscPosRenderer::render(const PrintDocument &document, const EscPosOptions &options)
{
    if (document.isEmpty())
        return {};
    Writer out(options);
    const int columns = std::max(1, options.columns);
    const double columnTwips = std::max(1, document.paperSize.width()) / double(columns);

    int paperAt = 0; // twips from the top of the page that the paper has been fed to
    QList<Placed> pending; // the texts of the line being gathered
    int pendingTop = 0, pendingBottom = 0, pendingEnd = 0;
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        for (const QList<Segment> &line : printedLines(std::move(pending), columns))
            out.line(line);
        pending.clear();
        paperAt = pendingBottom;
    };
    // Gaps of the layout (a top margin, a moved current position) become whole line feeds; a move
    // upwards has no equivalent on a roll and the next line simply follows.
    auto feedTo = [&](int top) {
        if (top - paperAt >= kLineFeedTwips)
            out.feed((top - paperAt) / kLineFeedTwips);
    };

    for (const PrintPage &page : document.pages) {
        flush();
        paperAt = 0;
        const QList<PrintItem> &items = page.items;
        for (qsizetype i = 0; i < items.size();) {
            const PrintItem &item = items[i];
            if (item.kind == PrintItemKind::Command) {
                if (item.command == DeviceCommand::Bell) {
                    flush();
                    out.buzzer();
                }
                ++i;
                continue;
            }
            if (item.kind == PrintItemKind::Text) {
                const Style style = styleOf(item.font, options);
                const int width = widthOf(item.text) * style.width;
                const Anchor anchor = anchorOf(item, columnTwips);
                int column = anchor.place(width, columns);
                const int top = item.rect.top();
                if (!pending.isEmpty() && top == pendingTop) {
                    // Two outputs on one line: the printer cannot overprint, so the later one
                    // follows the earlier instead of vanishing under it.
                    column = std::max(column, pendingEnd);
                } else {
                    flush();
                    feedTo(top);
                    pendingTop = top;
                    pendingBottom = top;
                }
                pending.append({ { column, item.text, style }, anchor, width });
                pendingEnd = column + width;
                pendingBottom = std::max(pendingBottom, top + std::max(item.lineHeight, item.rect.height()));
                ++i;
                continue;
            }
            // A table row: its cells side by side on as many printed lines as the longest needs.
            flush();
            feedTo(item.rect.top());
            qsizetype end = i;
            int rowBottom = item.rect.top();
            QList<const PrintItem *> cells;
            while (end < items.size() && items[end].kind == PrintItemKind::Cell
                && items[end].table == item.table && items[end].row == item.row) {
                cells.append(&items[end]);
                rowBottom = std::max(rowBottom, items[end].rect.top() + items[end].rect.height());
                ++end;
            }
            for (const QList<Segment> &line : tableRowLines(cells, columnTwips, columns, options))
                out.line(line);
            paperAt = rowBottom;
            i = end;
        }
    }
    flush();
    out.cut();
    return out.take();
}

bool EscPosSink::output(const PrintDocument &document, QString *error)
{
    const QByteArray bytes = EscPosRenderer::render(document, m_options);
    if (bytes.isEmpty())
        return true;
    if (!m_send) {
        if (error)
            *error = u"no receiver for the receipt printer's bytes"_s;
        return false;
    }
    return m_send(document.name, bytes, error);
}

} // namespace tavo::print
