// Hostile texts (quotes, statement separators, comment markers, backslashes, Big5 characters
// whose second byte is a backslash) through every statement that takes an outside value, on
// SQLite and PostgreSQL: each statement reads or changes exactly its own rows, and stores the
// text as it was given.
#include "db/connection.h"
#include "db/dbglobals.h"
#include "kport/portgrid.h"
#include "picks/roomorder.h"
#include "platform/echo.h"
#include "platform/gridmodel.h"
#include "print/printsurface.h"
#include "reports/shiftreport.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "tickets/kitchenticket.h"
#include "tickets/kitchenticketprinter.h"
#include "tickets/reprint.h"
#include "util/globals.h"
#include "util/grids.h"
#include "watch/orderwatch.h"

#include <QScopeGuard>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using test::Server;

namespace {

// At most 20 characters each: the narrowest column they reach is varchar(20).
const QStringList kHostile { u"O'Neil"_s, u"x' OR '1'='1"_s, u"';DROP TABLE KPORT--"_s, u"a/*b"_s,
    u"c:\\d\\"_s, u"\\'"_s, u"許功蓋"_s, u"許'"_s, u"功\\"_s, u"a;b -- c"_s };

class InjectionTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        platform::setEchoEnabled(false);
        if (GetParam() == Server::PostgreSQL && test::postgresConnectionString().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        table = std::make_unique<test::OrderTable>(cnt(), GetParam(), env.path(u"tavo.db"_s));
        SetDBType();
        g().gOPDate = u"2026/12/07"_s;
    }
    void TearDown() override { table.reset(); }

    static db::Connection &cnt() { return db::gCNT(); }

    // One ORDERI row of an open order; RNo is the row's number.
    void order(qint64 rno, const QString &port, const QString &text, const QString &pid = u"A05"_s)
    {
        cnt().execute(u"INSERT INTO ORDERI (RNo, KPort, OrderPID, KSMark, ItemName, PriceCap, TypeNo, Qty, "
                      "OrderDate, OrderTime) VALUES ("_s
            + QString::number(rno) + u", "_s + QuotStr(port) + u", "_s + QuotStr(pid) + u", 'S1', "_s
            + QuotStr(text) + u", "_s + QuotStr(text) + u", 3, "_s + QString::number(rno) + u", "_s
            + QuotDate(u"2026/12/07"_s) + u", '12:00:00')"_s);
    }
    // Every row of a table, cells joined by "|", in RNo (or key) order.
    QStringList dump(const QString &tableName, const QString &order = u"RNo"_s)
    {
        QStringList rows;
        db::Recordset rs = cnt().openRecordset(u"SELECT * FROM "_s + tableName + u" ORDER BY "_s + order);
        for (; !rs.eof(); rs.moveNext()) {
            QStringList cells;
            for (int i = 0; i < rs.fieldCount(); ++i)
                cells << rs.text(i);
            rows << cells.join(u'|');
        }
        return rows;
    }
    QString field(const QString &tableName, qint64 rno, const QString &column)
    {
        db::Recordset rs = cnt().openRecordset(
            u"SELECT "_s + column + u" FROM "_s + tableName + u" WHERE RNo = "_s + QString::number(rno));
        return rs.eof() ? u"<none>"_s : rs.text(0);
    }

    test::TestEnvironment env;
    test::FakePrinterCatalog printers { { u"TM-T88 Kitchen"_s } };
    std::unique_ptr<test::OrderTable> table;
};

TEST_P(InjectionTest, ReadingStatementsFindExactlyTheirRowsAndChangeNothing)
{
    for (int i = 0; i < kHostile.size(); ++i)
        order(i + 1, kHostile[i], kHostile[i], kHostile[i]);
    order(100, u"PK"_s, u"牛肉麵"_s);
    order(101, u"補單"_s, u"牛肉麵"_s); // a supplement row every hostile item name must miss
    const QStringList before = dump(u"ORDERI"_s);
    const reports::ShiftWindow window { u"2026/12/07"_s, u"2026/12/07"_s, u"11:00"_s, u"14:00"_s };

    for (int i = 0; i < kHostile.size(); ++i) {
        const QString &h = kHostile[i];
        SCOPED_TRACE(h.toStdString());

        platform::GridModel fg1;
        watch::InitFG1(fg1);
        watch::ScanBound bound;
        watch::AddFG1(fg1, bound, h, cnt());
        ASSERT_EQ(fg1.Rows(), 2) << "the scan lists the port's one row";
        EXPECT_EQ(fg1.TextMatrix(1, grids::OrderList::RNo), QString::number(i + 1));
        EXPECT_EQ(fg1.TextMatrix(1, grids::OrderList::ItemName), h);

        platform::GridModel room;
        ASSERT_TRUE(picks::LoadRoomOrder(room, h, cnt()));
        ASSERT_EQ(room.Rows(), 2) << "the room order lists the order's one row";
        EXPECT_EQ(room.TextMatrix(1, picks::RoomOrderColumns::OrderPID), h);

        db::Recordset list = cnt().openRecordset(reports::kpTypeListSql(h, window, true));
        ASSERT_FALSE(list.eof());
        EXPECT_EQ(list.text(u"ItemName"_s), h);
        EXPECT_EQ(list.number(u"SumQty"_s), i + 1);
        list.moveNext();
        EXPECT_TRUE(list.eof());
        db::Recordset extra = cnt().openRecordset(reports::supplementSql(3, h, h, window, true));
        EXPECT_TRUE(extra.eof() || extra.isNull(u"SumRtnQty"_s)) << "no supplement bears the name";
        // Hostile shift times and dates: the window holds nothing, and a date that is none is NULL.
        EXPECT_TRUE(cnt()
                        .openRecordset(reports::kpTypeListSql(h, { window.dateB, window.dateE, h, h }, false))
                        .eof());
        EXPECT_EQ(QuotDate(h), u"NULL"_s);
    }
    EXPECT_EQ(dump(u"ORDERI"_s), before);
}

