// Connection strings, dialects, SQL literals and value texts: everything of the data layer that
// needs no server, including the SQL Server, Access and Oracle routes.
#include "db/connectionstring.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "util/globals.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::db;

namespace {

const QStringList kDrivers { u"FreeTDS"_s, u"PostgreSQL ANSI"_s, u"PostgreSQL Unicode"_s, u"SQLite3"_s };

DriverTarget translate(
    const QString &cs, const QStringList &drivers = kDrivers, const QString &appDir = u"/site"_s)
{
    return translateConnectionString(cs, 10, appDir, drivers);
}

// The description of the DbError a translation throws; empty when it does not throw.
QString refusal(const QString &cs, const QStringList &drivers = kDrivers, qint64 *number = nullptr)
{
    try {
        translate(cs, drivers);
    } catch (const DbError &e) {
        if (number)
            *number = e.number();
        return e.description();
    }
    return {};
}

} // namespace

TEST(ConnectionStringParse, QuotesBracesCaseAndBlanks)
{
    const auto cs = ConnectionString::parse(
        uR"( provider = SQLOLEDB.1 ; PASSWORD="a;b""c" ;user id='o''neil';Extended Properties={x;y}}z};;)"_s);
    EXPECT_EQ(cs.value(u"Provider"_s), u"SQLOLEDB.1"_s);
    EXPECT_EQ(cs.value(u"password"_s), u"a;b\"c"_s);
    EXPECT_EQ(cs.value(u"USER ID"_s), u"o'neil"_s);
    EXPECT_EQ(cs.value(u"extended properties"_s), u"x;y}z"_s);
    EXPECT_EQ(cs.properties().size(), 4);
    // The first synonym present wins; a key given twice keeps its last value.
    const auto twice = ConnectionString::parse(u"Server=a;Data Source=b;Data Source=c"_s);
    EXPECT_EQ(twice.value(QStringList { u"Data Source"_s, u"Server"_s }), u"c"_s);
}

TEST(ConnectionStringParse, MalformedStringsAreRefusedWithTheReason)
{
    EXPECT_TRUE(refusal(u"Provider=SQLite;Data Source=\"tavo.db"_s).contains(u"closing"_s));
    EXPECT_TRUE(refusal(u"Provider=SQLite;tavo.db"_s).contains(u"tavo.db"_s));
    EXPECT_TRUE(refusal(u"=x;Provider=SQLite"_s).contains(u"without a key"_s));
    EXPECT_TRUE(refusal(u"Provider='SQLite' junk;Data Source=a"_s).contains(u"unexpected"_s));
    qint64 number = 0;
    for (const QString &empty : { QString(), u"   "_s, u";;;"_s }) {
        EXPECT_TRUE(refusal(empty, kDrivers, &number).contains(u"empty"_s)) << empty.toStdString();
        EXPECT_EQ(number, kErrBadConnectionString);
    }
    // Binary rubbish from a damaged INI still gives an error, not a crash.
    const QString rubbish = QString::fromLatin1("\x01\xff=\x7f;\x00\x10", 6);
    EXPECT_FALSE(refusal(rubbish).isEmpty());
}

TEST(ConnectionStringTranslate, SQLiteFilesHangOffTheProgramFolder)
{
    DriverTarget t = translate(u"Provider=SQLite;Data Source=tavo.db"_s);
    EXPECT_EQ(t.driver, u"QSQLITE"_s);
    EXPECT_EQ(t.databaseName, u"/site/tavo.db"_s);
    EXPECT_TRUE(t.sqliteFile);
    EXPECT_EQ(t.connectOptions, u"QSQLITE_BUSY_TIMEOUT=10000"_s);
    EXPECT_EQ(t.provider, u"SQLite"_s);
    EXPECT_EQ(t.dataSource, u"tavo.db"_s);
    // Windows separators from an INI written on the old system.
    EXPECT_EQ(translate(u"provider=sqlite;data source=data\\pos.db"_s).databaseName, u"/site/data/pos.db"_s);
    EXPECT_EQ(translate(u"Provider=SQLite;Data Source=\"/var/lib/tavo/a b.db\""_s).databaseName,
        u"/var/lib/tavo/a b.db"_s);
    t = translate(u"Provider=SQLite;Data Source=:memory:"_s);
    EXPECT_EQ(t.databaseName, u":memory:"_s);
    EXPECT_FALSE(t.sqliteFile);
    EXPECT_TRUE(refusal(u"Provider=SQLite"_s).contains(u"Data Source"_s));
}

