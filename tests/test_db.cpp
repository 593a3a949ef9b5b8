// The data layer against real databases: SQLite, a PostgreSQL server, and the same server
// reached through ODBC (Provider=MSDASQL with psqlODBC). Every database gets its tables from the
// demo schema files, so the schema is checked on each of them too. The server cases skip when
// TAVO_TEST_PG_HOST is not set.
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "demo/demosite.h"
#include "demo/orderfeed.h"
#include "demo/rowgenerator.h"
#include "platform/ini.h"
#include "support/test_environment.h"
#include "util/globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;
using namespace tavo;
using tavo::test::TestEnvironment;

namespace {

QString sourceDir()
{
    const QString fromCtest = qEnvironmentVariable("TAVO_TEST_SOURCE_DIR");
    if (!fromCtest.isEmpty())
        return fromCtest;
    return QFileInfo(QString::fromUtf8(__FILE__)).absoluteDir().filePath(u".."_s);
}

QString schemaFile(const QString &name)
{
    QFile file(QDir(sourceDir()).filePath(u"demo/schema/"_s + name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool haveServer()
{
    return !qEnvironmentVariableIsEmpty("TAVO_TEST_PG_HOST");
}

// One schema per test process, so hand runs beside ctest never meet.
QString pgSchema()
{
    return u"tdb%1"_s.arg(QCoreApplication::applicationPid());
}

QString pgNative(const QString &extra = {})
{
    return test::postgresConnectionString() + extra;
}

QString pgOdbc(const QString &extra = {})
{
    return test::postgresOdbcConnectionString() + extra;
}

void runScript(db::Connection &cn, const QString &script)
{
    ASSERT_FALSE(script.isEmpty()) << "schema file not found under " << sourceDir().toStdString();
    for (const QString &statement : demo::splitStatements(script))
        cn.execute(statement);
}

QString errText(const TestEnvironment &env)
{
    return env.readErr();
}

int blocks(const QString &err, const QString &tag)
{
    return int(err.count(u"處理程序: ("_s + tag + u")"_s));
}

const QRegularExpression kStamp(u"^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s);

} // namespace

// ---------------------------------------------------------------------------------------------
// The same behaviour on every database.

class DbBackend : public ::testing::TestWithParam<std::string> {
protected:
    QString backend() const { return QString::fromStdString(GetParam()); }

    void SetUp() override
    {
        env = std::make_unique<TestEnvironment>();
        if (backend() == u"SQLite"_s) {
            connectionString = u"Provider=SQLite;Data Source=pos.db"_s;
            QFile(env->path(u"pos.db"_s)).open(QIODevice::WriteOnly);
            script = schemaFile(u"sqlite.sql"_s);
        } else {
            if (!haveServer())
                GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
            db::Connection admin;
            admin.open(pgNative());
            admin.execute(u"DROP SCHEMA IF EXISTS "_s + pgSchema() + u" CASCADE"_s);
            admin.execute(u"CREATE SCHEMA "_s + pgSchema());
            connectionString = backend() == u"PostgreSQL"_s
                ? pgNative(u";Search Path="_s + pgSchema())
                : pgOdbc(u";ConnSettings=SET search_path TO "_s + pgSchema());
            script = schemaFile(u"postgresql.sql"_s);
        }
        ASSERT_TRUE(ConnectADO(connectionString, db::gCNT())) << errText(*env).toStdString();
        SetDBType();
        runScript(db::gCNT(), script);
    }

    void TearDown() override
    {
        db::gCNT().close();
        if (backend() != u"SQLite"_s && haveServer()) {
            db::Connection admin;
            admin.open(pgNative());
            admin.execute(u"DROP SCHEMA IF EXISTS "_s + pgSchema() + u" CASCADE"_s);
        }
        env.reset();
    }

    db::Connection &cn() { return db::gCNT(); }

    void insertItem(const QString &kport, const QString &name, double qty, const QString &more = {})
    {
        cn().execute(u"INSERT INTO ORDERI (KPort, ItemName, Qty, OrderPID, ItemType, ListNo"_s
            + (more.isEmpty() ? QString() : u", Remark"_s) + u") VALUES ("_s + QuotStr(kport) + u", "_s
            + QuotStr(name) + u", "_s + QString::number(qty) + u", 'A05-01', '', 1"_s
            + (more.isEmpty() ? QString() : u", "_s + QuotStr(more)) + u")"_s);
    }

    std::unique_ptr<TestEnvironment> env;
    QString connectionString;
    QString script;
};

INSTANTIATE_TEST_SUITE_P(Databases, DbBackend, ::testing::Values("SQLite", "PostgreSQL", "PostgreSQL-ODBC"),
    [](const auto &info) { return QString::fromStdString(info.param).remove(u'-').toStdString(); });

TEST_P(DbBackend, ALostServerLinkIsReopenedOnceButStatementErrorsAreNotRetried)
{
    if (backend() == u"SQLite"_s)
        GTEST_SKIP() << "a file database has no link to lose";
    insertItem(u"PK"_s, u"牛肉麵"_s, 1);
    const auto serverProcess = [&] {
        return cn().openRecordset(u"SELECT pg_backend_pid() AS pid"_s, db::Cursor::Client).text(u"pid"_s);
    };
    // What a server restart or a dropped network does to the service's connection.
    const auto cut = [](const QString &pid) {
        db::Connection admin;
        admin.open(pgNative());
        admin.execute(u"SELECT pg_terminate_backend("_s + pid + u")"_s);
    };
    const QString first = serverProcess();
    cut(first);
    EXPECT_EQ(
        cn().openRecordset(u"SELECT Count(*) AS n FROM ORDERI"_s, db::Cursor::Client).text(u"n"_s), u"1"_s);
    const QString second = serverProcess();
    EXPECT_NE(second, first) << "the statement ran on a fresh link";
    EXPECT_THROW(cn().execute(u"SELEC 1"_s), db::DbError);
    EXPECT_EQ(serverProcess(), second) << "an error of the statement keeps the link";

    cn().beginTrans();
    cut(second);
    EXPECT_THROW(cn().execute(u"UPDATE ORDERI SET Qty = 2"_s), db::DbError) << "a transaction's work is gone";
    try {
        cn().rollbackTrans(); // the ODBC driver lets a rollback on a dead link pass; Qt's does not
    } catch (const db::DbError &) {
    }
    EXPECT_EQ(cn().execute(u"UPDATE ORDERI SET Qty = 3"_s), 1)
        << "outside the transaction, the link comes back";
}

TEST_P(DbBackend, SchemaRunsTwiceAndAnswersInAnyLetterCase)
{
    runScript(cn(), script); // a site set up again keeps its tables
    insertItem(u"PK"_s, u"牛肉麵"_s, 1);
    db::Recordset rs = cn().openRecordset(u"SELECT rno, ITEMNAME FROM OrderI WHERE kport = 'PK'"_s);
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.text(u"RNo"_s), u"1"_s);
    EXPECT_EQ(rs.text(u"ItemName"_s), u"牛肉麵"_s);
    for (const QString &table : { u"KPORT"_s, u"MenuType"_s, u"MENUITEM"_s, u"xxPARAM"_s })
        EXPECT_TRUE(cn().openRecordset(u"SELECT * FROM "_s + table).eof()) << table.toStdString();
}

TEST_P(DbBackend, NullEmptyNumbersAndDatesReadAsText)
{
    cn().execute(
        u"INSERT INTO ORDERI (KPort, KSMark, Remark, Qty, Price, Amt, FileDate, OrderTime, ItemName) "
        "VALUES ('PK', '', NULL, 2, 0.5, 1000000, '2024/05/01 13:05:00', '13:05:00', '時價魚')"_s);
    db::Recordset rs = cn().openRecordset(u"SELECT * FROM ORDERI"_s);
    ASSERT_FALSE(rs.eof());
    EXPECT_TRUE(rs.isNull(u"Remark"_s));
    EXPECT_EQ(rs.text(u"Remark"_s), QString());
    EXPECT_FALSE(rs.isNull(u"KSMark"_s));
    EXPECT_EQ(rs.text(u"KSMark"_s), QString());
    EXPECT_EQ(rs.text(u"qty"_s), u"2"_s);
    EXPECT_EQ(rs.text(u"PRICE"_s), u"0.5"_s);
    EXPECT_EQ(rs.text(u"Amt"_s), u"1000000"_s);
    EXPECT_EQ(rs.text(u"FileDate"_s), u"2024/05/01 13:05:00"_s);
    EXPECT_EQ(rs.text(u"OrderTime"_s), u"13:05:00"_s);
    EXPECT_EQ(rs.text(u"ItemName"_s), u"時價魚"_s);
    EXPECT_EQ(rs.number(u"Qty"_s), 2);
    EXPECT_EQ(rs.number(u"Price"_s), 0.5);
    EXPECT_EQ(rs.number(u"UpdDate"_s), 0);
    EXPECT_TRUE(rs.isNull(u"UpdDate"_s));
    try {
        rs.value(u"NoSuchField"_s);
        ADD_FAILURE() << "an unknown field must throw";
    } catch (const db::DbError &e) {
        EXPECT_EQ(e.number(), db::kErrItemNotFound);
        EXPECT_TRUE(e.description().contains(u"NoSuchField"_s));
    }
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_THROW(rs.text(u"Qty"_s), db::DbError);
}

TEST_P(DbBackend, ExecuteCountsTheRowsItChanged)
{
    for (const QString &port : { u"PK"_s, u"PK"_s, u"PB"_s })
        EXPECT_EQ(cn().execute(u"INSERT INTO ORDERI (KPort, Qty) VALUES ("_s + QuotStr(port) + u", 1)"_s), 1);
    EXPECT_EQ(cn().execute(u"UPDATE ORDERI SET KSMark = '0001' WHERE KPort = 'PK'"_s), 2);
    EXPECT_EQ(cn().execute(u"UPDATE ORDERI SET KSMark = '0001' WHERE KPort = 'XX'"_s), 0);
    EXPECT_EQ(cn().execute(u"DELETE FROM ORDERI WHERE KPort = 'PB'"_s), 1);
    EXPECT_EQ(cn().execute(u"SELECT * FROM ORDERI"_s), -1);
}

TEST_P(DbBackend, ClientCursorMovesBothWaysForwardOnlyDoesNot)
{
    for (int i = 1; i <= 3; ++i)
        insertItem(u"PK"_s, u"品項%1"_s.arg(i), i);
    const QString sql = u"SELECT RNo, ItemName FROM ORDERI ORDER BY RNo"_s;
    db::Recordset rs = cn().openRecordset(sql, db::Cursor::Client);
    EXPECT_EQ(rs.recordCount(), 3);
    EXPECT_FALSE(rs.bof());
    EXPECT_EQ(rs.text(u"ItemName"_s), u"品項1"_s);
    rs.moveLast();
    EXPECT_EQ(rs.text(u"ItemName"_s), u"品項3"_s);
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_THROW(rs.moveNext(), db::DbError);
    rs.movePrevious(); // back from EOF to the last row, as the ticket's add-on scan does
    EXPECT_EQ(rs.text(u"ItemName"_s), u"品項3"_s);
    rs.moveFirst();
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    EXPECT_FALSE(rs.eof());
    EXPECT_THROW(rs.movePrevious(), db::DbError);
    rs.moveNext();
    EXPECT_EQ(rs.text(u"ItemName"_s), u"品項1"_s);

    db::Recordset none = cn().openRecordset(u"SELECT * FROM ORDERI WHERE RNo < 0"_s, db::Cursor::Client);
    EXPECT_TRUE(none.bof() && none.eof());
    EXPECT_EQ(none.recordCount(), 0);
    none.moveFirst();
    EXPECT_TRUE(none.eof());

    db::Recordset forward = cn().openRecordset(sql);
    EXPECT_EQ(forward.recordCount(), -1);
    try {
        forward.movePrevious();
        ADD_FAILURE() << "a forward-only cursor cannot move back";
    } catch (const db::DbError &e) {
        EXPECT_EQ(e.number(), db::kErrNotSupported);
    }
    int seen = 0;
    for (; !forward.eof(); forward.moveNext())
        ++seen;
    EXPECT_EQ(seen, 3);
    try {
        forward.value(0);
        ADD_FAILURE() << "no current row past the end";
    } catch (const db::DbError &e) {
        EXPECT_EQ(e.number(), db::kErrNoCurrentRecord);
    }
    db::Recordset emptyForward = cn().openRecordset(u"SELECT * FROM ORDERI WHERE RNo < 0"_s);
    EXPECT_TRUE(emptyForward.bof() && emptyForward.eof());
}

TEST_P(DbBackend, StatementsRunWhileAForwardOnlyQueryIsOpen)
{
    // The shift report queries inside its loop and the ticket marks add-on rows while walking.
    for (int i = 1; i <= 5; ++i)
        insertItem(i % 2 ? u"PK"_s : u"補單"_s, u"品項%1"_s.arg(i % 2), i);
    db::Recordset outer = cn().openRecordset(u"SELECT RNo, ItemName FROM ORDERI ORDER BY RNo"_s);
    int rows = 0;
    for (; !outer.eof(); outer.moveNext()) {
        ++rows;
        db::Recordset sum
            = cn().openRecordset(u"SELECT Sum(Qty) as SumRtnQty FROM ORDERI WHERE KPort = '補單'"
                                 " AND ItemName = "_s
                + QuotStr(outer.text(u"ItemName"_s)));
        EXPECT_FALSE(sum.eof());
        cn().execute(u"UPDATE ORDERI SET KSMark = 'S' WHERE RNo = "_s + outer.text(u"RNo"_s));
    }
    EXPECT_EQ(rows, 5);
    EXPECT_EQ(cn().openRecordset(u"SELECT COUNT(*) AS N FROM ORDERI WHERE KSMark = 'S'"_s).number(u"N"_s), 5);
}

TEST_P(DbBackend, StatementErrorsCarryTheDriversText)
{
    try {
        cn().execute(u"UPDATE NoSuchTable SET x = 1"_s);
        ADD_FAILURE() << "expected a DbError";
    } catch (const db::DbError &e) {
        EXPECT_TRUE(e.description().contains(u"nosuchtable"_s, Qt::CaseInsensitive))
            << e.description().toStdString();
        EXPECT_NE(e.number(), 0);
    }
    EXPECT_THROW(cn().openRecordset(u"SELECT FROM WHERE"_s), db::DbError);
    // The connection is still usable after a failed statement.
    insertItem(u"PK"_s, u"x"_s, 1);
    EXPECT_FALSE(cn().openRecordset(u"SELECT * FROM ORDERI"_s).eof());
}

TEST_P(DbBackend, ParametersInsertWithFileDateAndUpdateWithUpdDate)
{
    QString value = u"untouched"_s;
    EXPECT_FALSE(getParamValue(u"KPTest"_s, value, db::gCNT()));
    EXPECT_EQ(value, u"untouched"_s);

    ASSERT_TRUE(SetParamValue(u"KPTest"_s, u" A "_s));
    auto row = [&] {
        return cn().openRecordset(u"SELECT * FROM xxPARAM WHERE ParamID = 'KPTest'"_s, db::Cursor::Client);
    };
    db::Recordset first = row();
    ASSERT_EQ(first.recordCount(), 1);
    EXPECT_EQ(first.text(u"ParamValue"_s), u"A"_s); // QuotStr trims
    EXPECT_TRUE(first.isNull(u"UpdDate"_s));
    const QString fileDate = first.text(u"FileDate"_s);
    EXPECT_TRUE(kStamp.match(fileDate).hasMatch()) << fileDate.toStdString();
    if (backend() == u"SQLite"_s) { // the server's clock is the machine's here
        EXPECT_LE(std::abs(QDateTime::fromString(fileDate, u"yyyy/MM/dd hh:mm:ss"_s)
                               .secsTo(QDateTime::currentDateTime())),
            120);
    }
    EXPECT_TRUE(getParamValue(u"KPTest"_s, value, db::gCNT()));
    EXPECT_EQ(value, u"A"_s);

    ASSERT_TRUE(SetParamValue(u"KPTest"_s, u"B"_s));
    db::Recordset second = row();
    ASSERT_EQ(second.recordCount(), 1);
    EXPECT_EQ(second.text(u"ParamValue"_s), u"B"_s);
    EXPECT_EQ(second.text(u"FileDate"_s), fileDate);
    EXPECT_TRUE(kStamp.match(second.text(u"UpdDate"_s)).hasMatch());

    cn().execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('Empty', ''), ('Null', NULL)"_s);
    value = u"x"_s;
    EXPECT_FALSE(getParamValue(u"Empty"_s, value, db::gCNT()));
    EXPECT_EQ(value, QString());
    value = u"x"_s;
    EXPECT_FALSE(getParamValue(u"Null"_s, value, db::gCNT()));
    EXPECT_EQ(value, QString());

    ASSERT_TRUE(SetParamValue(u"O'Neil"_s, u"it's"_s));
    EXPECT_TRUE(getParamValue(u"O'Neil"_s, value, db::gCNT()));
    EXPECT_EQ(value, u"it's"_s);
    EXPECT_TRUE(env->prompter.boxes.isEmpty());
}

TEST_P(DbBackend, DateLiteralsCompareAsTheShiftReportNeeds)
{
    for (const QDate &day : { QDate(2024, 2, 29), QDate(2024, 3, 1), QDate(2024, 3, 2) })
        cn().execute(u"INSERT INTO ORDERI (KPort, OrderDate, OrderTime, Qty) VALUES ('PK', "_s + QuotDate(day)
            + u", '22:30:00', 1)"_s);
    db::Recordset rs = cn().openRecordset(u"SELECT OrderDate FROM ORDERI WHERE OrderI.OrderDate >= "_s
            + QuotDate(u"2024/03/01"_s) + u"   AND OrderI.OrderDate <= "_s + QuotDate(u"2024/03/01"_s)
            + u"   AND OrderTime >= "_s + QuotStr(u"22:00:00"_s),
        db::Cursor::Client);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.text(u"OrderDate"_s), u"2024/03/01 00:00:00"_s);
    EXPECT_EQ(
        cn().openRecordset(u"SELECT * FROM ORDERI WHERE OrderDate = "_s + QuotDate(u"not a date"_s)).eof(),
        true);
}

TEST_P(DbBackend, StartUpOpensTheDatabaseNamedInTheIni)
{
    db::gCNT().close();
    g().gSQLNow.clear();
    // Without the test's schema setting: an INI value keeps to 127 bytes.
    const QString cs = backend() == u"SQLite"_s ? connectionString
        : backend() == u"PostgreSQL"_s          ? pgNative()
                                                : pgOdbc();
    ASSERT_LE(cs.size(), 127);
    env->writeIni(TestEnvironment::big5(u"[PARAM]\r\nCustName=示範餐廳\r\nGCNT="_s + cs + u"\r\n"_s));
    QString tried;
    ASSERT_TRUE(InitINIgCNTNoPWD(&tried)) << env->readErr().toStdString();
    EXPECT_EQ(tried, cs);
    EXPECT_TRUE(db::gCNT().isOpen());
    EXPECT_EQ(g().gSQLNow,
        backend() == u"SQLite"_s ? u"strftime('%Y/%m/%d %H:%M:%S','now','localtime')"_s : u"now()"_s);
}

TEST_P(DbBackend, DemoDataAndFeedLookLikeAPosSite)
{
    const QDate today = QDate::currentDate();
    demo::SampleOptions options;
    options.kitchenPrinter = u"廚房出單機"_s;
    EXPECT_GT(demo::loadSampleData(cn(), options), 40);
    EXPECT_EQ(demo::loadSampleData(cn(), options), 1); // again: only OPDATE is written
    QString opDate;
    ASSERT_TRUE(getParamValue(u"OPDATE"_s, opDate, db::gCNT()));
    EXPECT_EQ(opDate, today.toString(u"yyyy/MM/dd"_s));
    ASSERT_TRUE(getParamValue(u"KPCycleTime"_s, opDate, db::gCNT()));
    EXPECT_EQ(opDate, u"4"_s);
    db::Recordset ports = cn().openRecordset(u"Select RNo, KPort, KPortType, KPortName, "_s
            + u" PrintList, PrintItem, Remark "_s + u" From KPORT"_s + u" WHERE KPortType = 'EPSONTM' "_s
            + u"   AND (PrintList = 'Y' or PrintItem = 'Y') ORDER BY KPort DESC"_s,
        db::Cursor::Client);
    ASSERT_EQ(ports.recordCount(), 2);
    EXPECT_EQ(ports.text(u"KPort"_s), u"PK"_s);
    EXPECT_EQ(ports.text(u"KPortName"_s), u"廚房出單機"_s);
    EXPECT_FALSE(
        cn().openRecordset(u"Select * FROM MENUITEM WHERE TypeNo = 4   AND ItemName = '清蒸石斑'"_s).eof());

    demo::OrderFeed feed(cn(), 7);
    int lines = 0;
    for (int i = 0; i < 40; ++i)
        lines += int(feed.step().size());
    EXPECT_GE(lines, 40);
    // Every add-on row follows, in list order, a row of the same order.
    db::Recordset rows = cn().openRecordset(
        u"SELECT OrderPID, ItemType, ListNo, Qty, KSMark FROM ORDERI ORDER BY RNo"_s, db::Cursor::Client);
    QString previousOrder;
    int previousList = 0, addOns = 0;
    for (; !rows.eof(); rows.moveNext()) {
        const QString type = rows.text(u"ItemType"_s);
        if (type == u"A1"_s || type == u"T1"_s || type == u"AN"_s || type == u"TN"_s) {
            ++addOns;
            EXPECT_EQ(rows.text(u"OrderPID"_s), previousOrder);
            EXPECT_EQ(int(rows.number(u"ListNo"_s)), previousList + 1);
            EXPECT_TRUE(rows.isNull(u"KSMark"_s)); // the printed ticket fills it in
        }
        previousOrder = rows.text(u"OrderPID"_s);
        previousList = int(rows.number(u"ListNo"_s));
    }
    EXPECT_GT(addOns, 0);
    EXPECT_FALSE(feed.returnItem().isEmpty());
    EXPECT_FALSE(cn().openRecordset(u"SELECT * FROM ORDERI WHERE Qty < 0"_s).eof());
    feed.rushItem();
    EXPECT_FALSE(cn().openRecordset(u"SELECT * FROM ORDERI WHERE Qty = 0"_s).eof());
    feed.supplementItem();
    for (int i = 0; i < 100; ++i)
        feed.step();
    // As a POS numbers them: the rows of each open order 1, 2, 3 ... in the order they came,
    // more items, returns and rush requests for the table included.
    db::Recordset openRows = cn().openRecordset(
        u"SELECT OrderPID, ListNo FROM ORDERI WHERE OPDate IS NULL ORDER BY OrderPID, RNo"_s,
        db::Cursor::Client);
    QHash<QString, int> lastListNo;
    for (; !openRows.eof(); openRows.moveNext()) {
        const QString order = openRows.text(u"OrderPID"_s);
        EXPECT_EQ(int(openRows.number(u"ListNo"_s)), ++lastListNo[order]) << order.toStdString();
    }
    EXPECT_GT(lastListNo.size(), 1);

    demo::RowOptions bulk;
    bulk.rows = 1234;
    bulk.days = 3;
    bulk.lastDay = today;
    const double before = cn().openRecordset(u"SELECT COUNT(*) AS N FROM ORDERI"_s).number(u"N"_s);
    EXPECT_EQ(demo::generateRows(cn(), bulk), 1234);
    EXPECT_EQ(cn().openRecordset(u"SELECT COUNT(*) AS N FROM ORDERI"_s).number(u"N"_s), before + 1234);
    db::Recordset open = cn().openRecordset(
        u"SELECT Min(RNo) as MinRNo From ORDERI WHERE OPDate is NULL and KPort = 'PK'"_s);
    EXPECT_GT(open.number(u"MinRNo"_s), 0);
}

// ---------------------------------------------------------------------------------------------
// Failures: reported where they should be, never thrown at the caller, nothing lost.

TEST(DbFailures, ConnectADORefusalsGoToTheErrorLogOnly)
{
    TestEnvironment env;
    const QStringList refused {
        QString(), u"Provider=Nonsense;Data Source=x"_s, u"Provider=SQLite;Data Source=missing.db"_s,
        u"Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial Catalog=x;User ID=u;Password=secret"_s,
        u"Provider=SQLOLEDB;Data Source=s;Integrated Security=SSPI"_s,
        u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=IDMSG.MDB"_s,
        u"Provider=MSDAORA;Data Source=POSDB;User ID=pos;Password=x"_s,
        u"Provider=MSDASQL;Driver={SQLite};Database=x.db"_s, // the broken entry of this machine
    };
    db::Connection cn;
    for (const QString &cs : refused) {
        EXPECT_FALSE(ConnectADO(cs, cn)) << cs.toStdString();
        EXPECT_FALSE(cn.isOpen());
    }
    const QString err = env.readErr();
    EXPECT_EQ(blocks(err, u"ConnectADO"_s), refused.size()) << err.toStdString();
    EXPECT_TRUE(err.contains(u"Nonsense"_s));
    EXPECT_TRUE(err.contains(u"missing.db"_s));
    EXPECT_TRUE(err.contains(u"Oracle ODBC driver not installed"_s));
    EXPECT_FALSE(err.contains(u"secret"_s));
    EXPECT_FALSE(QFile::exists(env.path(u"missing.db"_s))); // a typo never creates an empty database
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
    EXPECT_EQ(env.prompter.beeps, 0);
}

TEST(DbFailures, StartUpWithoutAUsableIniReturnsFalse)
{
    TestEnvironment env;
    EXPECT_FALSE(InitINIgCNTNoPWD()); // no INI at all
    env.writeIni(QByteArray());
    EXPECT_FALSE(InitINIgCNTNoPWD());
    env.writeIni(QByteArray("[PARAM]\r\nGCNT=\xff\xfe\x80\x81Provider=\x01\r\n\x00\x00garbage", 36));
    EXPECT_FALSE(InitINIgCNTNoPWD());
    env.writeIni(QByteArray("[PARAM]\r\nGCNT=Provider=SQLite;Data Source=\"unterminated\r\n"));
    EXPECT_FALSE(InitINIgCNTNoPWD());
    EXPECT_EQ(blocks(env.readErr(), u"ConnectADO"_s), 4);
    EXPECT_EQ(g().gSQLNow, QString()); // the dialect stays as initialised
    EXPECT_EQ(g().gSQLQuote, u"'"_s);

    // A relative SQLite file is found beside the program.
    QFile(env.path(u"tavo.db"_s)).open(QIODevice::WriteOnly);
    env.writeIni(QByteArray("[PARAM]\r\nGCNT=Provider=SQLite;Data Source=tavo.db\r\n"));
    EXPECT_TRUE(InitINIgCNTNoPWD());
    EXPECT_EQ(db::gCNT().dataSource(), u"tavo.db"_s);
    EXPECT_EQ(g().gSQLQuote, u"'"_s);
    EXPECT_FALSE(g().gSQLNow.isEmpty());
    db::gCNT().close();
}

TEST(DbFailures, MessageDatabaseMissingOrUnreadable)
{
    TestEnvironment env;
    EXPECT_FALSE(InitMsgDB());
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].text, u"Error Open MSGDB:"_s + env.dir() + u"/IDMSG.MDB"_s);
    EXPECT_EQ(env.prompter.boxes[0].icon, platform::BoxIcon::Information);
    EXPECT_EQ(env.readErr(), QString());

