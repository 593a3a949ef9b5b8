#pragma once
// The grid of the forms: a table whose row 0 is the fixed header row, addressed by row and
// column as the forms address it (TextMatrix, Rows, Cols, Row, Tag...). The cells live in the
// grid's own model, one vector of texts per row, so that tens of thousands of rows stay cheap:
// while redraw is off, the view hears about changes once, when redraw comes back on.
#include <QColor>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <functional>
#include <vector>

namespace tavo::platform {

class GridModel;

class Grid : public QTableView {
    Q_OBJECT
public:
    explicit Grid(QWidget *parent = nullptr);
    ~Grid() override;

    // Cells, by absolute row (the header row included) and column. Out-of-range addresses
    // throw TavoError 381, as the forms' error traps expect.
    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString &text);

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
    // How many rows the selection covers, and the i-th of them (ascending, absolute).
    int SelectedRows() const;
    int SelectedRow(int index) const;

    // Column captions "a|b|c" into row 0; a mark "<", "^" or ">" before a caption aligns that
    // column left, centred or right. Sets the column count (a trailing "|" adds no column).
    void setFormatString(const QString &format);

    // Appends (or inserts before `index`) one row from tab-separated text; cells beyond the
    // column count are ignored.
    void addItem(const QString &tabText, int index = -1);
    // Appends one row from its cells without joining and splitting them again.
    void addRow(const QStringList &cells);
    void removeItem(int row);

    // Fits the widths of columns col1..col2 (-1: the last) to their texts.
    void AutoSize(int col1 = 0, int col2 = -1);
    void setRedraw(bool on);
    bool Redraw() const { return m_redraw; }

    int TopRow() const;
    void setTopRow(int row);
    void ShowCell(int row, int col); // scrolls so that the cell is visible

    bool ColHidden(int col) const;
    void setColHidden(int col, bool hidden);
    // Widths in twips (1/1440 inch), as the forms size their columns.
    int ColWidth(int col) const;
    void setColWidth(int col, int twips);
    int WidthTwips() const;

    bool Editable() const { return m_editable; }
    void setEditable(bool editable);
    QColor BackColor() const { return m_backColor; }
    void setBackColor(const QColor &color);

    // The grid as tab-separated text, one line per row (CR LF), in the ANSI code page; the
    // header row first when `withHeader`. Written to a temporary file that then replaces
    // `path`, so an interrupted save never leaves half a file. Throws TavoError on failure.
    void saveTabText(const QString &path, bool withHeader = true) const;
    // Replaces all rows (the header row included) with the rows of a comma-separated file in
    // the ANSI code page; quoted fields may hold commas, quotes ("") and line breaks. Throws
    // TavoError when the file cannot be read; the grid is then unchanged.
    void loadCsv(const QString &path);
    // The same parsing for text already read.
    static std::vector<QStringList> parseCsv(const QString &text);
    // All rows as comma-separated text in the ANSI code page, fields quoted where they need it;
    // written atomically as saveTabText. Throws TavoError on failure.
    void saveCsv(const QString &path) const;

    // Editing hooks of the forms: `beforeEdit` returning false cancels an edit before it
    // starts; `validateEdit` returning false refuses the text being committed.
    std::function<bool(int row, int col)> beforeEdit;
    std::function<bool(int row, int col, const QString &text)> validateEdit;

    int twipsToPixels(int twips) const;
    int pixelsToTwips(int pixels) const;

signals:
    // The cursor moved to another absolute row or column.
    void rowColChanged();
    // An edit was committed to a cell.
    void afterEdit(int row, int col);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    static void writeAtomically(const QString &path, const QByteArray &bytes);
    void cursorMoved();
    void syncCursorToView();
    void checkCell(int row, int col) const;

    GridModel *m_model;
    QString m_tag;
    int m_row = 0;
    int m_col = 0;
    bool m_redraw = true;
    bool m_editable = false;
    bool m_movingCursor = false;
    bool m_cursorDirty = false;
    int m_pendingShowRow = -1;
    int m_pendingShowCol = 0;
    QColor m_backColor = Qt::white;
    // AutoSize measures only rows it has not seen since the last change of existing cells.
    std::vector<int> m_widthCache;
    int m_measuredRows = 0;
};

} // namespace tavo::platform