TEST(ConnectionStringTranslate, PostgreSQL)
{
    DriverTarget t = translate(
        u"Provider=PostgreSQL;Data Source=db.local:5433;Initial Catalog=pos;User ID=tavo;Password=p"_s);
    EXPECT_EQ(t.driver, u"QPSQL"_s);
    EXPECT_EQ(t.hostName, u"db.local"_s);
    EXPECT_EQ(t.port, 5433);
    EXPECT_EQ(t.databaseName, u"pos"_s);
    EXPECT_EQ(t.userName, u"tavo"_s);
    EXPECT_EQ(t.password, u"p"_s);
    EXPECT_TRUE(t.connectOptions.contains(u"connect_timeout=10"_s));

    t = translate(
        u"Provider=PostgreSQL;Server=[::1]:6000;Database=x;UID=u;PWD='p;w';Search Path=pos, public"_s);
    EXPECT_EQ(t.hostName, u"::1"_s);
    EXPECT_EQ(t.port, 6000);
    EXPECT_EQ(t.password, u"p;w"_s);
    EXPECT_TRUE(t.connectOptions.contains(u"options='-csearch_path=pos,public'"_s));
    EXPECT_EQ(translate(u"Provider=PostgreSQL;Data Source=h;Port=7000"_s).port, 7000);
    EXPECT_FALSE(refusal(u"Provider=PostgreSQL;Data Source=h;Port=abc"_s).isEmpty());
    EXPECT_FALSE(refusal(u"Provider=PostgreSQL;Data Source=h;Search Path=x' -c y"_s).isEmpty());
}

TEST(ConnectionStringTranslate, SqlServerGoesThroughFreeTDS)
{
    DriverTarget t = translate(u"Provider=SQLOLEDB.1;Data Source=POSSRV,1444;Initial Catalog=Tavo3;"
                               "User ID=sa;Password=s{e}cret;Persist Security Info=True"_s);
    EXPECT_EQ(t.driver, u"QODBC"_s);
    EXPECT_EQ(t.databaseName,
        u"DRIVER={FreeTDS};SERVER=POSSRV;PORT=1444;DATABASE=Tavo3;UID=sa;"
        "PWD={s{e}}cret};TDS_Version=7.4"_s);
    EXPECT_EQ(t.connectOptions, u"SQL_ATTR_LOGIN_TIMEOUT=10"_s);
    EXPECT_EQ(t.provider, u"SQLOLEDB.1"_s);

    t = translate(u"Provider=sqloledb;Server=(local);Database=pos;UID=sa;PWD=x"_s);
    EXPECT_TRUE(t.databaseName.contains(u"SERVER=127.0.0.1;PORT=1433;DATABASE=pos"_s))
        << t.databaseName.toStdString();

    EXPECT_TRUE(
        refusal(u"Provider=SQLOLEDB;Data Source=s;Integrated Security=SSPI"_s).contains(u"Integrated"_s));
    EXPECT_TRUE(
        refusal(u"Provider=SQLOLEDB;Data Source=s;Trusted_Connection=yes"_s).contains(u"Integrated"_s));
    EXPECT_TRUE(refusal(u"Provider=SQLOLEDB;User ID=sa"_s).contains(u"SQL Server"_s));
    EXPECT_TRUE(refusal(u"Provider=SQLOLEDB;Data Source=s"_s, { u"SQLite3"_s }).contains(u"FreeTDS"_s));
}

