#include "platform/gridmodel.h"

#include "platform/errors.h"

#include <algorithm>
#include <set>

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {
// Basic's run-time error number, so the forms' traps log what the operator's tools expect.
constexpr qint64 kSubscriptOutOfRange = 381;

Qt::Alignment alignmentMark(QString &caption)
{
    Qt::Alignment alignment;
    if (caption.startsWith(u'<'))
        alignment = Qt::AlignLeft;
    else if (caption.startsWith(u'^'))
        alignment = Qt::AlignHCenter;
    else if (caption.startsWith(u'>'))
        alignment = Qt::AlignRight;
    if (alignment)
        caption.remove(0, 1);
    return alignment;
}
} // namespace

GridModel::GridModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_selection(new QItemSelectionModel(this, this))
{
    resizeRows(1);
    connect(m_selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (m_movingCursor || !current.isValid())
            return;
        m_row = current.row() + m_fixed;
        m_col = current.column();
        emit rowColChanged();
    });
}

GridModel::~GridModel() = default;

// ---- The table as views see it

int GridModel::dataRows() const
{
    return std::max(0, int(m_rows.size()) - m_fixed);
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : (m_redraw ? dataRows() : m_shown);
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const size_t row = size_t(index.row() + m_fixed);
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (row >= m_rows.size() || index.column() >= m_rows[row].size())
            return QString();
        return m_rows[row][index.column()];
    }
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment alignment = columnAlignment(index.column());
        if (alignment)
            return QVariant::fromValue(alignment | Qt::AlignVCenter);
    }
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (m_fixed > 0 && section >= 0 && section < m_rows[0].size())
            return m_rows[0][section];
        return {};
    }
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + m_fixed;
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !m_editable)
        return false;
    const int row = index.row() + m_fixed;
    const QString text = value.toString();
    if (validateEdit && !validateEdit(row, index.column(), text))
        return false;
    setTextMatrix(row, index.column(), text);
    emit afterEdit(row, index.column());
    return true;
}

// ---- Cells

void GridModel::checkCell(int row, int col) const
{
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        throw TavoError(kSubscriptOutOfRange, u"Subscript out of range (row %1, col %2)"_s.arg(row).arg(col));
}

void GridModel::cellsChanged(int fromRow)
{
    m_unchangedRows = std::min(m_unchangedRows, fromRow);
}

QString GridModel::TextMatrix(int row, int col) const
{
    checkCell(row, col);
    return m_rows[size_t(row)][col];
}

const QStringList &GridModel::rowCells(int row) const
{
    return m_rows.at(size_t(row));
}

void GridModel::setTextMatrix(int row, int col, const QString &text)
{
    checkCell(row, col);
    cellsChanged(row);
    m_rows[size_t(row)][col] = text;
    if (row < m_fixed) {
        if (!m_redraw)
            m_dataDirty = true;
        else
            emit headerDataChanged(Qt::Horizontal, col, col);
        return;
    }
    const int r = row - m_fixed;
    if (!m_redraw) {
        if (r < m_shown)
            m_dataDirty = true;
    } else {
        emit dataChanged(index(r, col), index(r, col));
    }
}

int GridModel::Rows() const
{
    return int(m_rows.size());
}

void GridModel::setRows(int rows)
{
    cellsChanged(rows);
    const int before = Row();
    resizeRows(rows);
    if (Row() != before)
        cursorMoved();
}

int GridModel::Cols() const
{
    return m_cols;
}

void GridModel::setCols(int cols)
{
    resizeCols(cols);
    cellsChanged(0);
}

int GridModel::FixedRows() const
{
    return m_fixed;
}

void GridModel::setFixedRows(int fixedRows)
{
    const int n = std::clamp(std::clamp(fixedRows, 0, 1), 0, Rows());
    if (n != m_fixed) {
        beginResetModel();
        m_fixed = n;
        m_shown = dataRows();
        m_resetPending = false;
        endResetModel();
    }
    cellsChanged(0);
    emit fixedRowsChanged(m_fixed);
    cursorMoved();
}

void GridModel::insertRowAt(int absRow, QStringList cells)
{
    cells.resize(m_cols);
    const bool atEnd = absRow >= int(m_rows.size());
    if (!m_redraw) {
        m_rows.insert(m_rows.begin() + std::min<size_t>(size_t(absRow), m_rows.size()), std::move(cells));
        if (!atEnd || absRow < m_fixed)
            m_resetPending = true;
        return;
    }
    if (absRow < m_fixed) {
        beginResetModel();
        m_rows.insert(m_rows.begin() + absRow, std::move(cells));
        endResetModel();
        return;
    }
    const int r = std::min(absRow, int(m_rows.size())) - m_fixed;
    beginInsertRows({}, r, r);
    m_rows.insert(m_rows.begin() + r + m_fixed, std::move(cells));
    endInsertRows();
}

