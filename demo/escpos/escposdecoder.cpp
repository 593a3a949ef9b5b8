#include "demo/escpos/escposdecoder.h"

#include <QStringList>
#include <iconv.h>

using namespace Qt::StringLiterals;

namespace tavo::demo {

namespace {

QString big5ToText(const QByteArray &bytes)
{
    iconv_t cd = iconv_open("UTF-16LE", "CP950");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return u"?"_s.repeated(bytes.size() / 2);
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        char in[2] = { bytes[i], bytes[i + 1] };
        char16_t out[2] = {};
        char *inPtr = in, *outPtr = reinterpret_cast<char *>(out);
        size_t inLeft = 2, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1))
            text += u'?';
        else
            text += QStringView(out, qsizetype((sizeof out - outLeft) / 2));
    }
    iconv_close(cd);
    return text;
}

QString hex(int byte)
{
    return u"0x%1"_s.arg(byte & 0xff, 2, 16, QChar(u'0'));
}

class Decoder {
public:
    Decoder(const QByteArray &bytes, const EscPosPrinter &printer)
        : m_in(bytes)
        , m_printer(printer)
        , m_doubleByte(printer.startsInDoubleByte)
    {
    }

    EscPosJob run()
    {
        while (m_at < m_in.size()) {
            const unsigned char b = byte(m_at);
            if (b == 0x1b)
                escape();
            else if (b == 0x1d)
                group();
            else if (b == 0x1c)
                field();
            else if (b == 0x0a) {
                token(EscPosToken::Kind::LineFeed, 1, u"LF"_s, u"print the line and feed"_s);
                endLine();
            } else if (b == 0x07) {
                token(EscPosToken::Kind::Command, 1, u"BEL"_s, u"buzzer"_s);
                m_job.buzzers.append(int(m_job.lines.size()));
            } else if (b < 0x20)
                token(EscPosToken::Kind::Command, 1, u"<%1>"_s.arg(hex(b)), u"unknown control byte"_s);
            else
                text();
        }
        if (!m_line.text.isEmpty())
            m_job.lines.append(m_line); // left in the buffer: a printer prints it only on the next feed
        return m_job;
    }

private:
    unsigned char byte(qsizetype at) const { return at < m_in.size() ? uchar(m_in[at]) : 0; }

    void token(EscPosToken::Kind kind, qsizetype length, const QString &name, const QString &note)
    {
        length = std::min(length, m_in.size() - m_at);
        m_job.tokens.append({ kind, m_in.mid(m_at, length), name, note, false });
        m_at += length;
    }

    void endLine(bool overflow = false)
    {
        m_job.lines.append(m_line);
        m_line = {};
        m_line.overflow = overflow;
        m_lineDots = 0;
        m_inked = false;
    }

    // One character into the line buffer; a full buffer is printed first.
    void print(const QString &ch, bool doubleByte)
    {
        const int dots = doubleByte ? 24 * m_kanjiWidth : 12 * m_width;
        if (m_lineDots > 0 && m_lineDots + dots > m_printer.dots)
            endLine(true);
        m_lineDots += dots;
        m_line.text += ch;
        if (ch.trimmed().isEmpty())
            return;
        if (!m_inked)
            m_line.red = m_red;
        m_inked = true;
        m_line.bold |= m_bold;
        m_line.width = std::max(m_line.width, doubleByte ? m_kanjiWidth : m_width);
        m_line.height = std::max(m_line.height, doubleByte ? m_kanjiHeight : m_height);
    }

