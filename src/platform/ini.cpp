#include "platform/ini.h"

#include "platform/codepage.h"

#include <QFile>
#include <QStringDecoder>

namespace tavo::platform {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

// Names compare as the profile reader compares them: in the code page, without regard to case.
bool sameName(const QByteArray &stored, const QString &wanted)
{
    return fromAnsi(stored).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

// Files saved by a Unicode editor carry a byte-order mark; their text is brought to the code
// page first, so the limits are counted as for any other file.
QByteArray toCodePage(const QByteArray &content)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        return toAnsi(QString::fromUtf8(content.mid(3)));
    if (content.startsWith("\xFF\xFE")) {
        QStringDecoder decode(QStringDecoder::Utf16LE);
        return toAnsi(decode(content.mid(2)));
    }
    if (content.startsWith("\xFE\xFF")) {
        QStringDecoder decode(QStringDecoder::Utf16BE);
        return toAnsi(decode(content.mid(2)));
    }
    return content;
}

} // namespace

QString iniValue(const QByteArray &rawContent, const QString &section, const QString &key)
{
    const QByteArray content = toCodePage(rawContent);
    bool inSection = false;
    qsizetype pos = 0;
    while (pos < content.size()) {
        qsizetype eol = content.indexOf('\n', pos);
        if (eol < 0)
            eol = content.size();
        QByteArrayView line(content.constData() + pos, eol - pos);
        pos = eol + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray text = trimmedBlanks(line);
        if (text.isEmpty() || text.startsWith(';'))
            continue;
        if (text.startsWith('[')) {
            qsizetype close = text.indexOf(']');
            if (close < 0)
                close = text.size();
            const bool matches = sameName(trimmedBlanks(QByteArrayView(text).sliced(1, close - 1)), section);
            if (inSection && !matches)
                return {}; // the first section of that name is the one read
            inSection = matches;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = text.indexOf('=');
        const QByteArray name = trimmedBlanks(QByteArrayView(text).first(eq < 0 ? text.size() : eq));
        if (!sameName(name, key))
            continue;
        if (eq < 0)
            return {};
        QByteArray value = trimmedBlanks(QByteArrayView(text).sliced(eq + 1));
        // One pair of enclosing quotes is not part of the value.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        const qsizetype nul = value.indexOf('\0');
        if (nul >= 0)
            value.truncate(nul);
        return fromAnsi(CodePage::cutBytes(value, kIniValueBytes));
    }
    return {};
}

QString GetINI(const QString &path, const QString &section, const QString &key)
{
    try {
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return {};
        return iniValue(file.readAll(), section, key);
    } catch (...) {
        return {};
    }
}

} // namespace tavo::platform
