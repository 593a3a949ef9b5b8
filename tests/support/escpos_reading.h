#pragma once
// Reading a decoded receipt job as the kitchen reads the paper: which lines run past the printer's
// columns, and which wanted rows no printed line holds whole.
#include "demo/escpos/escposdecoder.h"
#include "print/escposrenderer.h"

#include <QRegularExpression>
#include <QStringList>

namespace tavo::test {

// The printed lines that need more than `columns` characters of the plain font.
inline QStringList linesWiderThan(const demo::EscPosJob &job, int columns)
{
    QStringList wide;
    for (const demo::EscPosLine &line : job.lines) {
        int used = 0;
        for (const char32_t cp : line.text.trimmed().toUcs4())
            used += print::EscPosRenderer::columnsOf(cp) * line.width;
        if (used > columns)
            wide << line.text;
    }
    return wide;
}

// The patterns (regular expressions for one whole line, spaces around allowed) no line matches.
inline QStringList rowsNotWhole(const demo::EscPosJob &job, const QStringList &rows)
{
    QStringList missing;
    for (const QString &whole : rows) {
        const QRegularExpression row(QStringLiteral("^ *") + whole + QStringLiteral(" *$"));
        if (std::none_of(job.lines.cbegin(), job.lines.cend(),
                [&](const demo::EscPosLine &line) { return row.match(line.text).hasMatch(); }))
            missing << whole;
    }
    return missing;
}

} // namespace tavo::test
