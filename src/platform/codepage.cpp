#include "platform/codepage.h"

#include <QHash>

#include <cerrno>
#include <iconv.h>

namespace tavo::platform {

namespace {

const QByteArray kDefaultName = QByteArrayLiteral("CP950");

QByteArray &currentName()
{
    static QByteArray name = kDefaultName;
    return name;
}

enum class Family { SingleByte, DoubleByte, Utf8 };

Family familyOf(const QByteArray &name)
{
    const QByteArray n = name.toUpper();
    if (n == "UTF-8" || n == "UTF8")
        return Family::Utf8;
    static const char *const doubleByte[] = { "CP950", "BIG5", "BIG5-HKSCS", "BIG5HKSCS", "CN-BIG5", "CP936",
        "GBK", "CP932", "SHIFT_JIS", "SJIS", "CP949", "UHC", "EUC-KR", "GB2312", "EUC-CN" };
    for (const char *candidate : doubleByte) {
        if (n == candidate)
            return Family::DoubleByte;
    }
    return Family::SingleByte;
}

// One converter per direction and code page, opened on first use: a ticket converts dozens of
// short texts, and opening iconv for each would cost more than the conversions themselves.
class Converter {
public:
    Converter(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    {
    }
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts `in`; an input sequence that cannot be converted (or is cut off) becomes `replacement`
    // in the output and the conversion goes on after it. `stepOf` tells how many input bytes the
    // bad sequence at a position occupies.
    template <typename Step>
    QByteArray run(const QByteArray &in, const QByteArray &replacement, Step stepOf) const
    {
        QByteArray out;
        out.resize(in.size() * 2 + 16);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *src = const_cast<char *>(in.constData());
        size_t srcLeft = size_t(in.size());
        char *dst = out.data();
        size_t dstLeft = size_t(out.size());
        while (srcLeft > 0) {
            const size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            if (rc != size_t(-1))
                break;
            if (errno == E2BIG) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2 + 16);
                dst = out.data() + used;
                dstLeft = size_t(out.size() - used);
                continue;
            }
            // EILSEQ or EINVAL: replace the offending sequence and go on.
            const qsizetype step
                = qMax<qsizetype>(1, qMin<qsizetype>(stepOf(src, srcLeft), qsizetype(srcLeft)));
            if (dstLeft < size_t(replacement.size())) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2 + 16);
                dst = out.data() + used;
                dstLeft = size_t(out.size() - used);
            }
            memcpy(dst, replacement.constData(), size_t(replacement.size()));
            dst += replacement.size();
            dstLeft -= size_t(replacement.size());
            src += step;
            srcLeft -= size_t(step);
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(dst - out.data());
        return out;
    }

private:
    iconv_t m_cd;
};

struct Converters {
    QByteArray name;
    std::unique_ptr<Converter> toAnsi;
    std::unique_ptr<Converter> fromAnsi;
};

Converters &converters()
{
    thread_local Converters c;
    if (c.name != currentName()) {
        c.name = currentName();
        c.toAnsi = std::make_unique<Converter>(c.name.constData(), "UTF-8");
        c.fromAnsi = std::make_unique<Converter>("UTF-8", c.name.constData());
    }
    return c;
}

qsizetype utf8SequenceLength(const char *p, size_t left)
{
    const auto lead = static_cast<unsigned char>(*p);
    qsizetype n = 1;
    if (lead >= 0xF0)
        n = 4;
    else if (lead >= 0xE0)
        n = 3;
    else if (lead >= 0xC0)
        n = 2;
    return qMin<qsizetype>(n, qsizetype(left));
}

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isAscii(const QByteArray &bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool asciiCompatible()
{
    const QByteArray n = currentName().toUpper();
    return !n.startsWith("UTF-16") && !n.startsWith("UTF-32") && !n.startsWith("UCS");
}

} // namespace

QByteArray CodePage::name()
{
    return currentName();
}

void CodePage::setName(const QByteArray &iconvName)
{
    currentName() = iconvName.isEmpty() ? kDefaultName : iconvName;
}

QByteArray CodePage::toAnsi(const QString &text)
{
    if (asciiCompatible() && isAscii(text))
        return text.toLatin1();
    Converters &c = converters();
    if (!c.toAnsi->valid())
        return text.toLocal8Bit(); // an unknown code page name: better some text than none
    return c.toAnsi->run(text.toUtf8(), QByteArrayLiteral("?"), utf8SequenceLength);
}

QString CodePage::fromAnsi(const QByteArray &bytes)
{
    if (asciiCompatible() && isAscii(bytes))
        return QString::fromLatin1(bytes);
    Converters &c = converters();
    if (!c.fromAnsi->valid())
        return QString::fromLocal8Bit(bytes);
    const Family family = familyOf(currentName());
    // A bad lead byte swallows its trail byte only when the pair looks like a character; a stray
    // byte alone must not take the following ASCII character with it.
    const auto step = [family](const char *p, size_t left) -> qsizetype {
        if (family == Family::DoubleByte && left >= 2 && isLeadByte(static_cast<unsigned char>(p[0]))
            && static_cast<unsigned char>(p[1]) >= 0x40)
            return 2;
        return 1;
    };
    return QString::fromUtf8(c.fromAnsi->run(bytes, QByteArrayLiteral("?"), step));
}

bool CodePage::isLeadByte(unsigned char byte)
{
    switch (familyOf(currentName())) {
    case Family::DoubleByte:
        return byte >= 0x81 && byte <= 0xFE;
    case Family::Utf8:
        return byte >= 0xC0;
    case Family::SingleByte:
        break;
    }
    return false;
}

QByteArray CodePage::cutBytes(const QByteArray &bytes, qsizetype maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (bytes.size() <= maxBytes)
        return bytes;
    const Family family = familyOf(currentName());
    if (family == Family::SingleByte)
        return bytes.left(maxBytes);
    if (family == Family::Utf8) {
        qsizetype end = maxBytes;
        // Step back over continuation bytes to the start of the character the cut falls in.
        qsizetype start = end;
        while (start > 0 && (static_cast<unsigned char>(bytes[start]) & 0xC0) == 0x80)
            --start;
        return bytes.left(start);
    }
    qsizetype i = 0;
    while (i < maxBytes) {
        const qsizetype width = isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (i + width > maxBytes)
            break;
        i += width;
    }
    return bytes.left(i);
}

qsizetype CodePage::byteWidth(const QString &text)
{
    return toAnsi(text).size();
}

int CodePage::charWidth(char32_t codePoint)
{
    if (codePoint < 0x80 && asciiCompatible())
        return 1;
    // Tickets measure the same few hundred characters over and over.
    thread_local QByteArray cachedFor;
    thread_local QHash<char32_t, int> widths;
    if (cachedFor != currentName()) {
        cachedFor = currentName();
        widths.clear();
    }
    const auto it = widths.constFind(codePoint);
    if (it != widths.constEnd())
        return it.value();
    const int width = int(toAnsi(QString::fromUcs4(&codePoint, 1)).size());
    widths.insert(codePoint, width);
    return width;
}

} // namespace tavo::platform
