// The order watch against a real ORDERI: which rows a scan lists, in what order, and where its
// bound stands afterwards, on SQLite and on PostgreSQL.
#include "platform/echo.h"
#include "platform/errors.h"
#include "platform/gridmodel.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/grids.h"
#include "watch/orderwatch.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using tavo::test::OrderTable;
using tavo::test::Server;

namespace {

class WatchTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        platform::setEchoEnabled(false); // the echo tests switch it on for themselves
        if (GetParam() == Server::PostgreSQL && test::postgresConnectionString().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        table = std::make_unique<OrderTable>(cnt, GetParam(), env.path(u"tavo.db"_s));
        watch::InitFG1(fg1);
    }

    bool scan(const QString &port = u"PK"_s, const watch::RowHook &hook = {})
    {
        return watch::AddFG1(fg1, bound, port, cnt, hook);
    }

    // Column 0 of every data row: the listed RNo values in grid order.
    QList<qint64> listed() const
    {
        QList<qint64> rnos;
        for (int r = 1; r < fg1.Rows(); ++r)
            rnos.append(fg1.TextMatrix(r, 0).toLongLong());
        return rnos;
    }

    test::TestEnvironment env;
    db::Connection cnt;
    std::unique_ptr<OrderTable> table;
    platform::GridModel fg1;
    watch::ScanBound bound;
};

TEST_P(WatchTest, FirstScanWithoutOpenRowsStartsAtTheNewest)
{
    for (int rno = 1; rno <= 120; ++rno) {
        table->insert(rno);
        table->close(rno);
    }
    EXPECT_TRUE(scan());
    EXPECT_TRUE(listed().isEmpty()) << "nothing of the past is listed";
    EXPECT_EQ(bound.highest(), 120);

    table->insert(121);
    table->insert(125);
    table->insert(126, u"PB"_s);
    table->insert(130);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 121, 125, 130 }));
    EXPECT_EQ(bound.highest(), 130);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed().size(), 3) << "a row enters the grid once";
}

TEST_P(WatchTest, FirstScanListsTheOldestOpenRowToo)
{
    table->insert(5);
    table->close(5);
    table->insert(6);
    table->insert(7);
    table->insert(8, u"PB"_s);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 6, 7 }));
    EXPECT_EQ(bound.highest(), 7);

    // The only open row is also the newest: it is listed, and not again.
    watch::InitFG1(fg1);
    bound.reset();
    EXPECT_TRUE(scan(u"PB"_s));
    EXPECT_EQ(listed(), (QList<qint64> { 8 }));
    EXPECT_EQ(bound.highest(), 8);
    EXPECT_TRUE(scan(u"PB"_s));
    EXPECT_EQ(listed(), (QList<qint64> { 8 }));
}

TEST_P(WatchTest, ChangedRowWaitsForTheNextUnchangedOne)
{
    table->insert(130);
    EXPECT_TRUE(scan());
    ASSERT_EQ(bound.highest(), 130);
    table->insert(131);
    table->change(131);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 130 }));
    EXPECT_EQ(bound.highest(), 130);
    table->insert(135);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 130, 131, 135 }));
}

TEST_P(WatchTest, RowsAboveTheBoundAreListedEvenWhenClosedOrDeleted)
{
    table->insert(10);
    EXPECT_TRUE(scan());
    ASSERT_EQ(bound.highest(), 10);
    table->insert(11);
    table->close(11); // settled at the terminal before the next scan
    table->insert(12);
    table->execute(u"UPDATE ORDERI SET DelMark = 'D' WHERE RNo = 12"_s);
    table->insert(13);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 10, 11, 12, 13 })) << "the kitchen sees what was ordered";
    EXPECT_EQ(fg1.TextMatrix(3, grids::OrderList::DelMark), u"D"_s);
}

TEST_P(WatchTest, AScanAfterTheServerDroppedTheLinkListsEachNewRowOnce)
{
    if (GetParam() != Server::PostgreSQL)
        GTEST_SKIP() << "a file database has no link to lose";
    table->insert(1);
    EXPECT_TRUE(scan());
    table->insert(2);
    table->insert(3);
    table->cutLink();
    EXPECT_TRUE(scan()) << env.readErr().toStdString();
    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3 }));
    EXPECT_TRUE(env.readErr().isEmpty()) << "nothing for the operator to see";
}

TEST_P(WatchTest, BoundNeverGoesBack)
{
    table->insert(40);
    table->insert(41);
    EXPECT_TRUE(scan());
    ASSERT_EQ(bound.highest(), 41);
    table->removePort(u"PK"_s);
    EXPECT_TRUE(scan()) << "no row of the port at all";
    EXPECT_EQ(bound.highest(), 41);
    table->insert(39); // committed late, below the bound
    table->insert(41 + 1);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 40, 41, 42 }));

    bound.reset(); // as a change of port does: a first scan
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 39, 42 })) << "the grid starts again from the oldest open row";
}

