#include "test_watch_db.h"

#include "db/dbglobals.h"

using namespace Qt::StringLiterals;

namespace tavo::test {

namespace {
const QString kSchema = u"tavo_win_watch"_s;
const QDateTime kStamp(QDate(2026, 12, 7), QTime(14, 0, 0));

QString literal(const QVariant &value)
{
    if (value.isNull())
        return u"NULL"_s;
    if (value.metaType().id() == QMetaType::QDateTime)
        return demo::stampLiteral(value.toDateTime());
    return QuotStr(value.toString());
}
} // namespace

OrderTable::OrderTable(db::Connection &connection, Server server, const QString &sqliteFile)
    : m_cnt(connection)
    , m_server(server)
{
    if (server == Server::SQLite) {
        m_cnt.setCreateIfMissing(true);
        m_cnt.open(u"Provider=SQLite;Data Source="_s + sqliteFile);
    } else {
        m_cnt.open(postgresConnectionString());
        m_cnt.execute(u"DROP SCHEMA IF EXISTS "_s + kSchema + u" CASCADE"_s);
        m_cnt.execute(u"CREATE SCHEMA "_s + kSchema);
        // In the connection string, so that a connection opened again finds the same tables.
        m_cnt.open(postgresConnectionString() + u";Search Path="_s + kSchema);
    }
    demo::createSchema(m_cnt);
}

OrderTable::~OrderTable()
{
    try {
        if (m_server == Server::PostgreSQL && m_cnt.isOpen())
            m_cnt.execute(u"DROP SCHEMA IF EXISTS "_s + kSchema + u" CASCADE"_s);
    } catch (...) {
    }
}

void OrderTable::cutLink()
{
    const QString pid
        = m_cnt.openRecordset(u"SELECT pg_backend_pid() AS pid"_s, db::Cursor::Client).text(u"pid"_s);
    db::Connection admin;
    admin.open(postgresConnectionString());
    admin.execute(u"SELECT pg_terminate_backend("_s + pid + u")"_s);
}

void OrderTable::execute(const QString &sql)
{
    m_cnt.execute(sql);
}

void OrderTable::insert(const Row &row)
{
    const bool n = row.nullsEverywhere;
    const QString sql = u"INSERT INTO ORDERI (RNo, KPort, KPMark, OrderPID, KSMark, OrderTime, ItemName, "
                        u"PriceCap, Qty, Remark, "
                        u"POSID, DelMark, FileDate, UpdDate, OPDate) VALUES ("_s
        + QString::number(row.rno) + u", "_s + literal(row.port) + u", "_s + (n ? u"NULL"_s : u"'K0012'"_s)
        + u", "_s + (n ? u"NULL"_s : u"'A05-1'"_s) + u", "_s + (n ? u"NULL"_s : u"''"_s) + u", "_s
        + (n ? u"NULL"_s : u"'12:30:05'"_s) + u", "_s + (n ? u"NULL"_s : literal(row.itemName)) + u", "_s
        + (n ? u"NULL"_s : u"'大碗'"_s) + u", "_s + (n ? u"NULL"_s : u"2"_s) + u", "_s + literal(row.remark)
        + u", "_s + (n ? u"NULL"_s : u"'WS01'"_s) + u", NULL, "_s + (n ? u"NULL"_s : literal(kStamp))
        + u", "_s + literal(row.updDate) + u", "_s + literal(row.opDate) + u")"_s;
    m_cnt.execute(sql);
}

void OrderTable::insert(qint64 rno, const QString &port)
{
    Row row;
    row.rno = rno;
    row.port = port.isNull() ? u""_s : port;
    insert(row);
}

void OrderTable::close(qint64 rno)
{
    m_cnt.execute(
        u"UPDATE ORDERI SET OPDate = "_s + literal(kStamp) + u" WHERE RNo = "_s + QString::number(rno));
}

void OrderTable::change(qint64 rno)
{
    m_cnt.execute(
        u"UPDATE ORDERI SET UpdDate = "_s + literal(kStamp) + u" WHERE RNo = "_s + QString::number(rno));
}

void OrderTable::removePort(const QString &port)
{
    m_cnt.execute(u"DELETE FROM ORDERI WHERE KPort = "_s + QuotStr(port));
}

void OrderTable::breakListing()
{
    m_cnt.execute(u"ALTER TABLE ORDERI RENAME COLUMN POSID TO POSID_GONE"_s);
}

void OrderTable::mendListing()
{
    m_cnt.execute(u"ALTER TABLE ORDERI RENAME COLUMN POSID_GONE TO POSID"_s);
}

} // namespace tavo::test