TEST_P(InjectionTest, WritingStatementsStoreTextsAsGivenInTheirRowsOnly)
{
    // Parameters: inserted, then updated, each read back as written.
    SetParamValue(u"KPSortByType"_s, u"N"_s);
    for (const QString &h : kHostile) {
        ASSERT_TRUE(SetParamValue(h, h + u"1"_s));
        ASSERT_TRUE(SetParamValue(h, h));
    }
    for (const QString &h : kHostile) {
        QString value;
        EXPECT_TRUE(getParamValue(h, value, db::gCNT()));
        EXPECT_EQ(value, h);
    }
    QString sort;
    EXPECT_TRUE(getParamValue(u"KPSortByType"_s, sort, db::gCNT()));
    EXPECT_EQ(sort, u"N"_s);
    EXPECT_EQ(
        cnt().openRecordset(u"SELECT Count(*) FROM xxPARAM WHERE ParamValue = 'N'"_s).value(0).toInt(), 1);

    // KSMark of add-ons: the named rows only.
    for (int i = 0; i < kHostile.size(); ++i)
        order(i + 1, u"PK"_s, u"白飯"_s);
    for (int i = 0; i < kHostile.size(); i += 2) {
        tickets::KitchenTicket ticket;
        ticket.addOns.append({ QString::number(i + 1), u"白飯"_s, 1, QString() });
        tickets::markAddOns(cnt(), ticket, kHostile[i]);
    }
    for (int i = 0; i < kHostile.size(); ++i)
        EXPECT_EQ(field(u"ORDERI"_s, i + 1, u"KSMark"_s), i % 2 == 0 ? kHostile[i] : u"S1"_s);

    // The port grid: edits reach their record, a redirection moves only the old printer's rows.
    cnt().execute(u"DELETE FROM KPORT"_s);
    for (const QString &h : kHostile)
        cnt().execute(
            u"INSERT INTO KPORT (KPort, KPortType, KPortName, PrintList, PrintItem, Remark) VALUES ("_s
            + QuotStr(h) + u", 'EPSONTM', "_s + QuotStr(h) + u", 'Y', 'Y', '')"_s);
    platform::GridModel fgKPort;
    kport::LoadPortGrid(fgKPort, cnt(), *platform::services().settings);
    for (int row = 1; row < fgKPort.Rows(); ++row) {
        const qint64 rno = fgKPort.TextMatrix(row, grids::PortGrid::RNo).toLongLong();
        if (rno > 0) {
            EXPECT_EQ(kport::setCell(fgKPort, row, grids::PortGrid::Remark,
                          fgKPort.TextMatrix(row, grids::PortGrid::KPort), cnt()),
                QString());
        }
    }
    const QStringList ports = dump(u"KPORT"_s);
    for (const QString &h : kHostile) {
        EXPECT_EQ(kport::redirectPrinter(u"新"_s + h, h, cnt()), 1) << h.toStdString();
        EXPECT_EQ(kport::redirectPrinter(h, u"新"_s + h, cnt()), 1) << h.toStdString();
    }
    EXPECT_EQ(dump(u"KPORT"_s), ports) << "every printer went and came back alone";
    db::Recordset rs = cnt().openRecordset(u"SELECT KPort, KPortName, Remark FROM KPORT ORDER BY RNo"_s);
    for (const QString &h : kHostile) {
        ASSERT_FALSE(rs.eof());
        EXPECT_EQ(rs.text(0), h);
        EXPECT_EQ(rs.text(1), h);
        EXPECT_EQ(rs.text(2), h) << "the edit stored the cell's text";
        rs.moveNext();
    }
}

