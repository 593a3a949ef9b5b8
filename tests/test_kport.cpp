// The kitchen port grid against a real KPORT (SQLite and PostgreSQL): loading from queries, the
// rows shown, edits, deletions and insertions reaching the table, printer redirection; and the
// month grid and room order query of the pick dialogs.
#include "db/dbglobals.h"
#include "db/gridload.h"
#include "kport/portgrid.h"
#include "picks/calendarmonth.h"
#include "picks/roomorder.h"
#include "platform/echo.h"
#include "platform/gridmodel.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/grids.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using grids::PortGrid;
using tavo::test::OrderTable;
using tavo::test::Server;

namespace {

class PortTableTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        platform::setEchoEnabled(false);
        if (GetParam() == Server::PostgreSQL && test::postgresConnectionString().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        table = std::make_unique<OrderTable>(cnt, GetParam(), env.path(u"tavo.db"_s));
    }

    // A KPORT row; the rows of a test are numbered 1, 2, 3... in the order they are added.
    void port(const QString &values)
    {
        cnt.execute(
            u"INSERT INTO KPORT (KPort, KPortType, KPortName, PrintList, PrintItem, Remark) VALUES ("_s
            + values + u")"_s);
    }
    QString field(qint64 rno, const QString &column)
    {
        db::Recordset rs
            = cnt.openRecordset(u"SELECT "_s + column + u" FROM KPORT WHERE RNo = "_s + QString::number(rno));
        return rs.eof() ? u"<none>"_s : rs.text(0);
    }
    void load() { kport::LoadPortGrid(grid, cnt, *platform::services().settings); }
    // The cells of every data row, joined by "|".
    QStringList rows() const
    {
        QStringList out;
        for (int r = 1; r < grid.Rows(); ++r)
            out.append(grid.rowCells(r).join(u'|'));
        return out;
    }

    test::TestEnvironment env;
    db::Connection cnt;
    std::unique_ptr<OrderTable> table;
    platform::GridModel grid;
};

TEST_P(PortTableTest, GridLoadCopiesRecordsAndReportsFailures)
{
    port(u"'PK', 'EPSONTM', NULL, 'Y', NULL, 'a\tb'"_s);
    port(u"'PB', 'EPSONTM', 'TM2', '', 'Y', ''"_s);
    grid.setFormatString(u"a|b"_s);
    int count = -1;
    EXPECT_TRUE(
        db::FGLoad(grid, u"SELECT RNo, KPort, KPortName, Remark FROM KPORT ORDER BY RNo"_s, cnt, &count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(grid.Cols(), 4);
    EXPECT_EQ(grid.TextMatrix(0, 1), u"b"_s) << "the header cells stay";
    EXPECT_EQ(rows(), (QStringList { u"1|PK||a\tb"_s, u"2|PB|TM2|"_s }))
        << "NULL is empty; a tab stays in its cell";
    EXPECT_EQ(grid.Row(), 1);

    count = -1;
    EXPECT_FALSE(db::FGLoad(grid, u"SELECT RNo FROM KPORT WHERE RNo < 0"_s, cnt, &count));
    EXPECT_EQ(count, -1) << "the count is left alone without rows";
    EXPECT_EQ(grid.Rows(), 1);

    EXPECT_FALSE(db::FGLoad(grid, u"SELECT Nothing FROM Nowhere"_s, cnt, &count));
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.readErr().contains(u"FGLoad\r\npvSQL:SELECT Nothing FROM Nowhere"_s))
        << env.readErr().toStdString();
}

TEST_P(PortTableTest, GridShowsDefaultRowsThenPrintingEpsonPorts)
{
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"KPrinterType"_s, u"EPSONTM"_s);
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"KPrinter"_s, u"TM-K"_s);
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"KPrintItem"_s, u"Y"_s);
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"BPrinter"_s, u"TM-B"_s); // no type: no bar row
    // PostgreSQL's column holds 100 characters.
    const QString longName(GetParam() == Server::SQLite ? 200 : 100, u'印');
    port(u"'PK', 'EPSONTM', 'TM1', 'Y', '', '廚房'"_s);
    port(u"'PK', 'EPSONTM', "_s + QuotStr(longName) + u", NULL, 'Y', NULL"_s); // duplicate port
    port(u"'PB', 'STAR', 'TM3', 'Y', 'Y', ''"_s);
    port(u"'PB', 'EPSONTM', 'TM4', 'y', 'N', ''"_s);
    port(u"NULL, NULL, NULL, NULL, NULL, NULL"_s);
    load();
    EXPECT_EQ(grid.rowCells(0).join(u'|'), u"序號|送廚出口|印表機型|印表機名稱|印出菜單|印出菜條|備註說明"_s);
    QStringList shown = rows();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], u"|PK|EPSONTM|TM-K||Y|"_s);
    shown.removeFirst();
    shown.sort();
    EXPECT_EQ(
        shown, (QStringList { u"1|PK|EPSONTM|TM1|Y||廚房"_s, u"2|PK|EPSONTM|"_s + longName + u"||Y|"_s }));
    EXPECT_EQ(grid.Row(), 1);

    // With the bar's type set too, the kitchen row stays on top.
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"BPrinterType"_s, u"EPSONTM"_s);
    load();
    ASSERT_EQ(rows().size(), 4);
    EXPECT_EQ(rows().mid(0, 2), (QStringList { u"|PK|EPSONTM|TM-K||Y|"_s, u"|PB|EPSONTM|TM-B|||"_s }));
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"BPrinterType"_s, QString());

    // A KPORT that cannot be read: the error is shown, the default row remains.
    cnt.execute(u"DROP TABLE KPORT"_s);
    load();
    EXPECT_EQ(rows(), (QStringList { u"|PK|EPSONTM|TM-K||Y|"_s }));
    EXPECT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.readErr().contains(u"pvSQL:Select RNo, KPort"_s));
}

