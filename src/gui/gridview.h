#pragma once
// A view of a GridModel: the grid control of the service window. It shows the model's rows under
// its header row, shares the model's cursor and selection, fits column widths when the model asks,
// scrolls to the cells the model announces, and offers edits to the model's hooks. Widths are
// given in twips (1/1440 inch), as the forms size their columns.
#include "platform/gridmodel.h"

#include <QColor>
#include <QPointer>
#include <QTableView>

#include <vector>

namespace tavo::gui {

class GridView : public QTableView {
    Q_OBJECT
public:
    explicit GridView(QWidget *parent = nullptr);
    ~GridView() override;

    // Shows `grid` (the view does not own it); the view takes the grid's selection as its own.
    void setGrid(platform::GridModel *grid);
    platform::GridModel *grid() const { return m_grid; }

    int TopRow() const;
    void setTopRow(int row);

    int ColWidth(int col) const;
    void setColWidth(int col, int twips);
    int WidthTwips() const;

    // A cell's editor is open: keys reach the view only after the editor has passed them on.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

    QColor BackColor() const { return m_backColor; }
    void setBackColor(const QColor &color);

    int twipsToPixels(int twips) const;
    int pixelsToTwips(int pixels) const;

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    void autoSize(int col1, int col2, int firstChangedRow);
    void showCell(int row, int col);
    void applyColumns();
    void applyEditable(bool editable);
    void applyRedraw(bool on);

    QPointer<platform::GridModel> m_grid;
    QList<QMetaObject::Connection> m_connections;
    QColor m_backColor = Qt::white;
    // The widest text of each column over the rows measured so far.
    std::vector<int> m_widthCache;
    int m_measuredRows = 0;
};

} // namespace tavo::gui