TEST(ConnectionStringTranslate, OdbcPassesTheRestThrough)
{
    DriverTarget t = translate(u"Provider=MSDASQL.1;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=55432;"
                               "Database=tavo_test;Uid=tavo;Pwd=tavo_pw"_s);
    EXPECT_EQ(t.driver, u"QODBC"_s);
    EXPECT_EQ(t.databaseName,
        u"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=55432;Database=tavo_test;"
        "Uid=tavo;Pwd=tavo_pw"_s);
    // ADO's own names become ODBC's; a DSN needs no driver check.
    t = translate(
        u"Provider=MSDASQL;Data Source=PosDSN;User ID=sa;Password=\"x;y\";Persist Security Info=False"_s);
    EXPECT_EQ(t.databaseName, u"DSN=PosDSN;UID=sa;PWD={x;y}"_s);
    // No provider at all is ADO's default, the ODBC bridge.
    t = translate(u"DSN=PosDSN;UID=sa"_s);
    EXPECT_EQ(t.provider, u"MSDASQL"_s);
    EXPECT_EQ(t.databaseName, u"DSN=PosDSN;UID=sa"_s);
    t = translate(u"Provider=MSDASQL;Extended Properties=\"DRIVER={SQLite3};Database=/tmp/x.db\""_s);
    EXPECT_EQ(t.databaseName, u"DRIVER={SQLite3};Database=/tmp/x.db"_s);

    EXPECT_TRUE(
        refusal(u"Provider=MSDASQL;Driver={No Such Driver};Server=x"_s).contains(u"No Such Driver"_s));
    EXPECT_TRUE(refusal(u"Provider=MSDASQL;Server=x"_s).contains(u"DSN"_s));
    EXPECT_FALSE(refusal(u"Provider=MSDASQL;Driver={SQLite3};Database=/tmp/x.db"_s, {}).size());
}