    // A file is there but cannot be opened (no Access driver here, or a damaged file).
    env.writeIni(QByteArray("[PARAM]\r\nIDMSG=msg.mdb\r\n"));
    QFile file(env.path(u"msg.mdb"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an access file");
    file.close();
    EXPECT_FALSE(InitMsgDB());
    EXPECT_EQ(blocks(env.readErr(), u"InitMsgDB"_s), 1);
    EXPECT_EQ(env.prompter.boxes.size(), 2);
    EXPECT_EQ(env.prompter.boxes[1].icon, platform::BoxIcon::Warning);

    // An SQLite file under the same name opens without a word.
    QFile::remove(env.path(u"msg.mdb"_s));
    {
        db::Connection msg;
        msg.setCreateIfMissing(true);
        msg.open(u"Provider=SQLite;Data Source=msg.mdb"_s, env.dir());
        msg.execute(u"CREATE TABLE Msg (MsgID TEXT PRIMARY KEY, MsgText TEXT)"_s);
    }
    EXPECT_TRUE(InitMsgDB());
    EXPECT_TRUE(db::msgDB().isOpen());
    EXPECT_EQ(env.prompter.boxes.size(), 2);

    // Separators of a connection string in the file's name are part of the name.
    env.writeIni(QByteArray("[PARAM]\r\nIDMSG=m;s\"g.db\r\n"));
    ASSERT_TRUE(QFile::rename(env.path(u"msg.mdb"_s), env.path(u"m;s\"g.db"_s)));
    EXPECT_TRUE(InitMsgDB());
    EXPECT_EQ(env.prompter.boxes.size(), 2);
    EXPECT_EQ(blocks(env.readErr(), u"InitMsgDB"_s), 1) << "no new error";
}

TEST(DbFailures, ParametersWithoutConnectionOrDialect)
{
    TestEnvironment env;
    db::gCNT().close();
    QString value = u"kept"_s;
    EXPECT_FALSE(getParamValue(u"OPDATE"_s, value, db::gCNT()));
    EXPECT_EQ(value, u"kept"_s);
    EXPECT_EQ(blocks(env.readErr(), u"getParamValue"_s), 1);
    EXPECT_TRUE(env.prompter.boxes.isEmpty()); // the unattended reader never shows a box

    EXPECT_FALSE(SetParamValue(u"OPDATE"_s, u"2024/05/01"_s));
    EXPECT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(blocks(env.readErr(), u"SetParamValue"_s), 1);

    // Open, but with a provider outside the dialect table: no server time to stamp with.
    db::gCNT().setCreateIfMissing(true);
    db::gCNT().open(u"Provider=SQLite;Data Source=p.db"_s, env.dir());
    db::gCNT().setCreateIfMissing(false);
    runScript(db::gCNT(), schemaFile(u"sqlite.sql"_s));
    EXPECT_FALSE(SetParamValue(u"OPDATE"_s, u"2024/05/01"_s));
    EXPECT_EQ(blocks(env.readErr(), u"SetParamValue"_s), 2);
    EXPECT_TRUE(db::gCNT().openRecordset(u"SELECT * FROM xxPARAM"_s).eof());
    db::gCNT().close();
}

TEST(DbFailures, AnUnwritableErrorLogDoesNotStopTheCaller)
{
    TestEnvironment env;
    g().gErrFile = env.path(u"no/such/folder/TavoKPortSrv.ERR"_s);
    db::Connection cn;
    EXPECT_FALSE(ConnectADO(u"Provider=Nonsense"_s, cn));
    QString value;
    EXPECT_FALSE(getParamValue(u"X"_s, value, db::gCNT()));
}

TEST(DbConnection, ClosingEndsStreamsButKeepsClientRows)
{
    TestEnvironment env;
    db::Connection cn;
    cn.setCreateIfMissing(true);
    cn.open(u"Provider=SQLite;Data Source=c.db"_s, env.dir());
    runScript(cn, schemaFile(u"sqlite.sql"_s));
    cn.execute(u"INSERT INTO ORDERI (KPort) VALUES ('PK'), ('PB')"_s);
    db::Recordset stream = cn.openRecordset(u"SELECT KPort FROM ORDERI ORDER BY RNo"_s);
    db::Recordset held = cn.openRecordset(u"SELECT KPort FROM ORDERI ORDER BY RNo"_s, db::Cursor::Client);
    cn.close();
    EXPECT_FALSE(stream.isOpen());
    EXPECT_THROW(stream.text(0), db::DbError);
    ASSERT_TRUE(held.isOpen());
    held.moveLast();
    EXPECT_EQ(held.text(u"KPort"_s), u"PB"_s);
    EXPECT_THROW(cn.execute(u"SELECT 1"_s), db::DbError);

    cn.reopen();
    EXPECT_TRUE(cn.isOpen());
    EXPECT_EQ(cn.openRecordset(u"SELECT COUNT(*) AS N FROM ORDERI"_s).number(u"N"_s), 2);
    // A statement that returns no rows gives a closed recordset, as ADO does.
    db::Recordset none = cn.openRecordset(u"UPDATE ORDERI SET KSMark = 'x'"_s);
    EXPECT_FALSE(none.isOpen());
    EXPECT_EQ(none.fieldCount(), 0);
}

// The PostgreSQL driver reads what the server sends while it waits for notifications: a session
// the server ends is then closed between two statements, with no statement's error to say why.
// The next statement opens the link anew (not inside a transaction) and the loss is told with the
// server's own words; neither the server's lines nor the driver's complaints reach standard error.
TEST(DbConnection, APostgreSQLLinkClosedWhileListeningIsOpenedAnewAndToldWithTheServersWords)
{
    if (!haveServer())
        GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
    TestEnvironment env;
    static QStringList qtMessages;
    qtMessages.clear();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &message) {
        qtMessages.append(QString::fromUtf8(context.category) + u": "_s + message);
    });
    QList<QPair<bool, QString>> told;
    db::Connection cn;
    QObject::connect(&cn.linkEvents(), &db::LinkEvents::changed, [&](bool up, const QString &detail) {
        told.append({ up, detail });
    });
    cn.open(pgNative());
    // Listening as the wake does, the server ends the session: the driver finds the link closed.
    const auto listenAndCut = [&] {
        QSqlDriver *driver = cn.database().driver();
        ASSERT_TRUE(driver->subscribeToNotification(u"tavo_db_test"_s));
        const QString pid
            = cn.openRecordset(u"SELECT pg_backend_pid() AS pid"_s, db::Cursor::Client).text(u"pid"_s);
        db::Connection admin;
        admin.open(pgNative());
        admin.execute(u"SELECT pg_terminate_backend("_s + pid + u")"_s);
        QElapsedTimer waited;
        waited.start();
        while (!cn.linkLost() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(cn.linkLost());
    };
    const QString farewell = u"FATAL: terminating connection due to administrator command [SQLSTATE 57P01]"_s;
    test::StderrCapture stderrCapture;

    listenAndCut();
    EXPECT_EQ(cn.openRecordset(u"SELECT 7 AS n"_s, db::Cursor::Client).text(u"n"_s), u"7"_s);
    EXPECT_EQ(told, (QList<QPair<bool, QString>> { { false, farewell }, { true, QString() } }));

    told.clear();
    cn.beginTrans();
    listenAndCut();
    try {
        cn.execute(u"SELECT 1"_s);
        ADD_FAILURE() << "a transaction's work is gone with its link";
    } catch (const db::DbError &e) {
        EXPECT_EQ(e.description(), farewell);
    }
    EXPECT_THROW(cn.rollbackTrans(), db::DbError);
    EXPECT_EQ(cn.execute(u"SELECT 1"_s), -1) << "outside the transaction, the link comes back";
    EXPECT_EQ(told, (QList<QPair<bool, QString>> { { false, farewell }, { true, QString() } }));

    cn.execute(u"DO $$ BEGIN RAISE NOTICE 'kitchen notice'; END $$"_s);
    const QString printed = stderrCapture.text();
    EXPECT_TRUE(printed.isEmpty()) << printed.toStdString();
    EXPECT_TRUE(qtMessages.contains(u"tavo.db.server: NOTICE: kitchen notice"_s))
        << qtMessages.join(u'\n').toStdString();
    EXPECT_TRUE(qtMessages.filter(u"database not open"_s).isEmpty()) << qtMessages.join(u'\n').toStdString();
}

TEST(DbConnection, SQLiteThroughOdbcReadsLikeTheNativeDriver)
{
    TestEnvironment env;
    {
        db::Connection native;
        native.setCreateIfMissing(true);
        native.open(u"Provider=SQLite;Data Source=odbc.db"_s, env.dir());
        runScript(native, schemaFile(u"sqlite.sql"_s));
        native.execute(
            u"INSERT INTO ORDERI (KPort, KSMark, Remark, Qty, ItemName) VALUES ('PK', '', NULL, 2, '牛肉麵')"_s);
    }
    db::Connection cn;
    ASSERT_TRUE(ConnectADO(u"Provider=MSDASQL;Driver={SQLite3};Database="_s + env.path(u"odbc.db"_s), cn))
        << env.readErr().toStdString();
    EXPECT_EQ(cn.driverName(), u"QODBC"_s);
    db::Recordset rs = cn.openRecordset(u"SELECT * FROM ORDERI"_s, db::Cursor::Client);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_TRUE(rs.isNull(u"Remark"_s));
    EXPECT_FALSE(rs.isNull(u"KSMark"_s));
    EXPECT_EQ(rs.text(u"qty"_s), u"2"_s);
    EXPECT_EQ(rs.text(u"ItemName"_s), u"牛肉麵"_s);
    EXPECT_EQ(cn.execute(u"UPDATE ORDERI SET KSMark = '0001'"_s), 1);
}

TEST(DbSchema, WatchQueriesUseTheirIndexes)
{
    TestEnvironment env;
    db::Connection cn;
    cn.setCreateIfMissing(true);
    cn.open(u"Provider=SQLite;Data Source=plan.db"_s, env.dir());
    runScript(cn, schemaFile(u"sqlite.sql"_s));
    const QStringList watch {
        u"SELECT Min(RNo) as MinRNo From ORDERI WHERE OPDate is NULL and KPort = 'PK'"_s,
        u" SELECT Max(RNo) as MaxRNo  From ORDERI where KPort = 'PK' and UpdDate is NULL"_s,
        u"SELECT  RNo, KPort FROM ORDERI  WHERE RNo > 10   and RNo <= 20 and KPort = 'PK' ORDer by Rno "_s,
        u"SELECT * FROM ORDERI Where OrderPID = 'A05-01'   And OpDate is null"_s,
    };
    for (const QString &sql : watch) {
        db::Recordset plan = cn.openRecordset(u"EXPLAIN QUERY PLAN "_s + sql);
        QString text;
        for (; !plan.eof(); plan.moveNext())
            text += plan.text(u"detail"_s) + u'\n';
        // SEARCH seeks in an index or the key; SCAN would read the whole table or index.
        EXPECT_TRUE(text.contains(u"SEARCH"_s)) << sql.toStdString() << "\n" << text.toStdString();
        EXPECT_FALSE(text.contains(u"SCAN"_s)) << sql.toStdString() << "\n" << text.toStdString();
    }
}

TEST(DemoSite, InitWritesABig5IniAndKeepsOrdersUnlessReset)
{
    TestEnvironment env;
    const QString site = env.path(u"site"_s);
    demo::SiteReport report = demo::initSite(site);
    EXPECT_TRUE(report.iniWritten);
    const QByteArray ini = TestEnvironment::readBytes(site + u"/TavoC.INI"_s);
    EXPECT_TRUE(ini.contains(TestEnvironment::big5(u"CustName=示範餐廳"_s)));
    EXPECT_EQ(platform::GetINI(site + u"/TavoC.INI"_s, u"PARAM"_s, u"GCNT"_s), demo::defaultSiteConnection());

    {
        db::Connection cn;
        demo::openSite(site, cn);
        demo::OrderFeed feed(cn, 3);
        feed.placeOrder();
    }
    auto orders = [&] {
        db::Connection cn;
        demo::openSite(site, cn);
        return int(cn.openRecordset(u"SELECT COUNT(*) AS N FROM ORDERI"_s).number(u"N"_s));
    };
    const int placed = orders();
    EXPECT_GT(placed, 0);
    report = demo::initSite(site);
    EXPECT_FALSE(report.iniWritten);
    EXPECT_EQ(orders(), placed);
    demo::SiteOptions reset;
    reset.reset = true;
    demo::initSite(site, reset);
    EXPECT_EQ(orders(), 0);

    db::Connection cn;
    EXPECT_THROW(demo::openSite(env.path(u"nowhere"_s), cn), db::DbError);
}