void GridModel::resizeRows(int n)
{
    n = std::max(0, n);
    const int have = int(m_rows.size());
    if (n == have)
        return;
    auto apply = [&] {
        m_rows.resize(size_t(n));
        for (int i = have; i < n; ++i)
            m_rows[size_t(i)] = QStringList(m_cols);
        if (m_fixed > n)
            m_fixed = n;
    };
    if (!m_redraw) {
        apply();
        if (n < have)
            m_resetPending = true;
        return;
    }
    if (n < m_fixed || have < m_fixed) {
        beginResetModel();
        apply();
        endResetModel();
    } else if (n > have) {
        beginInsertRows({}, have - m_fixed, n - m_fixed - 1);
        apply();
        endInsertRows();
    } else {
        beginRemoveRows({}, n - m_fixed, have - m_fixed - 1);
        apply();
        endRemoveRows();
    }
}

void GridModel::resizeCols(int n)
{
    n = std::max(0, n);
    if (n == m_cols)
        return;
    // Columns change at set-up only: views hear of it at once, even while rows are deferred.
    const bool grow = n > m_cols;
    if (grow)
        beginInsertColumns({}, m_cols, n - 1);
    else
        beginRemoveColumns({}, n, m_cols - 1);
    for (QStringList &row : m_rows)
        row.resize(n);
    m_cols = n;
    m_align.resize(size_t(n));
    m_hidden.resize(size_t(n));
    if (grow)
        endInsertColumns();
    else
        endRemoveColumns();
}

void GridModel::eraseRow(int absRow)
{
    if (!m_redraw) {
        m_rows.erase(m_rows.begin() + absRow);
        if (absRow < m_fixed)
            --m_fixed;
        m_resetPending = true;
    } else if (absRow < m_fixed) {
        beginResetModel();
        m_rows.erase(m_rows.begin() + absRow);
        --m_fixed;
        endResetModel();
    } else {
        beginRemoveRows({}, absRow - m_fixed, absRow - m_fixed);
        m_rows.erase(m_rows.begin() + absRow);
        endRemoveRows();
    }
}

void GridModel::setFormatString(const QString &format)
{
    QStringList captions = format.split(u'|');
    if (captions.size() > 1 && captions.last().isEmpty())
        captions.removeLast();
    if (Rows() < 1)
        setRows(1);
    setCols(int(captions.size()));
    for (int c = 0; c < captions.size(); ++c) {
        QString caption = captions[c];
        m_align[size_t(c)] = alignmentMark(caption);
        setTextMatrix(0, c, caption);
    }
}

void GridModel::setColumns(std::span<const GridColumn> columns)
{
    QStringList captions;
    for (const GridColumn &column : columns)
        captions.append(QString::fromUtf16(column.caption));
    setFormatString(captions.join(u'|'));
    for (size_t c = 0; c < columns.size(); ++c)
        setColHidden(int(c), columns[c].hidden);
}

Qt::Alignment GridModel::columnAlignment(int col) const
{
    return col >= 0 && size_t(col) < m_align.size() ? m_align[size_t(col)] : Qt::Alignment();
}

void GridModel::addItem(const QString &tabText, int index)
{
    if (index >= 0 && index < Rows()) {
        cellsChanged(index);
        insertRowAt(index, tabText.split(u'\t'));
    } else {
        addRow(tabText.split(u'\t'));
    }
}

void GridModel::addRow(const QStringList &cells)
{
    insertRowAt(Rows(), cells);
}

void GridModel::removeItem(int row)
{
    checkCell(row, 0);
    cellsChanged(0);
    eraseRow(row);
    emit fixedRowsChanged(m_fixed);
}

void GridModel::replaceAll(std::vector<QStringList> rows, int cols)
{
    while (int(rows.size()) < m_fixed)
        rows.emplace_back();
    for (QStringList &row : rows)
        row.resize(cols);
    beginResetModel();
    m_rows = std::move(rows);
    m_cols = cols;
    m_align.resize(size_t(cols));
    m_hidden.resize(size_t(cols));
    m_shown = dataRows();
    m_resetPending = false;
    endResetModel();
    m_row = std::min(m_row, Rows() - 1);
    cellsChanged(0);
    cursorMoved();
}

// ---- Cursor and selection

int GridModel::Row() const
{
    return std::min(m_row, Rows() - 1);
}