TEST(ConnectionStringTranslate, AccessNeedsMdbToolsAndTheFile)
{
    qint64 number = 0;
    EXPECT_TRUE(refusal(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=IDMSG.MDB"_s, kDrivers, &number)
                    .contains(u"MDBTools"_s));
    EXPECT_EQ(number, kErrProviderNotFound);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"IDMSG.MDB"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QStringList withMdb = kDrivers + QStringList { u"MDBTools"_s };
    const DriverTarget t = translateConnectionString(
        u"Provider=Microsoft.Jet.OLEDB.4.0;data source=IDMSG.MDB;"_s, 10, dir.path(), withMdb);
    EXPECT_EQ(t.databaseName, u"DRIVER={MDBTools};DBQ="_s + dir.filePath(u"IDMSG.MDB"_s));
    EXPECT_TRUE(refusal(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/nowhere/x.mdb"_s, withMdb)
                    .contains(u"Could not find file"_s));
}

TEST(ConnectionStringTranslate, OracleNeedsARegisteredDriver)
{
    EXPECT_TRUE(refusal(u"Provider=MSDAORA;Data Source=POSDB;User ID=pos;Password=x"_s)
                    .contains(u"Oracle ODBC driver not installed"_s));
    const DriverTarget t = translate(u"Provider=MSDAORA.1;Data Source=POSDB;User ID=pos;Password=x"_s,
        kDrivers + QStringList { u"Oracle 19 ODBC driver"_s });
    EXPECT_EQ(t.databaseName, u"DRIVER={Oracle 19 ODBC driver};DBQ=POSDB;UID=pos;PWD=x"_s);
}

TEST(ConnectionStringTranslate, UnknownProviderNamesItself)
{
    qint64 number = 0;
    const QString why = refusal(u"Provider=OraOLEDB.Oracle;Data Source=x"_s, kDrivers, &number);
    EXPECT_TRUE(why.contains(u"OraOLEDB.Oracle"_s));
    EXPECT_EQ(number, kErrProviderNotFound);
    EXPECT_TRUE(refusal(u"User ID=sa;Password=x"_s).contains(u"Provider"_s));
}

TEST(ConnectionStringMask, PasswordsNeverShow)
{
    EXPECT_EQ(maskPassword(u"Provider=SQLOLEDB;Data Source=s;User ID=sa;Password=secret"_s),
        u"Provider=SQLOLEDB;Data Source=s;User ID=sa;Password=***"_s);
    EXPECT_EQ(maskPassword(u"DSN=x;pwd = \"se;cr\"\"et\" ;UID=a"_s), u"DSN=x;pwd = *** ;UID=a"_s);
    EXPECT_EQ(maskPassword(u"Provider=MSDASQL;Extended Properties='DSN=x;PWD=secret';User ID=a"_s),
        u"Provider=MSDASQL;Extended Properties='DSN=x;PWD=***';User ID=a"_s);
    // A string cut inside a quoted password (127-byte INI values) hides the rest.
    EXPECT_EQ(maskPassword(u"Provider=PostgreSQL;Password='abc"_s), u"Provider=PostgreSQL;Password=***"_s);
    EXPECT_EQ(
        maskPassword(u"Provider=SQLite;Data Source=tavo.db"_s), u"Provider=SQLite;Data Source=tavo.db"_s);
    EXPECT_EQ(maskPassword({}), QString());
}

TEST(Dialect, ProviderPrefixDecides)
{
    struct Case {
        QString provider, now, quote;
    };
    const QVector<Case> cases {
        { u"SQLOLEDB.1"_s, u"getDate()"_s, u"'"_s },
        { u"sqloledb"_s, u"getDate()"_s, u"'"_s },
        { u"MSDAORA"_s, u"SYSDATE"_s, u"TO_DATE"_s },
        { u"MSDASQL.1"_s, u"now()"_s, u"'"_s },
        { u"Microsoft.Jet.OLEDB.4.0"_s, u"now()"_s, u"#"_s },
        { u"SQLite"_s, u"strftime('%Y/%m/%d %H:%M:%S','now','localtime')"_s, u"'"_s },
        { u"PostgreSQL"_s, u"now()"_s, u"'"_s },
    };
    for (const Case &c : cases) {
        resetGlobals();
        SetDBType(c.provider);
        EXPECT_EQ(g().gSQLNow, c.now) << c.provider.toStdString();
        EXPECT_EQ(g().gSQLQuote, c.quote) << c.provider.toStdString();
    }
    // An unknown provider leaves the dialect as it was.
    resetGlobals();
    SetDBType(u"MSDAORA"_s);
    SetDBType(u"OraOLEDB.Oracle"_s);
    SetDBType(QString());
    EXPECT_EQ(g().gSQLNow, u"SYSDATE"_s);
    EXPECT_EQ(g().gSQLQuote, u"TO_DATE"_s);
    resetGlobals();
}

TEST(SqlLiterals, QuotStr)
{
    EXPECT_EQ(QuotStr(u"O'Neil "_s), u"'O''Neil'"_s);
    EXPECT_EQ(QuotStr(u"  abc  "_s), u"'abc'"_s);
    EXPECT_EQ(QuotStr(QString()), u"''"_s);
    EXPECT_EQ(QuotStr(QVariant()), u"''"_s);
    EXPECT_EQ(QuotStr(QVariant(QMetaType::fromType<QString>())), u"''"_s);
    EXPECT_EQ(QuotStr(QVariant(2.5)), u"'2.5'"_s);
    EXPECT_EQ(QuotStr(u"\t牛肉麵 "_s), u"'\t牛肉麵'"_s); // Basic's Trim takes spaces only
    EXPECT_EQ(QuotStr(u"'; DROP TABLE ORDERI; --"_s), u"'''; DROP TABLE ORDERI; --'"_s);
}

TEST(SqlLiterals, QuotDate)
{
    resetGlobals();
    EXPECT_EQ(QuotDate(u"2024/05/01 13:05"_s), u"'2024/05/01 13:05:00'"_s);
    EXPECT_EQ(QuotDate(QDate(2024, 3, 1)), u"'2024/03/01 00:00:00'"_s);
    EXPECT_EQ(QuotDate(QDateTime(QDate(2024, 5, 1), QTime(13, 5, 7))), u"'2024/05/01 13:05:07'"_s);
    EXPECT_EQ(QuotDate(u"2024-5-1"_s), u"'2024/05/01 00:00:00'"_s);
    for (const QVariant &notDate :
        { QVariant(), QVariant(u""_s), QVariant(u"abc"_s), QVariant(u"2025/13/40"_s),
            QVariant(u"2024/02/30"_s), QVariant(u"2024/05/01 25:00"_s), QVariant(42) })
        EXPECT_EQ(QuotDate(notDate), u"NULL"_s) << notDate.toString().toStdString();

    SetDBType(u"Microsoft.Jet.OLEDB.4.0"_s);
    EXPECT_EQ(QuotDate(u"2024/05/01 13:05:00"_s), u"#2024/05/01 13:05:00#"_s);
    EXPECT_EQ(QuotDate(u"2024/05/01 13:05:00"_s, u"MSDAORA"_s),
        u"TO_DATE('2024/05/01 13:05:00','YYYY/MM/DD HH24:MI:SS')"_s);
    SetDBType(u"MSDAORA"_s);
    EXPECT_EQ(
        QuotDate(u"2024/05/01 13:05:00"_s), u"TO_DATE('2024/05/01 13:05:00','YYYY/MM/DD HH24:MI:SS')"_s);
    resetGlobals();
}

TEST(ValueText, NumbersDatesAndVal)
{
    EXPECT_EQ(numberText(2), u"2"_s);
    EXPECT_EQ(numberText(0.5), u"0.5"_s);
    EXPECT_EQ(numberText(1000000), u"1000000"_s);
    EXPECT_EQ(numberText(-2), u"-2"_s);
    EXPECT_EQ(numberText(0.1 + 0.2), u"0.3"_s);
    EXPECT_EQ(numberText(-0.0), u"0"_s);
    EXPECT_EQ(numberText(1e20), u"100000000000000000000"_s);
    EXPECT_EQ(numberText(123.456), u"123.456"_s);

    EXPECT_EQ(valueText(QVariant()), QString());
    EXPECT_EQ(valueText(QVariant(QMetaType::fromType<double>())), QString());
    EXPECT_EQ(valueText(qlonglong(120)), u"120"_s);
    EXPECT_EQ(valueText(QDateTime(QDate(2024, 5, 1), QTime(0, 0))), u"2024/05/01 00:00:00"_s);
    EXPECT_EQ(valueText(QDate(2024, 5, 1)), u"2024/05/01"_s);
    EXPECT_EQ(valueText(u"2024/05/01 13:05:00"_s), u"2024/05/01 13:05:00"_s);

    EXPECT_EQ(basicVal(u"  12.5abc"_s), 12.5);
    EXPECT_EQ(basicVal(u"1 2 3"_s), 123);
    EXPECT_EQ(basicVal(u"-3"_s), -3);
    EXPECT_EQ(basicVal(u"abc"_s), 0);
    EXPECT_EQ(basicVal(QString()), 0);
    EXPECT_EQ(basicVal(u"1e3x"_s), 1000);
    EXPECT_EQ(basicVal(u"1e"_s), 1);
    EXPECT_EQ(basicVal(u"&HFF"_s), 255);
    EXPECT_EQ(basicVal(u"2024/05/01"_s), 2024);
}

TEST(ConnectionStringParse, SurvivesRandomInput)
{
    // Damaged INI files and hand-edited strings: any text gives a result or a DbError, never more.
    QRandomGenerator rng(20261207);
    const QString alphabet = u"=;\"'{}  ProviderSQLiteDataSourcePWD=Password\\/.:,\t\n\x01牛"_s;
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int length = int(rng.bounded(60));
        for (int i = 0; i < length; ++i)
            text += alphabet[int(rng.bounded(int(alphabet.size())))];
        if (round % 3 == 0)
            text.prepend(u"Provider=MSDASQL;"_s);
        try {
            translateConnectionString(text, 10, u"/site"_s, kDrivers);
        } catch (const DbError &) {
        }
        const QString masked = maskPassword(text);
        EXPECT_FALSE(masked.isNull() && !text.isNull());
    }
}
