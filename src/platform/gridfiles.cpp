#include "platform/gridfiles.h"

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/gridmodel.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {
constexpr qint64 kFileNotFound = 53;
constexpr qint64 kPathFileAccess = 75;

// A cell text that stays one cell of one line in a tab-separated file.
QString flatCell(const QString &cell)
{
    if (!cell.contains(u'\t') && !cell.contains(u'\n') && !cell.contains(u'\r'))
        return cell;
    QString flat = cell;
    for (QChar &c : flat) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return flat;
}

QString csvField(const QString &cell)
{
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\n') && !cell.contains(u'\r'))
        return cell;
    QString quoted = cell;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}
} // namespace

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw TavoError(kPathFileAccess, u"Path/File access error: %1: %2"_s.arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw TavoError(kPathFileAccess, u"Path/File access error: %1: %2"_s.arg(path, reason));
    }
}

namespace {
// Rows from `firstRow` on, one line each (CR LF), fields made by `field` and joined by `separator`.
template <typename Field>
QByteArray ansiLines(const GridModel &grid, int firstRow, QChar separator, Field &&field)
{
    QString text;
    for (int r = firstRow; r < grid.Rows(); ++r) {
        const QStringList &row = grid.rowCells(r);
        for (int c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += separator;
            text += field(row[c]);
        }
        text += u"\r\n"_s;
    }
    return CodePage::toAnsi(text);
}
} // namespace

void saveTabText(const GridModel &grid, const QString &path, bool withHeader)
{
    writeAtomically(path, ansiLines(grid, withHeader ? 0 : grid.FixedRows(), u'\t', flatCell));
}

void saveCsv(const GridModel &grid, const QString &path)
{
    writeAtomically(path, ansiLines(grid, 0, u',', csvField));
}

std::vector<QStringList> parseCsv(const QString &text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    const qsizetype n = text.size();
    auto endField = [&] {
        row.append(field);
        field.clear();
        fieldStarted = false;
    };
    auto endRow = [&] {
        endField();
        rows.push_back(row);
        row.clear();
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == u',') {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRow();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    // A last line without its line end still counts; a quote left open takes the rest.
    if (fieldStarted || !field.isEmpty() || !row.isEmpty())
        endRow();
    return rows;
}

void loadCsv(GridModel &grid, const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw TavoError(kFileNotFound, u"File not found: %1"_s.arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw TavoError(kPathFileAccess, u"Path/File access error: %1: %2"_s.arg(path, file.errorString()));
    std::vector<QStringList> rows = parseCsv(CodePage::fromAnsi(file.readAll()));
    int cols = 0;
    for (const QStringList &row : rows)
        cols = std::max(cols, int(row.size()));
    grid.replaceAll(std::move(rows), cols);
}

} // namespace tavo::platform