    void escape()
    {
        const unsigned char c = byte(m_at + 1);
        const int n = byte(m_at + 2);
        switch (c) {
        case '@':
            m_red = m_bold = false;
            m_doubleByte = m_printer.startsInDoubleByte;
            m_width = m_height = m_kanjiWidth = m_kanjiHeight = 1;
            return token(EscPosToken::Kind::Command, 2, u"ESC @"_s, u"initialise"_s);
        case 'E':
            m_bold = n & 1;
            return token(
                EscPosToken::Kind::Command, 3, u"ESC E %1"_s.arg(n), m_bold ? u"bold on"_s : u"bold off"_s);
        case 'r':
            if (m_lineDots > 0) {
                ++m_job.ignoredColours;
                return token(EscPosToken::Kind::Command, 3, u"ESC r %1"_s.arg(n),
                    u"ignored: printable data came before it on this line"_s);
            }
            m_red = n & 1;
            return token(EscPosToken::Kind::Command, 3, u"ESC r %1"_s.arg(n), m_red ? u"red"_s : u"black"_s);
        case 't':
            return token(
                EscPosToken::Kind::Command, 3, u"ESC t %1"_s.arg(n), u"single-byte page %1"_s.arg(n));
        case '!':
            m_bold = n & 0x08;
            m_width = n & 0x20 ? 2 : 1;
            m_height = n & 0x10 ? 2 : 1;
            return token(EscPosToken::Kind::Command, 3, u"ESC ! %1"_s.arg(hex(n)),
                u"print mode %1x%2%3"_s.arg(m_width).arg(m_height).arg(m_bold ? u", bold"_s : QString()));
        case 'B':
            m_job.buzzers.append(int(m_job.lines.size()));
            return token(
                EscPosToken::Kind::Command, 4, u"ESC B %1 %2"_s.arg(n).arg(byte(m_at + 3)), u"buzzer"_s);
        case 'd':
            return token(EscPosToken::Kind::Command, 3, u"ESC d %1"_s.arg(n), u"feed lines"_s);
        case 'J':
            return token(EscPosToken::Kind::Command, 3, u"ESC J %1"_s.arg(n), u"feed dots"_s);
        case '(': {
            const int length = byte(m_at + 3) | byte(m_at + 4) << 8;
            const int fn = byte(m_at + 5);
            const bool beep = byte(m_at + 2) == 'A';
            if (beep)
                m_job.buzzers.append(int(m_job.lines.size()));
            return token(EscPosToken::Kind::Command, 5 + length,
                u"ESC ( %1 fn %2"_s.arg(QChar(char16_t(byte(m_at + 2)))).arg(fn),
                beep ? u"buzzer"_s : QString());
        }
        default:
            return token(EscPosToken::Kind::Command, 2, u"ESC %1"_s.arg(hex(c)), u"unknown"_s);
        }
    }

    void group()
    {
        const unsigned char c = byte(m_at + 1);
        const int n = byte(m_at + 2);
        if (c == '!') {
            m_width = m_kanjiWidth = (n >> 4) + 1;
            m_height = m_kanjiHeight = (n & 0x0f) + 1;
            return token(EscPosToken::Kind::Command, 3, u"GS ! %1"_s.arg(hex(n)),
                u"size %1x%2"_s.arg(m_width).arg(m_height));
        }
        if (c == 'V') {
            const int m = n;
            const bool feeds = m == 65 || m == 66;
            ++m_job.cuts;
            if (!m_line.text.isEmpty())
                endLine();
            return token(EscPosToken::Kind::Command, feeds ? 4 : 3,
                feeds ? u"GS V %1 %2"_s.arg(m).arg(byte(m_at + 3)) : u"GS V %1"_s.arg(m),
                (m == 66 || m == 1 || m == 49) ? u"feed and partial cut"_s : u"feed and full cut"_s);
        }
        token(EscPosToken::Kind::Command, 2, u"GS %1"_s.arg(hex(c)), u"unknown"_s);
    }

