#include "util/text.h"

#include "platform/codepage.h"

using namespace Qt::StringLiterals;

namespace tavo {

QString AddPathSep(const QString &path, const QString &separator)
{
    if (path.isEmpty() || path.endsWith(separator))
        return path;
    return path + separator;
}

QString FixWidthB(const QString &text, int width)
{
    if (width <= 0)
        return {};
    // The original characters are kept (not the code page's "?" for those it lacks), so a ticket
    // drawn in a Unicode font still shows them; only their byte count follows the code page.
    QString out;
    out.reserve(width);
    qsizetype used = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const qsizetype len
            = (text[i].isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) ? 2 : 1;
        const QStringView ch = QStringView(text).sliced(i, len);
        const char32_t codePoint = len == 2 ? QChar::surrogateToUcs4(ch[0], ch[1]) : ch[0].unicode();
        const qsizetype bytes = platform::CodePage::charWidth(codePoint);
        if (used + bytes > width)
            break;
        out += ch;
        used += bytes;
        i += len;
    }
    out += QString(width - used, u' ');
    return out;
}

} // namespace tavo
