#include "platform/grid.h"

#include "platform/codepage.h"
#include "platform/errors.h"

#include <QAbstractTableModel>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSaveFile>
#include <QScrollBar>

#include <algorithm>
#include <functional>
#include <set>

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {
// Basic's run-time error numbers, so the forms' traps log what the operator's tools expect.
constexpr qint64 kSubscriptOutOfRange = 381;
constexpr qint64 kFileNotFound = 53;
constexpr qint64 kPathFileAccess = 75;
constexpr int kCellPadding = 12; // pixels beside the text of a fitted column

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
} // namespace

// The cells of a Grid. While `defer` is set (the grid's redraw is off) the attached view keeps
// seeing the rows it was last told about; appends, edits and cuts are announced in one go when
// redraw comes back, which is what makes listing thousands of rows one by one cheap.
class GridModel : public QAbstractTableModel {
public:
    std::vector<QStringList> rows;
    std::vector<Qt::Alignment> align;
    int cols = 0;
    int fixed = 1;
    bool editable = false;
    bool defer = false;
    int shown = 0; // data rows the view knows while deferring
    bool resetPending = false;
    bool dataDirty = false;
    std::function<bool(int, int, const QString &)> validate;
    std::function<void(int, int)> edited;

    int dataRows() const { return std::max(0, int(rows.size()) - fixed); }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : (defer ? shown : dataRows());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : cols; }

    const QString *cell(int absRow, int col) const
    {
        if (absRow < 0 || absRow >= int(rows.size()) || col < 0 || col >= rows[size_t(absRow)].size())
            return nullptr;
        return &rows[size_t(absRow)][col];
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            const QString *text = cell(index.row() + fixed, index.column());
            return text ? QVariant(*text) : QVariant(QString());
        }
        if (role == Qt::TextAlignmentRole && size_t(index.column()) < align.size()
            && align[size_t(index.column())])
            return QVariant::fromValue(align[size_t(index.column())] | Qt::AlignVCenter);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            if (fixed > 0) {
                const QString *text = cell(0, section);
                return text ? *text : QString();
            }
            return {};
        }
        if (orientation == Qt::Vertical && role == Qt::DisplayRole)
            return section + fixed;
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (editable)
            f |= Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || !index.isValid() || !editable)
            return false;
        const int absRow = index.row() + fixed;
        const QString text = value.toString();
        if (validate && !validate(absRow, index.column(), text))
            return false;
        setCell(absRow, index.column(), text);
        if (edited)
            edited(absRow, index.column());
        return true;
    }

    void setCell(int absRow, int col, const QString &text)
    {
        rows[size_t(absRow)][col] = text;
        if (absRow < fixed) {
            if (defer)
                dataDirty = true;
            else
                emit headerDataChanged(Qt::Horizontal, col, col);
            return;
        }
        const int r = absRow - fixed;
        if (defer) {
            if (r < shown)
                dataDirty = true;
        } else {
            emit dataChanged(index(r, col), index(r, col));
        }
    }

    void insertRow(int absRow, QStringList cells)
    {
        cells.resize(cols);
        const bool atEnd = absRow >= int(rows.size());
        if (defer) {
            rows.insert(rows.begin() + std::min<size_t>(size_t(absRow), rows.size()), std::move(cells));
            if (!atEnd || absRow < fixed)
                resetPending = true;
            return;
        }
        if (absRow < fixed) {
            beginResetModel();
            rows.insert(rows.begin() + absRow, std::move(cells));
            endResetModel();
            return;
        }
        const int r = std::min(absRow, int(rows.size())) - fixed;
        beginInsertRows({}, r, r);
        rows.insert(rows.begin() + r + fixed, std::move(cells));
        endInsertRows();
    }

    void resizeRows(int n)
    {
        n = std::max(0, n);
        const int have = int(rows.size());
        if (n == have)
            return;
        auto apply = [&] {
            rows.resize(size_t(n));
            for (int i = have; i < n; ++i)
                rows[size_t(i)] = QStringList(cols);
            if (fixed > n)
                fixed = n;
        };
        if (defer) {
            apply();
            if (n < have)
                resetPending = true;
            return;
        }
        if (n < fixed || have < fixed) {
            beginResetModel();
            apply();
            endResetModel();
        } else if (n > have) {
            beginInsertRows({}, have - fixed, n - fixed - 1);
            apply();
            endInsertRows();
        } else {
            beginRemoveRows({}, n - fixed, have - fixed - 1);
            apply();
            endRemoveRows();
        }
    }

    void resizeCols(int n)
    {
        n = std::max(0, n);
        if (n == cols)
            return;
        // Columns change at set-up only: tell the view at once, even while deferring rows.
        const bool grow = n > cols;
        if (grow)
            beginInsertColumns({}, cols, n - 1);
        else
            beginRemoveColumns({}, n, cols - 1);
        for (QStringList &row : rows)
            row.resize(n);
        cols = n;
        align.resize(size_t(n));
        if (grow)
            endInsertColumns();
        else
            endRemoveColumns();
    }

    void setFixed(int n)
    {
        n = std::clamp(n, 0, int(rows.size()));
        if (n == fixed)
            return;
        beginResetModel();
        fixed = n;
        shown = dataRows();
        resetPending = false;
        endResetModel();
    }

    void eraseRow(int absRow)
    {
        if (defer) {
            rows.erase(rows.begin() + absRow);
            if (absRow < fixed)
                --fixed;
            resetPending = true;
        } else if (absRow < fixed) {
            beginResetModel();
            rows.erase(rows.begin() + absRow);
            --fixed;
            endResetModel();
        } else {
            beginRemoveRows({}, absRow - fixed, absRow - fixed);
            rows.erase(rows.begin() + absRow);
            endRemoveRows();
        }
    }

    void replaceAll(std::vector<QStringList> newRows, int newCols)
    {
        beginResetModel();
        rows = std::move(newRows);
        cols = newCols;
        align.resize(size_t(newCols));
        shown = dataRows();
        resetPending = false;
        endResetModel();
    }

    // Returns whether the view was reset.
    bool setDefer(bool on)
    {
        if (on == defer)
            return false;
        if (on) {
            defer = true;
            shown = dataRows();
            resetPending = dataDirty = false;
            return false;
        }
        const bool reset = resetPending;
        if (resetPending) {
            beginResetModel();
            defer = false;
            endResetModel();
        } else {
            const int now = dataRows();
            if (now > shown) {
                beginInsertRows({}, shown, now - 1);
                defer = false;
                endInsertRows();
            }
            defer = false;
            if (dataDirty) {
                if (shown > 0 && cols > 0)
                    emit dataChanged(index(0, 0), index(std::min(shown, now) - 1, cols - 1));
                if (cols > 0)
                    emit headerDataChanged(Qt::Horizontal, 0, cols - 1);
            }
        }
        resetPending = dataDirty = false;
        return reset;
    }
};