    void field()
    {
        const unsigned char c = byte(m_at + 1);
        if (c == '&') {
            m_doubleByte = true;
            return token(EscPosToken::Kind::Command, 2, u"FS &"_s, u"double-byte (Big5) on"_s);
        }
        if (c == '.') {
            m_doubleByte = false;
            return token(EscPosToken::Kind::Command, 2, u"FS ."_s, u"double-byte off"_s);
        }
        if (c == '!') {
            const int n = byte(m_at + 2);
            m_kanjiWidth = n & 0x04 ? 2 : 1;
            m_kanjiHeight = n & 0x08 ? 2 : 1;
            return token(EscPosToken::Kind::Command, 3, u"FS ! %1"_s.arg(hex(n)),
                u"double-byte print mode %1x%2"_s.arg(m_kanjiWidth).arg(m_kanjiHeight));
        }
        token(EscPosToken::Kind::Command, 2, u"FS %1"_s.arg(hex(c)), u"unknown"_s);
    }

    void text()
    {
        const qsizetype start = m_at;
        while (m_at < m_in.size() && byte(m_at) >= 0x20) {
            if (m_doubleByte && byte(m_at) >= 0x80)
                m_at += 2;
            else
                ++m_at;
        }
        m_at = std::min(m_at, m_in.size());
        const QByteArray bytes = m_in.mid(start, m_at - start);
        QString decoded;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            QString ch;
            const bool pair = m_doubleByte && uchar(bytes[i]) >= 0x80 && i + 1 < bytes.size();
            if (pair)
                ch = big5ToText(bytes.mid(i++, 2));
            else
                ch = uchar(bytes[i]) < 0x80 ? QString(QChar(char16_t(uchar(bytes[i])))) : u"?"_s;
            decoded += ch;
            print(ch, pair);
        }
        m_job.tokens.append(
            { EscPosToken::Kind::Text, bytes, u"\"%1\""_s.arg(decoded), QString(), m_doubleByte });
    }

    const QByteArray &m_in;
    const EscPosPrinter m_printer;
    qsizetype m_at = 0;
    EscPosJob m_job;
    EscPosLine m_line;
    int m_lineDots = 0; // of the line buffer, spaces included: ESC r is honoured only at 0
    bool m_inked = false;
    bool m_red = false, m_bold = false, m_doubleByte = false;
    int m_width = 1, m_height = 1; // single-byte characters (ESC !, GS !)
    int m_kanjiWidth = 1, m_kanjiHeight = 1; // double-byte ones (FS !, GS !)
};

} // namespace

bool EscPosJob::startsWithInitialise() const
{
    return !tokens.isEmpty() && tokens.first().name == u"ESC @"_s;
}

bool EscPosJob::endsWithCut() const
{
    return !tokens.isEmpty() && tokens.last().name.startsWith(u"GS V"_s);
}

int EscPosJob::count(const QString &prefix) const
{
    int n = 0;
    for (const EscPosToken &t : tokens)
        n += t.kind != EscPosToken::Kind::Text && t.name.startsWith(prefix);
    return n;
}

QString EscPosJob::text() const
{
    QStringList out;
    for (const EscPosLine &line : lines) {
        QString l = line.text;
        while (l.endsWith(u' '))
            l.chop(1);
        out.append(l);
    }
    return out.join(u'\n');
}

QString EscPosJob::annotated() const
{
    constexpr int kPerLine = 12;
    QString out;
    for (const EscPosToken &t : tokens) {
        for (qsizetype at = 0; at < std::max<qsizetype>(1, t.bytes.size()); at += kPerLine) {
            QString bytes;
            for (qsizetype i = at; i < std::min(t.bytes.size(), at + kPerLine); ++i)
                bytes += u"%1 "_s.arg(uchar(t.bytes[i]), 2, 16, QChar(u'0'));
            out += bytes.leftJustified(3 * kPerLine + 1);
            if (at == 0) {
                out += t.name;
                if (!t.note.isEmpty())
                    out += u"  ("_s + t.note + u")"_s;
                if (t.doubleByte)
                    out += u"  [Big5]"_s;
            }
            out += u'\n';
        }
    }
    return out;
}

EscPosJob decodeEscPos(const QByteArray &bytes, const EscPosPrinter &printer)
{
    return Decoder(bytes, printer).run();
}

} // namespace tavo::demo
