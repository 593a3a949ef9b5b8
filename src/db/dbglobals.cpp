#include "db/dbglobals.h"

#include "db/valuetext.h"
#include "platform/ini.h"
#include "platform/services.h"
#include "platform/system.h"
#include "util/globals.h"
#include "util/report.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tavo {

namespace {

constexpr int kConnectTimeoutSeconds = 10;
constexpr int kCommandTimeoutSeconds = 0; // statements may take as long as they need

const QString kSqliteNow = u"strftime('%Y/%m/%d %H:%M:%S','now','localtime')"_s;

} // namespace

namespace db {

Connection &msgDB()
{
    static Connection *const connection = [] {
        auto *c = new Connection;
        if (QCoreApplication::instance())
            qAddPostRoutine([] { msgDB().close(); });
        return c;
    }();
    return *connection;
}

bool dialectOf(const QString &provider, QString &sqlNow, QString &sqlQuote)
{
    // Only the first seven characters count, so "SQLOLEDB.1" is SQL Server.
    const QString prefix = provider.left(7).toUpper();
    if (prefix == u"SQLOLED"_s) {
        sqlNow = u"getDate()"_s;
        sqlQuote = u"'"_s;
    } else if (prefix == u"MSDAORA"_s) {
        sqlNow = u"SYSDATE"_s;
        sqlQuote = u"TO_DATE"_s;
    } else if (prefix == u"MSDASQL"_s) {
        sqlNow = u"now()"_s;
        sqlQuote = u"'"_s;
    } else if (prefix == u"MICROSO"_s) {
        sqlNow = u"now()"_s;
        sqlQuote = u"#"_s;
    } else if (prefix.startsWith(u"SQLITE"_s)) {
        // SQLite keeps dates as text in the literal form, so the stamp must be that text.
        sqlNow = kSqliteNow;
        sqlQuote = u"'"_s;
    } else if (prefix == u"POSTGRE"_s) {
        sqlNow = u"now()"_s;
        sqlQuote = u"'"_s;
    } else {
        return false;
    }
    return true;
}

} // namespace db

bool ConnectADO(const QString &connectionString, db::Connection &connection)
{
    try {
        connection.close();
        connection.setConnectionTimeout(kConnectTimeoutSeconds);
        connection.setCommandTimeout(kCommandTimeoutSeconds);
        connection.open(connectionString, g().gAppDir);
        return true;
    } catch (...) {
        WriteErrLog(tags::ConnectADO);
        connection.close();
        return false;
    }
}

bool InitINIgCNTNoPWD(QString *tried)
{
    try {
        const QString connectionString = GetINI(g().gINIFile, u"PARAM"_s, u"GCNT"_s);
        if (tried)
            *tried = connectionString;
        if (!ConnectADO(connectionString, db::gCNT()))
            return false;
        SetDBType();
        return true;
    } catch (...) {
        WriteErrLog(tags::basADODB_InitINIgCNTNoPWD);
        return false;
    }
}

void SetDBType(const QString &provider)
{
    try {
        QString sqlNow, sqlQuote;
        if (db::dialectOf(provider, sqlNow, sqlQuote)) {
            g().gSQLNow = sqlNow;
            g().gSQLQuote = sqlQuote;
        }
    } catch (...) {
        ShowErrMsg(tags::basADODB_SetDBType);
    }
}

void SetDBType()
{
    SetDBType(db::gCNT().provider());
}

QString QuotStr(const QString &value)
{
    QString text = value;
    text.replace(u"'"_s, u"''"_s);
    // Basic's Trim: spaces only, tabs and line ends stay.
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return u'\'' + text.mid(begin, end - begin) + u'\'';
}

QString QuotStr(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return u"''"_s;
    return QuotStr(db::valueText(value));
}

