#pragma once
// Where a printed text may go on to the next line, for every layout that wraps: the page
// surface's text and table cells, and the receipt printer's character lines. Chinese breaks
// between any two characters; Latin words, numbers ("2025/07/04", "(2300)", "1,234.5") and a
// count with its measure word ("2份") stay whole; a line neither starts with closing
// punctuation nor ends with opening punctuation; spaces at a break are dropped.
#include <QList>
#include <QString>
#include <QStringList>

namespace tavo::print {

// Where the first count of `text` ends ("2份": a number with the Chinese measure word after it),
// or -1 when it has none.
qsizetype countEnd(QStringView text);

// The pieces of `text` that no line may break, and the runs of spaces between them.
QList<QStringView> unbreakableRuns(QStringView text);

// The text in lines: the first at most `firstRoom` wide, the others at most `room`, each break
// between two runs, the spaces there dropped. A run wider than `room` on its own
// is cut where the room ends, the one place a word is broken. The first line is empty when
// nothing fits in `firstRoom` (less than `room`: the rest of a line already begun). `widthOf`
// measures a piece in the caller's units. `cutWord`, when given, tells whether a run was cut.
template <typename WidthOf>
QStringList wrapText(
    const QString &text, double firstRoom, double room, WidthOf &&widthOf, bool *cutWord = nullptr)
{
    if (cutWord)
        *cutWord = false;
    if (widthOf(QStringView(text)) <= firstRoom)
        return { text };
    QStringList lines { QString() };
    double used = 0, lineRoom = firstRoom;
    // The spaces between the last run placed and the next: a view of the text while they are
    // one stretch of it, which they nearly always are, copied only when they are not.
    QStringView spaces;
    QString spacesApart;
    bool indent = true; // spaces before the first run are the text's own indent, kept
    // The last space kept inside the current line: where the line is cut instead of between two
    // Chinese characters after it, when that leaves the line at least half full.
    qsizetype spaceAt = -1, afterSpace = 0;
    double usedBeforeSpace = 0;
    const auto newLine = [&] {
        lines.append(QString());
        used = 0;
        lineRoom = room;
        spaces = {};
        spaceAt = -1;
    };
    for (const QStringView run : unbreakableRuns(text)) {
        if (run.front().isSpace()) {
            if (spaces.isEmpty() || spaces.cend() == run.cbegin()) {
                spaces = QStringView(spaces.isEmpty() ? run.cbegin() : spaces.cbegin(), run.cend());
            } else {
                spacesApart = spaces.toString().append(run);
                spaces = spacesApart;
            }
            continue;
        }
        const double width = widthOf(run);
        const bool keepSpaces = !lines.last().isEmpty() || indent;
        indent = false;
        const double gap = keepSpaces ? widthOf(spaces) : 0;
        if (used + gap + width <= lineRoom) {
            if (keepSpaces && !spaces.isEmpty() && !lines.last().isEmpty()) {
                spaceAt = lines.last().size();
                afterSpace = spaceAt + spaces.size();
                usedBeforeSpace = used;
            }
            if (keepSpaces)
                lines.last() += spaces;
            lines.last() += run;
            used += gap + width;
            spaces = {};
            continue;
        }
        if (spaces.isEmpty() && spaceAt > 0 && usedBeforeSpace >= lineRoom / 2) {
            const QString tail = lines.last().mid(afterSpace);
            lines.last().truncate(spaceAt);
            newLine();
            lines.last() = tail;
            used = widthOf(QStringView(tail));
            if (used + width <= lineRoom) {
                lines.last() += run;
                used += width;
                continue;
            }
        }
        if (!lines.last().isEmpty() || lineRoom < room)
            newLine();
        if (width <= room) {
            lines.last() = run.toString();
            used = width;
            continue;
        }
        // Wider than any line: cut character by character, the last piece left open.
        if (cutWord)
            *cutWord = true;
        for (qsizetype i = 0; i < run.size();) {
            const qsizetype step = run[i].isHighSurrogate() && i + 1 < run.size() ? 2 : 1;
            const QStringView ch = run.mid(i, step);
            const double w = widthOf(ch);
            if (used + w > lineRoom && !lines.last().isEmpty())
                newLine();
            lines.last() += ch;
            used += w;
            i += step;
        }
    }
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace tavo::print
