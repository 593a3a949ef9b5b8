#include "platform/escposrenderer.h"

#include "platform/printsurface.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <cmath>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>

using namespace Qt::StringLiterals;

namespace tavo::platform {

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

quint16 big5Code(char32_t cp)
{
    return cp >= 0x80 && cp <= 0xFFFF ? big5()[cp] : 0;
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
template <typename Visit> void forEachCodePoint(const QString &text, Visit &&visit)
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

int widthOf(const QString &text)
{
    int columns = 0;
    forEachCodePoint(text, [&](char32_t cp) { columns += EscPosRenderer::columnsOf(cp); });
    return columns;
}

struct Style {
    int factor = 1;
    bool bold = false;
    bool red = false;
};

Style styleOf(const PrintFont &font, const EscPosOptions &options)
{
    int factor = EscPosRenderer::magnification(font.size);
    // ESC ! doubles at most; counting more would leave the columns short of where text lands.
    if (options.sizeCommand == EscPosSizeCommand::EscExclaim)
        factor = std::min(factor, 2);
    return { factor, font.bold, font.name.compare(kRedDeviceFont, Qt::CaseInsensitive) == 0 };
}

struct Segment {
    int column = 0; // in plain-font columns from the left edge
    QString text;
    Style style;
};

// Breaks a cell's text into lines that fit `room` plain columns at a magnification. Latin words
// stay whole where a space allows; Chinese breaks between any two characters.
QStringList wrapToColumns(const QString &text, int room, int factor)
{
    if (widthOf(text) * factor <= room)
        return { text };
    QStringList lines;
    QString line;
    int used = 0;
    qsizetype lastSpace = -1;
    forEachCodePoint(text, [&](char32_t cp) {
        const int w = EscPosRenderer::columnsOf(cp) * factor;
        if (used + w > room && !line.isEmpty()) {
            QString rest;
            if (lastSpace > 0 && cp != U' ') {
                rest = line.mid(lastSpace + 1);
                line.truncate(lastSpace);
            }
            lines.append(line);
            line = rest;
            used = widthOf(rest) * factor;
            lastSpace = -1;
            if (cp == U' ' && line.isEmpty())
                return; // a space at a break is not carried to the next line
        }
        if (cp == U' ')
            lastSpace = line.size();
        if (cp > 0xFFFF) {
            line += QChar::highSurrogate(cp);
            line += QChar::lowSurrogate(cp);
        } else {
            line += QChar(char16_t(cp));
        }
        used += w;
    });
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

class Writer {
public:
    explicit Writer(const EscPosOptions &options)
        : m_options(options)
        , m_columns(std::max(1, options.columns))
    {
        m_out.reserve(1024);
        m_out += kEsc;
        m_out += '@';
        if (options.codePage >= 0 && options.codePage <= 255) {
            m_out += kEsc;
            m_out += 't';
            m_out += char(options.codePage);
            m_page = &singleBytePage(options.codePage);
        }
    }

    // One printed line; a segment that runs past the paper goes on at the left of the next.
    void line(QList<Segment> segments)
    {
        std::stable_sort(segments.begin(), segments.end(),
            [](const Segment &a, const Segment &b) { return a.column < b.column; });
        m_column = 0;
        for (const Segment &s : segments) {
            const int f = s.style.factor;
            setSize(f);
            setBold(s.style.bold);
            if (s.style.red)
                command({ kEsc, 'r', 1 });
            const int pad = std::max(0, s.column - m_column) / f;
            for (int i = 0; i < pad; ++i)
                m_out += ' ';
            m_column += pad * f;
            forEachCodePoint(s.text, [&](char32_t cp) {
                const int w = EscPosRenderer::columnsOf(cp) * f;
                if (m_column + w > m_columns && m_column > 0) {
                    leaveDoubleByte();
                    m_out += kLf;
                    m_column = 0;
                }
                put(cp);
                m_column += w;
            });
            leaveDoubleByte();
            if (s.style.red)
                command({ kEsc, 'r', 0 });
        }
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

    QByteArray take() { return std::move(m_out); }

private:
    void command(std::initializer_list<char> bytes) { m_out.append(bytes.begin(), qsizetype(bytes.size())); }

    void setSize(int factor)
    {
        if (factor == m_factor)
            return;
        m_factor = factor;
        if (m_options.sizeCommand == EscPosSizeCommand::GsExclaim) {
            const int n = factor - 1;
            command({ kGs, '!', char(n << 4 | n) });
            return;
        }
        // ESC ! also sets emphasis, and only doubles Latin text; FS ! doubles the Chinese.
        const bool doubled = factor >= 2;
        command({ kEsc, '!', char((doubled ? 0x30 : 0) | (m_bold ? 0x08 : 0)) });
        command({ kFs, '!', char(doubled ? 0x0c : 0) });
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

    void put(char32_t cp)
    {
        if (cp < 0x20 || cp == 0x7f)
            cp = U' ';
        if (cp < 0x80) {
            leaveDoubleByte();
            m_out += char(cp);
            return;
        }
        if (const quint16 code = big5Code(cp)) {
            if (!m_doubleByte) {
                command({ kFs, '&' });
                m_doubleByte = true;
            }
            m_out += char(code >> 8);
            m_out += char(code & 0xff);
            return;
        }
        leaveDoubleByte();
        m_out += m_page ? m_page->value(cp, '?') : '?';
    }

    const EscPosOptions &m_options;
    const int m_columns;
    const QHash<char32_t, char> *m_page = nullptr;
    QByteArray m_out;
    int m_factor = 1, m_column = 0;
    bool m_bold = false, m_doubleByte = false;
};

// Where a placed line of text starts on the character grid: its alignment is kept by anchoring
// the side (or the middle) the layout aligned it to, since the printer's characters are wider or
// narrower than the measured font.
int startColumn(const PrintItem &item, int width, double columnTwips, int columns)
{
    const QRect r = item.rect;
    int start = int(std::lround(r.x() / columnTwips));
    if (item.align == PrintAlign::Right)
        start = int(std::lround((r.x() + r.width()) / columnTwips)) - width;
    else if (item.align == PrintAlign::Centre)
        start = int(std::lround((r.x() + r.width() / 2.0) / columnTwips)) - width / 2;
    if (item.align != PrintAlign::Left && start + width > columns)
        start = columns - width;
    return std::clamp(start, 0, columns - 1);
}

} // namespace

int EscPosRenderer::magnification(double points)
{
    // The plain font is about 9 points tall; each step of 9 points adds one magnification.
    return std::clamp(int(std::lround(points / 9.0)), 1, 8);
}

int EscPosRenderer::columnsOf(char32_t codePoint)
{
    return big5Code(codePoint) ? 2 : 1;
}

QByteArray EscPosRenderer::render(const PrintDocument &document, const EscPosOptions &options)
{
    if (document.isEmpty())
        return {};
    Writer out(options);
    const int columns = std::max(1, options.columns);
    const double columnTwips = std::max(1, document.paperSize.width()) / double(columns);

    int paperAt = 0; // twips from the top of the page that the paper has been fed to
    QList<Segment> pending; // the text line being gathered
    int pendingTop = 0, pendingBottom = 0, pendingEnd = 0;
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        out.line(std::move(pending));
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
                const int width = widthOf(item.text) * style.factor;
                int column = startColumn(item, width, columnTwips, columns);
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
                pending.append({ column, item.text, style });
                pendingEnd = column + width;
                pendingBottom = std::max(pendingBottom, top + std::max(item.lineHeight, item.rect.height()));
                ++i;
                continue;
            }
            // A table row: its cells side by side, each wrapped within its own column.
            flush();
            feedTo(item.rect.top());
            qsizetype end = i;
            int rowBottom = item.rect.top();
            struct CellLines {
                int start, room;
                PrintAlign align;
                Style style;
                QStringList lines;
            };
            QList<CellLines> cells;
            qsizetype most = 0;
            while (end < items.size() && items[end].kind == PrintItemKind::Cell
                && items[end].table == item.table && items[end].row == item.row) {
                const PrintItem &cell = items[end++];
                rowBottom = std::max(rowBottom, cell.rect.top() + cell.rect.height());
                const int start = std::clamp(int(std::lround(cell.rect.x() / columnTwips)), 0, columns - 1);
                const int stop = std::clamp(
                    int(std::lround((cell.rect.x() + cell.rect.width()) / columnTwips)), start + 1, columns);
                const Style style = styleOf(cell.font, options);
                QString text = cell.text;
                if (text.trimmed().isEmpty())
                    continue;
                CellLines c { start, stop - start, cell.align, style,
                    wrapToColumns(text, stop - start, style.factor) };
                most = std::max(most, c.lines.size());
                cells.append(std::move(c));
            }
            for (qsizetype l = 0; l < most; ++l) {
                QList<Segment> segments;
                for (const CellLines &c : cells) {
                    if (l >= c.lines.size())
                        continue;
                    const int width = widthOf(c.lines[l]) * c.style.factor;
                    int offset = 0;
                    if (c.align == PrintAlign::Right)
                        offset = c.room - width;
                    else if (c.align == PrintAlign::Centre)
                        offset = (c.room - width) / 2;
                    segments.append({ c.start + std::max(0, offset), c.lines[l], c.style });
                }
                out.line(std::move(segments));
            }
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

} // namespace tavo::platform