QDateTime sqlDateValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    case QMetaType::QString:
    case QMetaType::QByteArray:
        break;
    default:
        return {};
    }
    static const QRegularExpression pattern(
        u"^(\\d{4})[/\\-.](\\d{1,2})[/\\-.](\\d{1,2})(?:[ T]+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:\\.\\d+)?)?)?$"_s);
    const auto m = pattern.match(value.toString().trimmed());
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return {};
    QTime time(0, 0, 0);
    if (m.hasCaptured(4)) {
        time = QTime(
            m.captured(4).toInt(), m.captured(5).toInt(), m.hasCaptured(6) ? m.captured(6).toInt() : 0);
        if (!time.isValid())
            return {};
    }
    return QDateTime(date, time);
}

QString QuotDate(const QVariant &value, const QString &provider)
{
    try {
        const QDateTime when = sqlDateValue(value);
        if (!when.isValid())
            return u"NULL"_s;
        const QString text = when.toString(u"yyyy/MM/dd hh:mm:ss"_s);
        const QString quote = g().gSQLQuote;
        if (quote == u"TO_DATE"_s || provider == u"MSDAORA"_s)
            return u"TO_DATE('"_s + text + u"','YYYY/MM/DD HH24:MI:SS')"_s;
        return quote + text + quote;
    } catch (...) {
        ShowErrMsg(tags::QuotDate);
        return {};
    }
}

bool getParamValue(const QString &id, QString &value, db::Connection &cn)
{
    try {
        db::Recordset rs
            = cn.openRecordset(u"Select * "_s + u" from xxPARAM"_s + u" WHERE ParamID = "_s + QuotStr(id));
        bool found = false;
        if (!rs.eof()) {
            value = rs.text(u"ParamValue"_s);
            found = !value.isEmpty();
        }
        rs.close();
        return found;
    } catch (...) {
        WriteErrLog(tags::getParamValue);
        return false;
    }
}

bool SetParamValue(const QString &id, const QString &value)
{
    try {
        db::Connection &cn = db::gCNT();
        const int updated = cn.execute(u"Update xxPARAM "_s + u" Set ParamValue = "_s + QuotStr(value)
            + u" , UpdDate = "_s + g().gSQLNow + u" WHERE ParamID = "_s + QuotStr(id));
        // Some ODBC servers do not count rows (SQL Server with NOCOUNT on answers -1): look before
        // inserting, or the existing parameter would end in a duplicate-key error.
        const bool exists = updated > 0
            || (updated < 0
                && !cn.openRecordset(u"Select ParamID from xxPARAM WHERE ParamID = "_s + QuotStr(id)).eof());
        if (!exists) {
            const int inserted
                = cn.execute(u"INSERT INTO xxPARAM (ParamID, ParamValue, FileDate) "_s + u" VALUES ( "_s
                    + QuotStr(id) + u" , "_s + QuotStr(value) + u" , "_s + g().gSQLNow + u")"_s);
            if (inserted <= 0)
                return false;
        }
        return true;
    } catch (...) {
        ShowErrMsg(tags::SetParamValue);
        return false;
    }
}

namespace {
// A message database may also be an SQLite file (the demo's is), told apart by its header.
bool isSqliteFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}
} // namespace

bool InitMsgDB()
{
    try {
        QString name = GetINI(g().gINIFile, u"PARAM"_s, u"IDMSG"_s);
        if (name.isEmpty())
            name = u"IDMSG.MDB"_s;
        const QString path = g().gAppDir + u'/' + name;
        if (!FileExists(path)) {
            platform::services().prompter->ask(appTitle(), u"Error Open MSGDB"_s + u":"_s + path,
                platform::BoxIcon::Information, platform::BoxButtons::Ok);
            return false;
        }
        db::Connection &cn = db::msgDB();
        cn.close();
        // Quoted: a ';' or '"' in a folder's name is part of the path, not a new option.
        const QString source = u'"' + QString(path).replace(u"\""_s, u"\"\""_s) + u'"';
        if (isSqliteFile(path))
            cn.open(u"Provider=SQLite;Data Source="_s + source);
        else
            cn.open(u"Provider=Microsoft.Jet.OLEDB.4.0;data source="_s + source + u";"_s);
        return true;
    } catch (...) {
        ShowErrMsg(tags::InitMsgDB);
        return false;
    }
}

} // namespace tavo