Grid::Grid(QWidget *parent)
    : QTableView(parent)
    , m_model(new GridModel)
{
    m_model->setParent(this);
    m_model->resizeRows(1);
    setModel(m_model);
    m_model->edited = [this](int row, int col) {
        if (row < m_measuredRows)
            m_measuredRows = 0;
        emit afterEdit(row, col);
    };
    m_model->validate = [this](int row, int col, const QString &text) {
        return !validateEdit || validateEdit(row, col, text);
    };
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Every row is one line high: fixed sizes spare the header from measuring rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (m_movingCursor || !current.isValid())
            return;
        m_row = current.row() + m_model->fixed;
        m_col = current.column();
        emit rowColChanged();
    });
}

Grid::~Grid() = default;

void Grid::checkCell(int row, int col) const
{
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        throw TavoError(kSubscriptOutOfRange, u"Subscript out of range (row %1, col %2)"_s.arg(row).arg(col));
}

QString Grid::TextMatrix(int row, int col) const
{
    checkCell(row, col);
    return m_model->rows[size_t(row)][col];
}

void Grid::setTextMatrix(int row, int col, const QString &text)
{
    checkCell(row, col);
    if (row < m_measuredRows)
        m_measuredRows = 0;
    m_model->setCell(row, col, text);
}

int Grid::Rows() const
{
    return int(m_model->rows.size());
}

void Grid::setRows(int rows)
{
    if (rows < m_measuredRows)
        m_measuredRows = 0;
    const int before = Row();
    m_model->resizeRows(rows);
    if (Row() != before)
        cursorMoved();
}

int Grid::Cols() const
{
    return m_model->cols;
}

void Grid::setCols(int cols)
{
    m_model->resizeCols(cols);
    m_measuredRows = 0;
}

int Grid::FixedRows() const
{
    return m_model->fixed;
}

void Grid::setFixedRows(int fixedRows)
{
    m_model->setFixed(std::clamp(fixedRows, 0, 1));
    horizontalHeader()->setVisible(m_model->fixed > 0);
    m_measuredRows = 0;
    cursorMoved();
}

int Grid::Row() const
{
    return std::min(m_row, Rows() - 1);
}

void Grid::setRow(int row)
{
    if (row < 0 || row >= Rows())
        throw TavoError(kSubscriptOutOfRange, u"Invalid Row value %1"_s.arg(row));
    m_row = row;
    cursorMoved();
    emit rowColChanged();
}