TEST_P(WatchTest, PortCodesAreQuotedAndMatchedExactly)
{
    table->insert(1, u"P'K"_s);
    table->insert(2, u"PK"_s);
    table->insert(3, QString());
    OrderTable::Row nullPort;
    nullPort.rno = 4;
    nullPort.port = QVariant();
    table->insert(nullPort);

    EXPECT_TRUE(scan(u"P'K"_s));
    EXPECT_EQ(listed(), (QList<qint64> { 1 }));
    watch::InitFG1(fg1);
    bound.reset();
    EXPECT_TRUE(scan(QString()));
    EXPECT_EQ(listed(), (QList<qint64> { 3 })) << "an empty port matches the empty code only";
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_P(WatchTest, CellsHoldTheColumnsAsTextAndNullAsEmpty)
{
    OrderTable::Row odd;
    odd.rno = 10;
    odd.itemName = u"老闆's 招牌🍜滷肉飯"_s;
    odd.remark = u"不要香菜'、'少辣"_s;
    odd.updDate = QVariant();
    table->insert(odd);
    OrderTable::Row empty;
    empty.rno = 11;
    empty.nullsEverywhere = true;
    table->insert(empty);

    // The rows are told to the scan's caller as they are appended; the scan itself echoes
    // nothing, whoever runs it.
    QList<QStringList> told;
    QStringList echoed;
    platform::setEchoEnabled(true);
    platform::setEchoSink([&](const QString &line) { echoed.append(line); });
    EXPECT_TRUE(scan(u"PK"_s, [&](const QStringList &cells) {
        told.append(cells);
        EXPECT_EQ(fg1.rowCells(fg1.Rows() - 1), cells) << "told once appended";
    }));
    platform::setEchoSink({});
    platform::setEchoEnabled(false);

    ASSERT_EQ(listed(), (QList<qint64> { 10, 11 }));
    EXPECT_EQ(fg1.Cols(), 14);
    EXPECT_EQ(fg1.TextMatrix(1, 1), u"PK"_s);
    EXPECT_EQ(fg1.TextMatrix(1, 3), u"A05-1"_s);
    EXPECT_EQ(fg1.TextMatrix(1, 6), u"老闆's 招牌🍜滷肉飯"_s);
    EXPECT_EQ(fg1.TextMatrix(1, 8), u"2"_s);
    EXPECT_EQ(fg1.TextMatrix(1, 9), u"不要香菜'、'少辣"_s);
    EXPECT_EQ(fg1.TextMatrix(1, 12), u"2026/12/07 14:00:00"_s);
    EXPECT_EQ(fg1.TextMatrix(1, 13), QString());
    for (int c = 2; c < 14; ++c)
        EXPECT_EQ(fg1.TextMatrix(2, c), QString()) << "column " << c;
    EXPECT_TRUE(fg1.ColHidden(2) && fg1.ColHidden(12) && fg1.ColHidden(13));
    EXPECT_FALSE(fg1.ColHidden(6));

    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[0], fg1.rowCells(1));
    EXPECT_EQ(told[1].size(), 14);
    EXPECT_EQ(told[1].mid(0, 2), (QStringList { u"11"_s, u"PK"_s }));
    EXPECT_TRUE(echoed.isEmpty()) << echoed.join(u'\n').toStdString();
}

TEST_P(WatchTest, AFailedListingIsListedAtTheNextScan)
{
    table->insert(1);
    EXPECT_TRUE(scan());
    table->insert(2);
    table->insert(3);
    table->breakListing();
    EXPECT_FALSE(scan());
    table->mendListing();
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.prompter.boxes[0].text.contains(u"處理程序: (fmTavoKPortSrv_AddFG1)"_s));
    EXPECT_TRUE(env.readErr().contains(u"fmTavoKPortSrv_AddFG1"_s));
    EXPECT_EQ(bound.highest(), 1) << "the bound stays on what was listed";
    EXPECT_TRUE(fg1.Redraw()) << "repainting comes back after a failure";

    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3 }));
}

TEST_P(WatchTest, AScanBrokenOffMidwayGoesOnAfterTheLastListedRow)
{
    for (int rno = 1; rno <= 5; ++rno)
        table->insert(rno);
    int rows = 0;
    EXPECT_FALSE(scan(u"PK"_s, [&](const QStringList &) {
        if (++rows == 3)
            throw TavoError(-2147467259, u"Connection lost"_s);
    }));
    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3 }));
    EXPECT_EQ(bound.highest(), 3);
    EXPECT_TRUE(scan());
    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3, 4, 5 }));
}

INSTANTIATE_TEST_SUITE_P(Servers, WatchTest, ::testing::Values(Server::SQLite, Server::PostgreSQL),
    [](const auto &info) { return std::string(test::serverName(info.param)); });

} // namespace