TEST_P(PortTableTest, EditsDeletionsAndInsertionsReachKportAndSurviveAReload)
{
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"BPrinterType"_s, u"EPSONTM"_s);
    port(u"'PK', 'EPSONTM', 'TM1', 'Y', '', ''"_s);
    port(u"'PB', 'EPSONTM', 'TM2', '', 'Y', ''"_s);
    load();
    ASSERT_EQ(grid.Rows(), 4);
    const int pk = grid.TextMatrix(2, PortGrid::RNo) == u"1"_s ? 2 : 3;
    const int pb = pk == 2 ? 3 : 2;

    EXPECT_EQ(kport::setCell(grid, pk, PortGrid::Remark, u"O'Brien 廚房"_s, cnt), QString());
    EXPECT_EQ(field(1, u"Remark"_s), u"O'Brien 廚房"_s);
    EXPECT_FALSE(field(1, u"UpdDate"_s).isEmpty()) << "stamped by the server's clock";
    EXPECT_EQ(kport::setCell(grid, 1, PortGrid::Remark, u"default"_s, cnt), QString());
    EXPECT_EQ(grid.TextMatrix(1, PortGrid::Remark), u"default"_s)
        << "a default row changes in the grid alone";
    EXPECT_FALSE(kport::setCell(grid, pk, PortGrid::RNo, u"9"_s, cnt).isEmpty());

    EXPECT_EQ(kport::deleteRow(grid, pb, cnt), QString());
    EXPECT_EQ(field(2, u"KPort"_s), u"<none>"_s);
    EXPECT_EQ(kport::insertRow(grid, cnt), QString());
    const qint64 added = grid.TextMatrix(grid.Rows() - 1, PortGrid::RNo).toLongLong();
    EXPECT_GT(added, 2);
    EXPECT_EQ(kport::setCell(grid, grid.Rows() - 1, PortGrid::KPort, u"PD"_s, cnt), QString());

    load();
    QStringList shown = rows();
    EXPECT_EQ(shown.takeFirst(), u"|PB|EPSONTM||||"_s);
    shown.sort();
    EXPECT_EQ(shown,
        (QStringList {
            u"1|PK|EPSONTM|TM1|Y||O'Brien 廚房"_s, QString::number(added) + u"|PD|EPSONTM|||Y|"_s }));

    // A record deleted behind the grid's back is not reported as written.
    cnt.execute(u"DELETE FROM KPORT WHERE RNo = 1"_s);
    const int gone = grid.TextMatrix(2, PortGrid::RNo) == u"1"_s ? 2 : 3;
    EXPECT_FALSE(kport::setCell(grid, gone, PortGrid::Remark, u"x"_s, cnt).isEmpty());
    EXPECT_EQ(grid.TextMatrix(gone, PortGrid::Remark), u"O'Brien 廚房"_s);

    // A write the table refuses leaves cell and record as they were, and says why.
    cnt.execute(u"DROP TABLE KPORT"_s);
    const QString before = grid.TextMatrix(2, PortGrid::Remark);
    EXPECT_TRUE(kport::setCell(grid, 2, PortGrid::Remark, u"lost"_s, cnt).startsWith(u"寫入KPORT失敗"_s));
    EXPECT_EQ(grid.TextMatrix(2, PortGrid::Remark), before);
    EXPECT_FALSE(kport::deleteRow(grid, 2, cnt).isEmpty());
    EXPECT_FALSE(kport::insertRow(grid, cnt).isEmpty());
    EXPECT_EQ(grid.Rows(), 4);
}