int Grid::Col() const
{
    return std::min(m_col, Cols() - 1);
}

void Grid::setCol(int col)
{
    if (col < 0 || col >= Cols())
        throw TavoError(kSubscriptOutOfRange, u"Invalid Col value %1"_s.arg(col));
    m_col = col;
    cursorMoved();
    emit rowColChanged();
}

// The cursor was placed by the program (or lost its row): the view follows, now or when redraw
// comes back. Only then: a scan appending rows must not undo the operator's selection.
void Grid::cursorMoved()
{
    m_cursorDirty = true;
    if (m_redraw)
        syncCursorToView();
}

// Puts the view's current cell and selection on the grid's cursor row, as selecting a row
// collapses the selection to it in the forms' grids.
void Grid::syncCursorToView()
{
    m_cursorDirty = false;
    m_movingCursor = true;
    const int r = Row() - m_model->fixed;
    if (r >= 0 && r < m_model->rowCount() && Cols() > 0) {
        const QModelIndex index = m_model->index(r, std::max(0, Col()));
        selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    m_movingCursor = false;
}

namespace {
std::vector<int> selectedAbsoluteRows(const QItemSelectionModel *selection, int fixed)
{
    std::set<int> rows;
    for (const QItemSelectionRange &range : selection->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.insert(r + fixed);
    }
    return { rows.begin(), rows.end() };
}
} // namespace

int Grid::SelectedRows() const
{
    const std::vector<int> rows = selectedAbsoluteRows(selectionModel(), m_model->fixed);
    if (!rows.empty())
        return int(rows.size());
    return Row() >= m_model->fixed ? 1 : 0;
}

int Grid::SelectedRow(int index) const
{
    std::vector<int> rows = selectedAbsoluteRows(selectionModel(), m_model->fixed);
    if (rows.empty() && Row() >= m_model->fixed)
        rows.push_back(Row());
    if (index < 0 || index >= int(rows.size()))
        throw TavoError(kSubscriptOutOfRange, u"Invalid selected row index %1"_s.arg(index));
    return rows[size_t(index)];
}

void Grid::setFormatString(const QString &format)
{
    QStringList captions = format.split(u'|');
    if (captions.size() > 1 && captions.last().isEmpty())
        captions.removeLast();
    if (Rows() < 1)
        setRows(1);
    setCols(int(captions.size()));
    for (int c = 0; c < captions.size(); ++c) {
        QString caption = captions[c];
        Qt::Alignment alignment;
        if (caption.startsWith(u'<'))
            alignment = Qt::AlignLeft;
        else if (caption.startsWith(u'^'))
            alignment = Qt::AlignHCenter;
        else if (caption.startsWith(u'>'))
            alignment = Qt::AlignRight;
        if (alignment)
            caption.remove(0, 1);
        m_model->align[size_t(c)] = alignment;
        setTextMatrix(0, c, caption);
    }
}

void Grid::addItem(const QString &tabText, int index)
{
    addRow(tabText.split(u'\t'));
    if (index >= 0 && index < Rows() - 1) {
        // Inserting in the middle: move the appended row into place.
        QStringList cells = m_model->rows.back();
        m_model->resizeRows(Rows() - 1);
        m_model->insertRow(index, std::move(cells));
        m_measuredRows = 0;
    }
}

void Grid::addRow(const QStringList &cells)
{
    m_model->insertRow(Rows(), cells);
}

void Grid::removeItem(int row)
{
    checkCell(row, 0);
    m_model->eraseRow(row);
    horizontalHeader()->setVisible(m_model->fixed > 0);
    m_measuredRows = 0;
}

void Grid::AutoSize(int col1, int col2)
{
    if (col2 < 0 || col2 >= Cols())
        col2 = Cols() - 1;
    col1 = std::max(0, col1);
    if (col1 > col2)
        return;
    const int fixed = m_model->fixed;
    if (m_widthCache.size() != size_t(Cols()) || m_measuredRows < fixed) {
        m_widthCache.assign(size_t(Cols()), 0);
        m_measuredRows = fixed;
    }
    // Each column remembers the widest text of the rows measured before; appended rows are
    // all that a scan adds, so a long list is not measured again on every scan.
    const QFontMetrics cellMetrics = fontMetrics();
    const int total = Rows();
    for (int c = 0; c < Cols(); ++c) {
        int widest = m_widthCache[size_t(c)];
        for (int r = m_measuredRows; r < total; ++r) {
            const QString &text = m_model->rows[size_t(r)][c];
            if (!text.isEmpty())
                widest = std::max(widest, cellMetrics.horizontalAdvance(text));
        }
        m_widthCache[size_t(c)] = widest;
    }
    m_measuredRows = total;
    const QFontMetrics headerMetrics = horizontalHeader()->fontMetrics();
    for (int c = col1; c <= col2; ++c) {
        int width = m_widthCache[size_t(c)];
        if (fixed > 0)
            width = std::max(width, headerMetrics.horizontalAdvance(m_model->rows[0][c]));
        horizontalHeader()->resizeSection(c, width + kCellPadding);
    }
}

void Grid::setRedraw(bool on)
{
    if (on == m_redraw)
        return;
    m_redraw = on;
    if (!on) {
        m_model->setDefer(true);
        viewport()->setUpdatesEnabled(false);
        return;
    }
    if (m_model->setDefer(false))
        m_cursorDirty = true; // a reset took the view's cursor with it
    if (m_cursorDirty)
        syncCursorToView();
    if (m_pendingShowRow >= 0) {
        ShowCell(m_pendingShowRow, m_pendingShowCol);
        m_pendingShowRow = -1;
    }
    viewport()->setUpdatesEnabled(true);
    viewport()->update();
}

int Grid::TopRow() const
{
    const int r = rowAt(0);
    return r < 0 ? m_model->fixed : r + m_model->fixed;
}

void Grid::setTopRow(int row)
{
    const int r = row - m_model->fixed;
    if (r < 0 || r >= m_model->rowCount())
        return;
    executeDelayedItemsLayout(); // rows just announced must count in the scroll range
    scrollTo(m_model->index(r, 0), QAbstractItemView::PositionAtTop);
}

void Grid::ShowCell(int row, int col)
{
    checkCell(row, col);
    if (!m_redraw) {
        m_pendingShowRow = row;
        m_pendingShowCol = col;
        return;
    }
    const int r = row - m_model->fixed;
    if (r >= 0 && r < m_model->rowCount()) {
        executeDelayedItemsLayout(); // rows just announced must count in the scroll range
        scrollTo(m_model->index(r, col), QAbstractItemView::EnsureVisible);
    }
}

bool Grid::ColHidden(int col) const
{
    return isColumnHidden(col);
}

void Grid::setColHidden(int col, bool hidden)
{
    setColumnHidden(col, hidden);
}

int Grid::twipsToPixels(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

int Grid::pixelsToTwips(int pixels) const
{
    return qRound(pixels * 1440.0 / logicalDpiX());
}

int Grid::ColWidth(int col) const
{
    return pixelsToTwips(horizontalHeader()->sectionSize(col));
}

void Grid::setColWidth(int col, int twips)
{
    horizontalHeader()->resizeSection(col, std::max(0, twipsToPixels(twips)));
}

int Grid::WidthTwips() const
{
    return pixelsToTwips(width());
}

void Grid::setEditable(bool editable)
{
    m_editable = editable;
    m_model->editable = editable;
    setEditTriggers(editable ? (QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                        | QAbstractItemView::AnyKeyPressed)
                             : QAbstractItemView::NoEditTriggers);
}

void Grid::setBackColor(const QColor &color)
{
    m_backColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

bool Grid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (index.isValid() && m_editable && beforeEdit && trigger != QAbstractItemView::NoEditTriggers
        && !beforeEdit(index.row() + m_model->fixed, index.column()))
        return false;
    return QTableView::edit(index, trigger, event);
}

void Grid::saveTabText(const QString &path, bool withHeader) const
{
    QString text;
    const int first = withHeader ? 0 : m_model->fixed;
    for (int r = first; r < Rows(); ++r) {
        const QStringList &row = m_model->rows[size_t(r)];
        for (int c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += u'\t';
            text += flatCell(row[c]);
        }
        text += u"\r\n"_s;
    }
    writeAtomically(path, CodePage::toAnsi(text));
}

namespace {
QString csvField(const QString &cell)
{
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\n') && !cell.contains(u'\r'))
        return cell;
    QString quoted = cell;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}
} // namespace

void Grid::saveCsv(const QString &path) const
{
    QString text;
    for (const QStringList &row : m_model->rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += u',';
            text += csvField(row[c]);
        }
        text += u"\r\n"_s;
    }
    writeAtomically(path, CodePage::toAnsi(text));
}

void Grid::writeAtomically(const QString &path, const QByteArray &bytes)
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

std::vector<QStringList> Grid::parseCsv(const QString &text)
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

void Grid::loadCsv(const QString &path)
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
    const int fixed = m_model->fixed;
    while (int(rows.size()) < fixed)
        rows.emplace_back();
    for (QStringList &row : rows)
        row.resize(cols);
    m_model->replaceAll(std::move(rows), cols);
    m_row = std::min(m_row, Rows() - 1);
    m_measuredRows = 0;
    cursorMoved();
}

} // namespace tavo::platform