void GridModel::setRow(int row)
{
    if (row < 0 || row >= Rows())
        throw TavoError(kSubscriptOutOfRange, u"Invalid Row value %1"_s.arg(row));
    m_row = row;
    cursorMoved();
    emit rowColChanged();
}

int GridModel::Col() const
{
    return std::min(m_col, Cols() - 1);
}

void GridModel::setCol(int col)
{
    if (col < 0 || col >= Cols())
        throw TavoError(kSubscriptOutOfRange, u"Invalid Col value %1"_s.arg(col));
    m_col = col;
    cursorMoved();
    emit rowColChanged();
}

// The cursor was placed by the program (or lost its row): the selection follows, now or when
// redraw comes back. Only then: a scan appending rows must not undo the operator's selection.
void GridModel::cursorMoved()
{
    m_cursorDirty = true;
    if (m_redraw)
        syncCursorToSelection();
}

// Puts the current cell and the selection on the cursor row, as selecting a row collapses the
// selection to it in the forms' grids.
void GridModel::syncCursorToSelection()
{
    m_cursorDirty = false;
    m_movingCursor = true;
    const int r = Row() - m_fixed;
    if (r >= 0 && r < rowCount() && Cols() > 0) {
        m_selection->setCurrentIndex(
            index(r, std::max(0, Col())), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        m_selection->clearSelection();
        m_selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    m_movingCursor = false;
}

std::vector<int> GridModel::selectedRows() const
{
    std::set<int> rows;
    for (const QItemSelectionRange &range : m_selection->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.insert(r + m_fixed);
    }
    if (rows.empty() && Row() >= m_fixed)
        rows.insert(Row());
    return { rows.begin(), rows.end() };
}

int GridModel::SelectedRows() const
{
    return int(selectedRows().size());
}

int GridModel::SelectedRow(int index) const
{
    const std::vector<int> rows = selectedRows();
    if (index < 0 || index >= int(rows.size()))
        throw TavoError(kSubscriptOutOfRange, u"Invalid selected row index %1"_s.arg(index));
    return rows[size_t(index)];
}

// ---- Requests to the views

void GridModel::AutoSize(int col1, int col2)
{
    emit autoSizeRequested(col1, col2, m_unchangedRows);
    m_unchangedRows = Rows();
}

void GridModel::ShowCell(int row, int col)
{
    checkCell(row, col);
    if (!m_redraw) {
        m_pendingShowRow = row;
        m_pendingShowCol = col;
        return;
    }
    emit showCellRequested(row, col);
}

bool GridModel::ColHidden(int col) const
{
    return col >= 0 && size_t(col) < m_hidden.size() && m_hidden[size_t(col)];
}

void GridModel::setColHidden(int col, bool hidden)
{
    if (col < 0 || col >= m_cols)
        return;
    m_hidden[size_t(col)] = hidden;
    emit columnHiddenChanged(col, hidden);
}

void GridModel::setEditable(bool editable)
{
    m_editable = editable;
    emit editableChanged(editable);
}

// ---- Redraw

// Returns whether the views were reset.
bool GridModel::setDefer(bool on)
{
    if (on) {
        m_shown = dataRows();
        m_resetPending = m_dataDirty = false;
        return false;
    }
    const bool reset = m_resetPending;
    if (m_resetPending) {
        beginResetModel();
        m_redraw = true;
        endResetModel();
    } else {
        const int now = dataRows();
        if (now > m_shown) {
            beginInsertRows({}, m_shown, now - 1);
            m_redraw = true;
            endInsertRows();
        }
        m_redraw = true;
        if (m_dataDirty) {
            if (m_shown > 0 && m_cols > 0)
                emit dataChanged(index(0, 0), index(std::min(m_shown, now) - 1, m_cols - 1));
            if (m_cols > 0)
                emit headerDataChanged(Qt::Horizontal, 0, m_cols - 1);
        }
    }
    m_resetPending = m_dataDirty = false;
    return reset;
}

void GridModel::setRedraw(bool on)
{
    if (on == m_redraw)
        return;
    if (!on) {
        setDefer(true);
        m_redraw = false;
        emit redrawChanged(false);
        return;
    }
    if (setDefer(false))
        m_cursorDirty = true; // a reset took the current index with it
    if (m_cursorDirty)
        syncCursorToSelection();
    if (m_pendingShowRow >= 0) {
        const int row = std::min(m_pendingShowRow, Rows() - 1), col = m_pendingShowCol;
        m_pendingShowRow = -1;
        if (row >= 0 && col < Cols())
            emit showCellRequested(row, col);
    }
    emit redrawChanged(true);
}

} // namespace tavo::platform
