// The forms' grid: header row 0, cursor and selection, deferred redraw, files, and its view.
#include "gui/gridview.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/gridfiles.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using tavo::TavoError;
using tavo::gui::GridView;
using tavo::platform::GridModel;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

qint64 errorNumberOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const TavoError &e) {
        return e.number();
    }
    return 0;
}

struct GridTest : ::testing::Test {
    GridModel grid;
    GridView view;
    void SetUp() override
    {
        view.setGrid(&grid);
        grid.setFormatString(u"記錄序號|送廚出口|>數量|"_s);
    }
};

TEST_F(GridTest, FormatStringMakesTheHeaderRow)
{
    EXPECT_EQ(grid.Cols(), 3) << "a trailing bar adds no column";
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.TextMatrix(0, 2), u"數量"_s) << "the alignment mark is not part of the caption";
    EXPECT_EQ(grid.headerData(1, Qt::Horizontal).toString(), u"送廚出口"_s);
    EXPECT_EQ(grid.rowCount(), 0);
    EXPECT_EQ(grid.index(0, 2).data(Qt::TextAlignmentRole), QVariant()) << "no rows yet";
    grid.addItem(u"1\tPK\t2"_s);
    EXPECT_TRUE(grid.index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
}

TEST_F(GridTest, AddItemSplitsTabsAndInsertsBelowTheHeader)
{
    grid.addItem(u"1\tPK\t2\textra"_s);
    grid.addItem(u"3"_s);
    grid.addItem(u"0\tPB\t"_s, 1); // the default rows of the port grid stand above the table rows
    ASSERT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.TextMatrix(1, 1), u"PB"_s);
    EXPECT_EQ(grid.TextMatrix(2, 2), u"2"_s);
    EXPECT_EQ(grid.TextMatrix(3, 0), u"3"_s);
    EXPECT_EQ(grid.TextMatrix(3, 1), QString());
    EXPECT_EQ(grid.index(0, 1).data().toString(), u"PB"_s);
    EXPECT_EQ(errorNumberOf([&] { grid.TextMatrix(4, 0); }), 381);
    EXPECT_EQ(errorNumberOf([&] { grid.setTextMatrix(1, 3, u"x"_s); }), 381);
}

