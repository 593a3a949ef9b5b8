#pragma once
// The main connection's companions, under the names the rest of the suite uses: opening gCNT
// from TavoC.INI, the SQL dialect of the provider, literals for text and dates pasted into SQL,
// the business parameters of xxPARAM, and the message database.
#include "db/connection.h"
#include "db/connectionstring.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace tavo {

// Opens `connection` with a 10 s connection timeout and no command timeout. On failure the
// cause goes to the error log (tag "ConnectADO"), the connection stays closed, false returns.
bool ConnectADO(const QString &connectionString, db::Connection &connection);

// Opens db::gCNT() from key "GCNT" of section "PARAM" of g().gINIFile and fixes the dialect.
// `tried` receives the connection string as read, for the failure message.
bool InitINIgCNTNoPWD(QString *tried = nullptr);

// Sets g().gSQLNow and g().gSQLQuote from the provider of db::gCNT() (or the one given):
//   SQLOLED* getDate() '   MSDAORA SYSDATE TO_DATE   MSDASQL now() '   MICROSO* now() #
//   SQLite   strftime('%Y/%m/%d %H:%M:%S','now','localtime') '   PostgreSQL now() '
// Any other provider changes nothing.
void SetDBType();
void SetDBType(const QString &provider);

// 'text' with apostrophes doubled and outer spaces trimmed; NULL gives ''.
QString QuotStr(const QString &value);
QString QuotStr(const QVariant &value);

// The SQL literal of a date and time ("YYYY/MM/DD hh:mm:ss" in the dialect's quotes, or
// Oracle's TO_DATE form); "NULL" for anything that is not a date.
QString QuotDate(const QVariant &value, const QString &provider = {});

// Reads ParamValue of xxPARAM on `cn`; true only for a row with a non-empty value. Errors go to
// the error log (tag "getParamValue").
bool getParamValue(const QString &id, QString &value, db::Connection &cn);
// Updates the parameter (stamping UpdDate) or inserts it (stamping FileDate) with the server's
// time g().gSQLNow. Errors are shown (tag "SetParamValue").
bool SetParamValue(const QString &id, const QString &value);

// Opens the message database <dir>/<IDMSG or "IDMSG.MDB"> over the Access provider. A missing
// file is announced in an information box "Error Open MSGDB:<path>"; false then, and on any
// failure (shown with tag "InitMsgDB").
bool InitMsgDB();

// The date-and-time of a value as the literal routines read it: QDate, QDateTime or a text
// "YYYY/MM/DD" or "YYYY-MM-DD" with an optional "hh:mm[:ss]". Invalid when it is none of these.
QDateTime sqlDateValue(const QVariant &value);

namespace db {
// The message database connection opened by InitMsgDB.
Connection &msgDB();
// The server-time expression and date-literal style of a provider; false when it is not one
// of the known providers.
bool dialectOf(const QString &provider, QString &sqlNow, QString &sqlQuote);
} // namespace db

} // namespace tavo
