#include "gui/gridview.h"

#include <QHeaderView>

#include <algorithm>

namespace tavo::gui {

namespace {
constexpr int kCellPadding = 12; // pixels beside the text of a fitted column
}

GridView::GridView(QWidget *parent)
    : QTableView(parent)
{
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
}

GridView::~GridView() = default;

void GridView::setGrid(platform::GridModel *grid)
{
    for (const QMetaObject::Connection &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_grid = grid;
    m_widthCache.clear();
    m_measuredRows = 0;
    setModel(grid);
    if (!grid)
        return;
    // The grid's own selection, so that what the view highlights is what the service reads.
    QItemSelectionModel *own = selectionModel();
    setSelectionModel(grid->selectionModel());
    if (own && own != grid->selectionModel())
        own->deleteLater();
    using platform::GridModel;
    m_connections = {
        connect(grid, &GridModel::autoSizeRequested, this, &GridView::autoSize),
        connect(grid, &GridModel::showCellRequested, this, &GridView::showCell),
        connect(grid, &GridModel::columnHiddenChanged, this, &GridView::setColumnHidden),
        connect(grid, &GridModel::fixedRowsChanged, this,
            [this](int fixed) { horizontalHeader()->setVisible(fixed > 0); }),
        connect(grid, &GridModel::editableChanged, this, &GridView::applyEditable),
        connect(grid, &GridModel::redrawChanged, this, &GridView::applyRedraw),
        connect(grid, &QAbstractItemModel::columnsInserted, this, &GridView::applyColumns),
        connect(grid, &QAbstractItemModel::modelReset, this, &GridView::applyColumns),
    };
    applyColumns();
    horizontalHeader()->setVisible(grid->FixedRows() > 0);
    applyEditable(grid->Editable());
    applyRedraw(grid->Redraw());
}

void GridView::applyColumns()
{
    for (int c = 0; c < m_grid->Cols(); ++c)
        setColumnHidden(c, m_grid->ColHidden(c));
}

void GridView::applyEditable(bool editable)
{
    setEditTriggers(editable ? (QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                        | QAbstractItemView::AnyKeyPressed)
                             : QAbstractItemView::NoEditTriggers);
}

void GridView::applyRedraw(bool on)
{
    viewport()->setUpdatesEnabled(on);
    if (on)
        viewport()->update();
}

void GridView::autoSize(int col1, int col2, int firstChangedRow)
{
    const platform::GridModel &grid = *m_grid;
    const int cols = grid.Cols();
    if (col2 < 0 || col2 >= cols)
        col2 = cols - 1;
    col1 = std::max(0, col1);
    if (col1 > col2)
        return;
    const int fixed = grid.FixedRows();
    // A measured row that changed may have been the widest: measure everything again.
    if (m_widthCache.size() != size_t(cols) || firstChangedRow < m_measuredRows || m_measuredRows < fixed) {
        m_widthCache.assign(size_t(cols), 0);
        m_measuredRows = fixed;
    }
    // Each column remembers the widest text of the rows measured before; appended rows are
    // all that a scan adds, so a long list is not measured again on every scan.
    const QFontMetrics cellMetrics = fontMetrics();
    const int total = grid.Rows();
    for (int r = m_measuredRows; r < total; ++r) {
        const QStringList &row = grid.rowCells(r);
        for (int c = 0; c < cols && c < row.size(); ++c) {
            const QString &text = row[c];
            if (!text.isEmpty())
                m_widthCache[size_t(c)]
                    = std::max(m_widthCache[size_t(c)], cellMetrics.horizontalAdvance(text));
        }
    }
    m_measuredRows = total;
    const QFontMetrics headerMetrics = horizontalHeader()->fontMetrics();
    for (int c = col1; c <= col2; ++c) {
        int width = m_widthCache[size_t(c)];
        if (fixed > 0)
            width = std::max(width, headerMetrics.horizontalAdvance(grid.rowCells(0)[c]));
        horizontalHeader()->resizeSection(c, width + kCellPadding);
    }
}

void GridView::showCell(int row, int col)
{
    const int r = row - m_grid->FixedRows();
    if (r >= 0 && r < m_grid->rowCount()) {
        executeDelayedItemsLayout(); // rows just announced must count in the scroll range
        scrollTo(m_grid->index(r, col), QAbstractItemView::EnsureVisible);
    }
}

int GridView::TopRow() const
{
    const int fixed = m_grid ? m_grid->FixedRows() : 0;
    const int r = rowAt(0);
    return r < 0 ? fixed : r + fixed;
}

void GridView::setTopRow(int row)
{
    if (!m_grid)
        return;
    const int r = row - m_grid->FixedRows();
    if (r < 0 || r >= m_grid->rowCount())
        return;
    executeDelayedItemsLayout();
    scrollTo(m_grid->index(r, 0), QAbstractItemView::PositionAtTop);
}

int GridView::twipsToPixels(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

int GridView::pixelsToTwips(int pixels) const
{
    return qRound(pixels * 1440.0 / logicalDpiX());
}

int GridView::ColWidth(int col) const
{
    return pixelsToTwips(horizontalHeader()->sectionSize(col));
}

void GridView::setColWidth(int col, int twips)
{
    horizontalHeader()->resizeSection(col, std::max(0, twipsToPixels(twips)));
}

int GridView::WidthTwips() const
{
    return pixelsToTwips(width());
}

void GridView::setBackColor(const QColor &color)
{
    m_backColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

bool GridView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (m_grid && index.isValid() && m_grid->Editable() && m_grid->beforeEdit
        && trigger != QAbstractItemView::NoEditTriggers
        && !m_grid->beforeEdit(index.row() + m_grid->FixedRows(), index.column())) {
        // Tab out of an open cell asks to edit the next one outright (all triggers, no event);
        // the hook's refusal is the answer there, not a failure for Qt to warn about.
        return trigger == QAbstractItemView::AllEditTriggers && !event;
    }
    return QTableView::edit(index, trigger, event);
}

} // namespace tavo::gui