TEST_F(GridTest, CursorAndSelectionCountRows)
{
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(grid.SelectedRows(), 0) << "the header row alone is no selection";
    for (int i = 1; i <= 6; ++i)
        grid.addItem(QString::number(i));
    grid.setRow(2);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.SelectedRows(), 1);
    EXPECT_EQ(view.currentIndex().row(), 1);

    const QModelIndex from = grid.index(2, 0), to = grid.index(4, 0);
    grid.selectionModel()->select(
        QItemSelection(from, to), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(grid.SelectedRows(), 3);
    EXPECT_EQ(grid.SelectedRow(0), 3);
    EXPECT_EQ(grid.SelectedRow(2), 5);

    grid.selectionModel()->setCurrentIndex(grid.index(5, 0), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(grid.Row(), 6) << "the operator's cursor is the grid's row";

    grid.setRows(grid.FixedRows());
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(grid.SelectedRows(), 0);
    EXPECT_EQ(errorNumberOf([&] { grid.setRow(1); }), 381);
}

TEST_F(GridTest, RowsAddedWithRedrawOffReachTheViewAtOnce)
{
    grid.addItem(u"1\tPK\t1"_s);
    grid.setRow(1);
    int inserted = 0, resets = 0;
    QObject::connect(&grid, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(&grid, &QAbstractItemModel::modelReset, [&] { ++resets; });

    grid.setRedraw(false);
    for (int i = 2; i <= 500; ++i)
        grid.addItem(QString::number(i) + u"\tPK\t1"_s);
    grid.setTextMatrix(1, 2, u"9"_s);
    grid.ShowCell(500, 0);
    EXPECT_EQ(grid.Rows(), 501) << "the cells are there at once";
    EXPECT_EQ(grid.TextMatrix(500, 0), u"500"_s);
    EXPECT_EQ(grid.rowCount(), 1) << "the view hears nothing while redraw is off";
    grid.setRedraw(true);

    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(grid.rowCount(), 500);
    EXPECT_EQ(grid.index(0, 2).data().toString(), u"9"_s);
    EXPECT_EQ(grid.Row(), 1) << "the cursor stays where it was";
    EXPECT_EQ(grid.SelectedRows(), 1);

    // Emptying and refilling while deferred is announced as one reset.
    grid.setRedraw(false);
    grid.setRows(1);
    grid.addItem(u"7\tPB\t1"_s);
    grid.setRedraw(true);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.index(0, 1).data().toString(), u"PB"_s);
    EXPECT_EQ(grid.Row(), 1);
}

TEST_F(GridTest, ScansKeepTheOperatorsSelectionAndShowTheLastRow)
{
    view.resize(400, 200);
    view.show();
    for (int i = 1; i <= 20; ++i)
        grid.addItem(QString::number(i));
    grid.setRow(3);
    grid.selectionModel()->select(QItemSelection(grid.index(2, 0), grid.index(5, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(grid.SelectedRows(), 4);

    grid.setRedraw(false);
    for (int i = 21; i <= 300; ++i)
        grid.addItem(QString::number(i));
    grid.AutoSize();
    grid.ShowCell(grid.Rows() - 1, 0);
    grid.setRedraw(true);

    EXPECT_EQ(grid.SelectedRows(), 4) << "appending rows leaves the selection alone";
    EXPECT_EQ(grid.Row(), 3);
    const int last = grid.rowCount() - 1;
    const int y = view.rowViewportPosition(last);
    EXPECT_GE(y, 0) << "the last row is scrolled into view";
    EXPECT_LE(y + view.rowHeight(last), view.viewport()->height());
}

TEST_F(GridTest, HeaderRowBecomesAnOrdinaryRow)
{
    grid.addItem(u"1\tPK\t2"_s);
    grid.setFixedRows(0);
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.index(0, 0).data().toString(), u"記錄序號"_s);
    EXPECT_TRUE(view.horizontalHeader()->isHidden());
    grid.setFixedRows(1);
    EXPECT_EQ(grid.rowCount(), 1);
}

TEST_F(GridTest, AutoSizeFollowsEditsAndAppends)
{
    grid.addItem(u"1\tPK\t2"_s);
    grid.AutoSize();
    const int narrow = view.ColWidth(1);
    grid.addItem(u"2\t一個很長很長很長很長的送廚出口名稱\t2"_s);
    grid.AutoSize();
    const int wide = view.ColWidth(1);
    EXPECT_GT(wide, narrow);
    grid.setTextMatrix(2, 1, u"PB"_s); // a measured row changed: widths are measured again
    grid.AutoSize();
    EXPECT_EQ(view.ColWidth(1), narrow);
    view.setColWidth(0, 1500);
    EXPECT_NEAR(view.ColWidth(0), 1500, 15);
    grid.setColHidden(2, true);
    EXPECT_TRUE(grid.ColHidden(2));
    EXPECT_TRUE(view.isColumnHidden(2)) << "the view follows";
}

TEST_F(GridTest, EditsPassTheFormsHooks)
{
    grid.addItem(u"1\tPK\t2"_s);
    const QModelIndex cell = grid.index(0, 1);
    EXPECT_FALSE(grid.setData(cell, u"PB"_s)) << "not editable by default";
    grid.setEditable(true);
    view.setBackColor(QColor(255, 255, 128));
    EXPECT_EQ(view.palette().color(QPalette::Base), QColor(255, 255, 128));
    grid.validateEdit
        = [](int row, int col, const QString &text) { return !(row == 1 && col == 1 && text == u"X"_s); };
    QVector<std::pair<int, int>> edited;
    QObject::connect(&grid, &GridModel::afterEdit, [&](int row, int col) { edited.append({ row, col }); });
    EXPECT_FALSE(grid.setData(cell, u"X"_s));
    EXPECT_EQ(grid.TextMatrix(1, 1), u"PK"_s);
    EXPECT_TRUE(grid.setData(cell, u"PB"_s));
    EXPECT_EQ(grid.TextMatrix(1, 1), u"PB"_s);
    ASSERT_EQ(edited.size(), 1);
    EXPECT_EQ(edited[0], std::make_pair(1, 1));
}

struct GridFileTest : GridTest {
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

TEST_F(GridFileTest, TabTextIsBig5LinesHeaderFirst)
{
    grid.addItem(u"121\tPK\t1"_s);
    grid.setTextMatrix(1, 1, u"蚵仔\t煎\r\n加蛋😀"_s);
    tavo::platform::saveTabText(grid, path(u"KPS.TXT"_s));
    const QByteArray expected
        = tavo::platform::toAnsi(u"記錄序號\t送廚出口\t數量\r\n121\t蚵仔 煎  加蛋?\t1\r\n"_s);
    EXPECT_EQ(readAll(path(u"KPS.TXT"_s)), expected) << "one line per row, one cell per tab";

    tavo::platform::saveTabText(grid, path(u"KPS.TXT"_s), false);
    EXPECT_EQ(readAll(path(u"KPS.TXT"_s)), tavo::platform::toAnsi(u"121\t蚵仔 煎  加蛋?\t1\r\n"_s))
        << "an existing file is replaced";
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files) == QStringList { u"KPS.TXT"_s })
        << "no temporary left";
}

TEST_F(GridFileTest, AFailedSaveThrowsAndLeavesNothing)
{
    grid.addItem(u"1\tPK\t1"_s);
    const QString missingFolder = path(u"LOG/KPS.TXT"_s);
    EXPECT_EQ(errorNumberOf([&] { tavo::platform::saveTabText(grid, missingFolder); }), 75);
    EXPECT_FALSE(QFile::exists(missingFolder));
    // A folder standing where the file should go keeps its place.
    QDir(dir.path()).mkdir(u"KPS.TXT"_s);
    EXPECT_EQ(errorNumberOf([&] { tavo::platform::saveTabText(grid, path(u"KPS.TXT"_s)); }), 75);
}

TEST_F(GridFileTest, CsvHonoursQuotesAndBig5)
{
    const QString file = path(u"TavoC_fg2.CSV"_s);
    writeAll(file,
        tavo::platform::toAnsi(
            u"班別,開始,結束\r\n早班,\"06:00\",14:00\r\n\"晚,班\",\"說\"\"明\r\n第二行\",22:00\n夜班"_s));
    tavo::platform::loadCsv(grid, file);
    ASSERT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.Cols(), 3);
    EXPECT_EQ(grid.TextMatrix(0, 0), u"班別"_s);
    EXPECT_EQ(grid.TextMatrix(1, 1), u"06:00"_s);
    EXPECT_EQ(grid.TextMatrix(2, 0), u"晚,班"_s);
    EXPECT_EQ(grid.TextMatrix(2, 1), u"說\"明\r\n第二行"_s);
    EXPECT_EQ(grid.TextMatrix(3, 0), u"夜班"_s) << "a last line without its line end counts";
    EXPECT_EQ(grid.TextMatrix(3, 2), QString());

    tavo::platform::saveCsv(grid, path(u"again.CSV"_s));
    GridModel copy;
    tavo::platform::loadCsv(copy, path(u"again.CSV"_s));
    for (int r = 0; r < grid.Rows(); ++r)
        for (int c = 0; c < grid.Cols(); ++c)
            EXPECT_EQ(copy.TextMatrix(r, c), grid.TextMatrix(r, c)) << r << "," << c;
}

TEST_F(GridFileTest, BrokenCsvNeverCrashesAndMissingFileChangesNothing)
{
    grid.addItem(u"1\tPK\t1"_s);
    EXPECT_EQ(errorNumberOf([&] { tavo::platform::loadCsv(grid, path(u"none.CSV"_s)); }), 53);
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(grid.TextMatrix(0, 0), u"記錄序號"_s);

    EXPECT_EQ(tavo::platform::parseCsv(u"a,\"open quote\nrest"_s).size(), 1u)
        << "an open quote takes the rest";
    writeAll(path(u"empty.CSV"_s), {});
    tavo::platform::loadCsv(grid, path(u"empty.CSV"_s));
    EXPECT_EQ(grid.Rows(), 1) << "the header row stays";
    writeAll(path(u"junk.CSV"_s), QByteArray("\xff\xfe\x00\x81,\x80\"\r\r\n", 10));
    EXPECT_NO_THROW(tavo::platform::loadCsv(grid, path(u"junk.CSV"_s)));
    EXPECT_GE(grid.Rows(), 1);
}

} // namespace
