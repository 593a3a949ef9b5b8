#include "print/linebreak.h"

#include <algorithm>
#include <string_view>

namespace tavo::print {

namespace {

// A set of marks asked about for every character of a text: ASCII is answered from a bit each,
// and a character that shares no high byte with any mark (all of Chinese) without searching.
class Marks {
public:
    constexpr explicit Marks(std::u16string_view marks)
        : m_marks(marks)
    {
        for (const char16_t m : marks) {
            if (m < 128)
                m_ascii[m >> 6] |= quint64(1) << (m & 63);
            else
                m_rows[m >> 14] |= quint64(1) << (m >> 8 & 63);
        }
    }

    constexpr bool contains(QChar c) const
    {
        const char16_t u = c.unicode();
        if (u < 128)
            return m_ascii[u >> 6] >> (u & 63) & 1;
        return (m_rows[u >> 14] >> (u >> 8 & 63) & 1) && m_marks.find(u) != m_marks.npos;
    }

    constexpr size_t indexOf(QChar c) const { return contains(c) ? m_marks.find(c.unicode()) : m_marks.npos; }
    constexpr char16_t operator[](size_t i) const { return m_marks[i]; }

private:
    std::u16string_view m_marks;
    quint64 m_ascii[2] {}, m_rows[4] {};
};

// The brackets that group a few words, each closing mark at its opening mark's place.
constexpr Marks kOpenBrackets { u"([<（【「" }, kCloseBrackets { u")]>）】」" };

// Never ends a line; "/" leads an add-on ("/白飯") and "*" binds a count ("*2") both ways.
bool opens(QChar c)
{
    static constexpr Marks marks { u"([{<（「『【《〈‘“/*$#" };
    return marks.contains(c);
}

// Never starts a line.
bool closes(QChar c)
{
    static constexpr Marks marks { u")]}>,.:;!?%-*~、。，：；！？）」』】》〉’”" };
    return marks.contains(c);
}

bool wide(QChar c)
{
    const char16_t u = c.unicode();
    return c.isSurrogate() || (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF)
        || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F)
        || (u >= 0xFF00 && u <= 0xFF60) || (u >= 0xFFE0 && u <= 0xFFE6);
}

// A letter or digit of a Latin word or a number.
bool wordChar(QChar c)
{
    return !wide(c) && c.isLetterOrNumber();
}

// A number right before a Chinese character is a count with its measure word ("2份", "3人").
bool countAt(QStringView text, qsizetype at)
{
    qsizetype i = at;
    while (i < text.size() && (text[i].isDigit() || text[i] == u'.'))
        ++i;
    return i > at && i < text.size() && wide(text[i]);
}

// A short group in brackets ("[招待]", "(380)", "<不辣>") reads as one word.
bool insideShortBrackets(QStringView text, qsizetype at)
{
    constexpr qsizetype kLongest = 10;
    for (qsizetype i = at - 1; i >= 0 && at - i < kLongest; --i) {
        if (kCloseBrackets.contains(text[i]))
            return false;
        const size_t kind = kOpenBrackets.indexOf(text[i]);
        if (kind == std::u16string_view::npos)
            continue;
        for (qsizetype j = at; j < text.size() && j - i < kLongest; ++j) {
            if (text[j].unicode() == kCloseBrackets[kind])
                return true;
            if (kOpenBrackets.contains(text[j]))
                return false;
        }
        return false;
    }
    return false;
}

bool hasBrackets(QStringView text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return kOpenBrackets.contains(c); });
}

// Whether a line may end before text[at]; `brackets` tells whether the text holds an opening
// bracket at all.
bool breakBefore(QStringView text, qsizetype at, bool brackets)
{
    if (at <= 0 || at >= text.size())
        return false;
    const QChar a = text[at - 1], b = text[at];
    if (b.isLowSurrogate() || b.isSpace() || closes(b))
        return false;
    if (a.isSpace())
        return !countAt(text, at);
    if (opens(a) || (a.isDigit() && wide(b)))
        return false;
    const auto unlessInBrackets = [&] { return !brackets || !insideShortBrackets(text, at); };
    if (wide(a) || wide(b))
        return unlessInBrackets();
    if (wordChar(a) && wordChar(b))
        return false;
    // Punctuation between two letters or digits joins them: "2025/07/04", "Joe's", "12:30".
    if (!wordChar(a) && at >= 2 && wordChar(text[at - 2]) && wordChar(b))
        return false;
    if (wordChar(a) && at + 1 < text.size() && wordChar(text[at + 1]))
        return false;
    // A word keeps the punctuation after it, unless that opens what follows.
    return (!wordChar(a) || opens(b)) && unlessInBrackets();
}

} // namespace

qsizetype countEnd(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if ((i == 0 || !wordChar(text[i - 1])) && countAt(text, i)) {
            while (!wide(text[i]))
                ++i;
            return i + 1;
        }
    }
    return -1;
}

QList<QStringView> unbreakableRuns(QStringView text)
{
    // Spaces before a count stay inside the word before them: "大 2份" is one run.
    const auto spacesBeforeCount = [&](qsizetype i) {
        while (i < text.size() && text[i].isSpace())
            ++i;
        return countAt(text, i);
    };
    const bool brackets = hasBrackets(text);
    QList<QStringView> runs;
    runs.reserve(text.size()); // at most a run a character, and not grown run by run
    qsizetype start = 0;
    for (qsizetype i = 1; i <= text.size(); ++i) {
        bool end = i == text.size();
        if (!end && text[i].isSpace())
            end = !text[i - 1].isSpace() && !spacesBeforeCount(i);
        else if (!end)
            end = text[i - 1].isSpace() ? text[start].isSpace() : breakBefore(text, i, brackets);
        if (end) {
            runs.append(text.mid(start, i - start));
            start = i;
        }
    }
    return runs;
}

} // namespace tavo::print
