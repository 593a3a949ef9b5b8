#pragma once
// The grid of the forms as plain state: a table whose row 0 is the fixed header row, addressed
// by row and column as the forms address it (TextMatrix, Rows, Cols, Row, Tag...), with its
// cursor and selection. Views show it (a QTableView in the window); the service reads and writes
// only this, so it runs the same with a window, headless, or in a test.
//
// The cells are one vector of texts per row, so that tens of thousands of rows stay cheap. While
// redraw is off, attached views hear about changes once, when redraw comes back on.
#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QString>
#include <QStringList>

#include <functional>
#include <span>
#include <vector>

namespace tavo::platform {

// One column of a grid: its caption (an optional leading "<", "^" or ">" aligns the column) and
// whether it is hidden. Tables of these name a grid's columns once, for code and captions alike.
struct GridColumn {
    const char16_t *caption;
    bool hidden = false;
};

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject *parent = nullptr);
    ~GridModel() override;

    // Cells, by absolute row (the header row included) and column. Out-of-range addresses
    // throw TavoError 381, as the forms' error traps expect.
    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString &text);
    // The cells of one row, unchecked beyond the row number.
    const QStringList &rowCells(int row) const;

    int Rows() const;
    void setRows(int rows); // new rows are empty; fewer rows cut from the bottom
    int Cols() const;
    void setCols(int cols);
    int FixedRows() const;
    void setFixedRows(int fixedRows); // 0 or 1: row 0 shown as the header, or as an ordinary row

    QString Tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    // The cursor: the current row and column, absolute. A grid with only its header row has
    // its cursor on row 0.
    int Row() const;
    void setRow(int row);
    int Col() const;
    void setCol(int col);
    // The rows the selection covers (ascending, absolute), whoever made it: the keyboard, the
    // mouse or an assistive technology. Without a selection, the cursor's data row.
    int SelectedRows() const;
    int SelectedRow(int index) const;
    // The selection the views share.
    QItemSelectionModel *selectionModel() const { return m_selection; }

    // Column captions "a|b|c" into row 0; a mark "<", "^" or ">" before a caption aligns that
    // column left, centred or right. Sets the column count (a trailing "|" adds no column).
    void setFormatString(const QString &format);
    // The same from a column table, with each column's hidden flag.
    void setColumns(std::span<const GridColumn> columns);
    Qt::Alignment columnAlignment(int col) const;

    // Appends (or inserts before `index`) one row from tab-separated text; cells beyond the
    // column count are ignored.
    void addItem(const QString &tabText, int index = -1);
    // Appends one row from its cells without joining and splitting them again.
    void addRow(const QStringList &cells);
    void removeItem(int row);
    // Replaces every row, the header row included; the column count becomes `cols`.
    void replaceAll(std::vector<QStringList> rows, int cols);

    // Asks the views to fit the widths of columns col1..col2 (-1: the last) to their texts.
    void AutoSize(int col1 = 0, int col2 = -1);
    // Asks the views to scroll the cell into sight (once redraw is on).
    void ShowCell(int row, int col);
    void setRedraw(bool on);
    bool Redraw() const { return m_redraw; }

    bool ColHidden(int col) const;
    void setColHidden(int col, bool hidden);

    bool Editable() const { return m_editable; }
    void setEditable(bool editable);

    // Editing hooks of the forms: `beforeEdit` returning false cancels an edit before it
    // starts; `validateEdit` returning false refuses the text being committed.
    std::function<bool(int row, int col)> beforeEdit;
    std::function<bool(int row, int col, const QString &text)> validateEdit;

    // QAbstractTableModel: data rows only (row 0 of the model is the grid's row FixedRows()).
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    // The cursor moved to another absolute row or column.
    void rowColChanged();
    // An edit was committed to a cell.
    void afterEdit(int row, int col);
    // For the views. `firstChangedRow`: rows from there on changed since the last request, so a
    // view may keep what it measured of the rows above.
    void autoSizeRequested(int col1, int col2, int firstChangedRow);
    void showCellRequested(int row, int col);
    void columnHiddenChanged(int col, bool hidden);
    void fixedRowsChanged(int fixedRows);
    void editableChanged(bool editable);
    void redrawChanged(bool on);

private:
    void checkCell(int row, int col) const;
    void cellsChanged(int fromRow);
    void cursorMoved();
    void syncCursorToSelection();
    std::vector<int> selectedRows() const;
    int dataRows() const;
    void insertRowAt(int absRow, QStringList cells);
    void resizeRows(int n);
    void resizeCols(int n);
    void eraseRow(int absRow);
    bool setDefer(bool on);

    std::vector<QStringList> m_rows;
    std::vector<Qt::Alignment> m_align;
    std::vector<bool> m_hidden;
    int m_cols = 0;
    int m_fixed = 1;
    QString m_tag;
    int m_row = 0;
    int m_col = 0;
    bool m_redraw = true;
    bool m_editable = false;
    QItemSelectionModel *m_selection;
    bool m_movingCursor = false;
    bool m_cursorDirty = false;
    int m_pendingShowRow = -1;
    int m_pendingShowCol = 0;
    // Rows above this one are unchanged since the last AutoSize request.
    int m_unchangedRows = 0;
    // Deferred announcements while redraw is off.
    int m_shown = 0; // data rows the views know
    bool m_resetPending = false;
    bool m_dataDirty = false;
};

} // namespace tavo::platform