TEST_P(InjectionTest, ReprintReadsOnlyItsRowsWhateverTheirCellsAndNames)
{
    order(1, u"PK"_s, u"牛肉麵"_s);
    cnt().execute(u"UPDATE ORDERI SET OPDate = "_s + QuotDate(u"2026/12/07"_s) + u" WHERE RNo = 1"_s);
    const QStringList before = dump(u"ORDERI"_s);
    platform::GridModel fg1;
    fg1.setFormatString(u"RNo|KPort|OrderPID"_s);
    fg1.setRows(1);
    for (const QString &cell :
        { u"0 OR 1=1"_s, u"1) OR (1=1"_s, u"x' OR '1'='1"_s, u"1;DELETE FROM ORDERI"_s })
        fg1.addRow({ cell, u"PK"_s, u"A05"_s });
    print::PrintSurface vsp;
    tickets::KitchenTicketPrinter ticketPrinter(env.site(cnt()));
    const tickets::ReprintResult result = tickets::PrintKPortB(
        fg1, { 1, fg1.Rows() - 1, u"TM-T88 Kitchen"_s, false }, vsp, ticketPrinter, cnt());
    EXPECT_EQ(result.outcome, tickets::ReprintOutcome::NothingToPrint);
    EXPECT_EQ(result.reason, u"找不到所選的點單"_s);
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_EQ(dump(u"ORDERI"_s), before);

    // Open rows with hostile names find their own menu remark, and nothing else changes.
    g().gKPPrintMenuRemark = u"Y"_s;
    fg1.setRows(1);
    for (int i = 0; i < kHostile.size(); ++i) {
        order(i + 10, u"PK"_s, kHostile[i]);
        cnt().execute(u"INSERT INTO MENUITEM (TypeNo, ItemName, Remark) VALUES (3, "_s + QuotStr(kHostile[i])
            + u", "_s + QuotStr(u"R"_s + QString::number(i)) + u")"_s);
        fg1.addRow({ QString::number(i + 10), u"PK"_s, u"A05"_s });
    }
    const QStringList printedBefore = dump(u"ORDERI"_s);
    EXPECT_EQ(tickets::PrintKPortB(
                  fg1, { 1, fg1.Rows() - 1, u"TM-T88 Kitchen"_s, false }, vsp, ticketPrinter, cnt())
                  .outcome,
        tickets::ReprintOutcome::Printed);
    QStringList rows;
    for (const auto &job : printers.jobs)
        rows += job.document.tableRows();
    // The ticket's table keeps ";" for its own row ends and shows the full-width one instead.
    const QString ticketText = rows.join(u'\n').replace(u'；', u';');
    for (int i = 0; i < kHostile.size(); ++i)
        EXPECT_TRUE(ticketText.contains(kHostile[i] + u"-R"_s + QString::number(i) + u'|'))
            << kHostile[i].toStdString() << "\n"
            << ticketText.toStdString();
    EXPECT_EQ(dump(u"ORDERI"_s), printedBefore) << "a reprint marks nothing";
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
}

// A server whose default still reads backslashes as escapes, reached natively and through ODBC.
TEST(BackslashServer, LiteralsKeepTheirBackslashes)
{
    if (test::postgresConnectionString().isEmpty())
        GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
    test::TestEnvironment env;
    const QString database = qEnvironmentVariable("TAVO_TEST_PG_DB");
    db::Connection admin;
    admin.open(test::postgresConnectionString());
    admin.execute(u"ALTER DATABASE "_s + database + u" SET standard_conforming_strings = off"_s);
    const auto restore = qScopeGuard(
        [&] { admin.execute(u"ALTER DATABASE "_s + database + u" RESET standard_conforming_strings"_s); });
    for (const QString &connection :
        { test::postgresConnectionString(), test::postgresOdbcConnectionString() }) {
        SCOPED_TRACE(connection.left(connection.indexOf(u';')).toStdString());
        db::Connection cn;
        cn.open(connection);
        cn.execute(u"CREATE TEMP TABLE literal (v varchar(50))"_s);
        for (const QString &h : kHostile) {
            cn.execute(u"DELETE FROM literal"_s);
            try {
                cn.execute(u"INSERT INTO literal (v) VALUES ("_s + QuotStr(h) + u")"_s);
            } catch (...) {
                ADD_FAILURE() << "refused: " << h.toStdString();
                continue;
            }
            EXPECT_EQ(cn.openRecordset(u"SELECT v FROM literal"_s).text(0), h);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, InjectionTest, ::testing::Values(Server::SQLite, Server::PostgreSQL),
    [](const ::testing::TestParamInfo<Server> &info) { return std::string(test::serverName(info.param)); });

} // namespace
