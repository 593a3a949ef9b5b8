#pragma once
// The ANSI code page of the sites: the INI file, both log files and the byte widths of ticket
// columns are in it (CP950, Big5, unless a test or a site chooses another). The conversions
// never throw and never lose the rest of a text: what the code page cannot hold becomes "?".
#include <QByteArray>
#include <QString>

namespace tavo::platform {

class CodePage {
public:
    // The iconv name of the code page in use, "CP950" by default.
    static QByteArray name();
    // Chooses another code page (an iconv name such as "CP950", "CP936" or "UTF-8"); an empty
    // name restores the default.
    static void setName(const QByteArray &iconvName);

    static QByteArray toAnsi(const QString &text);
    static QString fromAnsi(const QByteArray &bytes);

    // Whether a byte starts a double-byte character in the code page in use.
    static bool isLeadByte(unsigned char byte);
    // The longest head of `bytes` of at most `maxBytes` bytes that does not split a character.
    static QByteArray cutBytes(const QByteArray &bytes, qsizetype maxBytes);
    // The width of a text in bytes of the code page in use.
    static qsizetype byteWidth(const QString &text);
    // The bytes one character takes (1 for those the code page lacks: they become "?").
    static int charWidth(char32_t codePoint);
};

inline QByteArray toAnsi(const QString &text)
{
    return CodePage::toAnsi(text);
}
inline QString fromAnsi(const QByteArray &bytes)
{
    return CodePage::fromAnsi(bytes);
}

} // namespace tavo::platform