TEST_P(PortTableTest, AnInsertedRowShowsItsOwnRecordNotTheHighestOne)
{
    // Another station's row already stands above the number the table gives next.
    cnt.execute(u"INSERT INTO KPORT (RNo, KPort, KPortType) VALUES (500, 'PX', 'EPSONTM')"_s);
    load();
    ASSERT_EQ(kport::insertRow(grid, cnt), QString());
    const QString own = cnt.openRecordset(u"SELECT RNo FROM KPORT WHERE KPort = ''"_s).text(0);
    ASSERT_FALSE(own.isEmpty());
    EXPECT_EQ(grid.TextMatrix(grid.Rows() - 1, PortGrid::RNo), own);
    EXPECT_EQ(kport::setCell(grid, grid.Rows() - 1, PortGrid::KPort, u"PD"_s, cnt), QString());
    EXPECT_EQ(field(500, u"KPort"_s), u"PX"_s) << "the other station's record is left alone";
}

TEST_P(PortTableTest, RedirectionMovesExactlyTheOldPrintersRows)
{
    port(u"'PK', 'EPSONTM', 'Bob''s TM', 'Y', '', ''"_s);
    port(u"'PB', 'EPSONTM', 'Bob''s TM', '', 'Y', ''"_s);
    port(u"'PD', 'EPSONTM', 'Bob', '', 'Y', ''"_s);
    EXPECT_EQ(kport::redirectSql(u"Ann's TM"_s, u"Bob's TM"_s),
        u"Update KPORT SET KPortName = 'Ann''s TM'  WHERE KPortName = 'Bob''s TM'"_s);
    EXPECT_EQ(kport::redirectPrinter(u"Ann's TM"_s, u"Bob's TM"_s, cnt), 2);
    EXPECT_EQ(field(1, u"KPortName"_s), u"Ann's TM"_s);
    EXPECT_EQ(field(2, u"KPortName"_s), u"Ann's TM"_s);
    EXPECT_EQ(field(3, u"KPortName"_s), u"Bob"_s);
    kport::redirectPrinter(u"Bob"_s, u"Bob"_s, cnt);
    EXPECT_EQ(field(3, u"KPortName"_s), u"Bob"_s);
    EXPECT_EQ(field(1, u"KPortName"_s), u"Ann's TM"_s);
}

TEST_P(PortTableTest, RoomOrderListsTheOpenItemsOfOneOrder)
{
    table->execute(
        u"INSERT INTO ORDERI (RNo, KPort, OrderPID, ItemName, OPDate) VALUES "_s
        u"(1, 'PK', 'A05-1', '牛肉麵', NULL), (2, 'PB', 'A05-1', '啤酒', NULL), "_s
        u"(3, 'PK', 'A05-1', '炒飯', '2026/12/07 10:00:00'), (4, 'PK', 'B1', '湯', '2026/12/07 10:00:00')"_s);
    EXPECT_TRUE(picks::LoadRoomOrder(grid, u"A05-1"_s, cnt));
    EXPECT_EQ(grid.Cols(), 13);
    EXPECT_EQ(grid.TextMatrix(0, 12), u"修改日期"_s);
    QStringList items { grid.TextMatrix(1, picks::RoomOrderColumns::ItemName),
        grid.TextMatrix(2, picks::RoomOrderColumns::ItemName) };
    items.sort();
    EXPECT_EQ(items, (QStringList { u"啤酒"_s, u"牛肉麵"_s }));
    EXPECT_FALSE(picks::LoadRoomOrder(grid, u"B1"_s, cnt)) << "every item closed: nothing to show";
    EXPECT_EQ(picks::roomNumber(u"B1"_s), u"B1"_s);
    EXPECT_EQ(picks::roomNumber(u"A05-1"_s), u"A05"_s);
}

INSTANTIATE_TEST_SUITE_P(Servers, PortTableTest, ::testing::Values(Server::SQLite, Server::PostgreSQL),
    [](const auto &info) { return std::string(test::serverName(info.param)); });

TEST(PortGridCells, SpaceTogglesAndRefusals)
{
    test::TestEnvironment env;
    test::FakePrinterCatalog printers({ u"TM-K"_s });
    struct Case {
        int col;
        QString before, after;
    };
    for (const Case &c : { Case { PortGrid::KPortType, u"EPSONTM"_s, u""_s },
             Case { PortGrid::KPortType, u""_s, u"EPSONTM"_s }, Case { PortGrid::PrintList, u"Y"_s, u""_s },
             Case { PortGrid::PrintItem, u"y"_s, u"Y"_s }, Case { PortGrid::PrintItem, u""_s, u"Y"_s } }) {
        QString toggled;
        EXPECT_TRUE(kport::toggledCell(c.col, c.before, toggled));
        EXPECT_EQ(toggled, c.after) << c.col << " " << c.before.toStdString();
    }
    QString unused;
    EXPECT_FALSE(kport::toggledCell(PortGrid::KPortName, u"TM-K"_s, unused));
    EXPECT_EQ(kport::refusal(PortGrid::KPortType, u"STAR"_s), u"不支援此型別:STAR"_s);
    EXPECT_EQ(kport::refusal(PortGrid::KPortType, u"EPSONTM"_s), QString());
    EXPECT_EQ(kport::refusal(PortGrid::KPortName, u"tm-k"_s), u"印表機沒有安裝:tm-k"_s);
    EXPECT_EQ(kport::refusal(PortGrid::KPortName, u"TM-K"_s), QString());
    EXPECT_FALSE(kport::isEditableColumn(PortGrid::RNo));
}

TEST(CalendarMonth, WeekRowsHeadingAndCursor)
{
    struct Case {
        QDate day;
        int weekRows, divisor;
        QString heading;
    };
    for (const Case &c : { Case { QDate(2024, 3, 20), 6, 6, u"2024年 3月"_s },
             Case { QDate(2024, 6, 1), 6, 6, u"2024年 6月"_s },
             Case { QDate(2024, 2, 10), 5, 5, u"2024年 2月"_s },
             Case { QDate(2015, 2, 28), 4, 5, u"2015年 2月"_s } }) {
        platform::GridModel cal;
        const picks::CalendarMonth m = picks::DoCalendar(cal, c.day);
        EXPECT_EQ(m.weekRows, c.weekRows) << c.heading.toStdString();
        EXPECT_EQ(m.divisor, c.divisor) << c.heading.toStdString();
        EXPECT_EQ(m.heading, c.heading);
        EXPECT_EQ(cal.Rows(), 7);
        EXPECT_EQ(cal.TextMatrix(cal.Row(), cal.Col()), QString::number(c.day.day()));
        EXPECT_EQ(cal.Tag(), c.day.toString(u"yyyy/MM"_s));
    }
    platform::GridModel cal;
    picks::DoCalendar(cal, QDate(2024, 3, 1));
    EXPECT_EQ(cal.rowCells(0).join(u'|'), u"週日|週一|週二|週三|週四|週五|週六"_s);
    EXPECT_EQ(cal.TextMatrix(1, 5), u"1"_s) << "March 2024 starts on a Friday";
    EXPECT_EQ(cal.TextMatrix(6, 0), u"31"_s);
    EXPECT_EQ(picks::pickedDay(cal, 2, 2), u"2024/03/05"_s);
    EXPECT_EQ(picks::pickedDay(cal, 0, 2), QString()) << "the header row";
    EXPECT_EQ(picks::pickedDay(cal, 1, 0), QString()) << "an empty cell";
    EXPECT_EQ(picks::stepMonth(u"2024/01/31"_s, 1), QDate(2024, 2, 29));
    EXPECT_EQ(picks::stepMonth(u"2024/03/31"_s, -1), QDate(2024, 2, 29));
}

} // namespace
