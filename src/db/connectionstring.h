#pragma once
// ADO connection strings and their translation to a Qt SQL driver.
//
// The sites keep their connection strings in the ADO form the Windows suite wrote into
// TavoC.INI. They are read here without any server, so every provider can be checked in a
// test: the translation is a pure function of the string, the program folder and the list of
// installed ODBC drivers.
#include "db/connection.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tavo::db {

// ADO's numbers for the faults of a connection string, so the error log reads as it did.
inline constexpr qint64 kErrBadConnectionString = -2147217805; // format does not conform
inline constexpr qint64 kErrProviderNotFound = 3706;

class ConnectionString {
public:
    struct Property {
        QString key; // as written, trimmed
        QString value; // unquoted
    };

    // Splits "key=value;key=value". Values may be quoted ("..." or '...', the quote doubled
    // inside) or braced ({...}, "}}" inside); keys compare without regard to case or
    // surrounding blanks. Throws DbError for an unterminated quote or a part without "=".
    static ConnectionString parse(const QString &text);

    bool isEmpty() const { return m_properties.isEmpty(); }
    bool contains(const QString &key) const;
    // The value of the first of the keys present (synonyms such as "Data Source", "Server").
    QString value(const QStringList &keys) const;
    QString value(const QString &key) const { return value(QStringList { key }); }
    const QVector<Property> &properties() const { return m_properties; }

private:
    QVector<Property> m_properties;
};

// Where and how Qt SQL connects for one ADO string.
struct DriverTarget {
    QString provider; // as written ("SQLOLEDB.1"); "MSDASQL" when the string names none
    QString dataSource; // the "Data Source" property as written
    QString driver; // "QSQLITE", "QPSQL" or "QODBC"
    QString databaseName; // file, database, or the ODBC connection string
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    QString connectOptions; // QSqlDatabase::setConnectOptions
    bool sqliteFile = false; // databaseName is a file that must already exist
};

// Translates an ADO connection string:
//   SQLite       Data Source=<file> (relative to appDir; must exist unless the caller creates)
//   PostgreSQL   Data Source=<host>[:<port>]; Initial Catalog; User ID; Password; Search Path
//   SQLOLEDB*    ODBC with FreeTDS: Data Source=<server>[,<port>]; Initial Catalog; User ID; Password
//   MSDASQL*     ODBC with the rest of the string (Data Source is the DSN); also no Provider at all
//   Microsoft.Jet.OLEDB / Microsoft.ACE.OLEDB   ODBC with MDBTools: Data Source=<file>
//   MSDAORA*     ODBC with the first registered driver whose name contains "Oracle" `appDir` anchors relative
//   file names; `odbcDrivers`
// are the driver names registered with the ODBC driver manager. Throws DbError with a
// description that names the problem (empty string, unknown provider, missing driver...).
DriverTarget translateConnectionString(const QString &connectionString, int connectionTimeoutSeconds,
    const QString &appDir, const QStringList &odbcDrivers);

// The driver names registered with unixODBC (odbcinst), e.g. "PostgreSQL Unicode".
QStringList installedOdbcDrivers();

// The connection string as written, with the values of Password and PWD replaced by "***",
// for the failure box and the error log. Never throws.
QString maskPassword(const QString &connectionString);

// Quotes a value for an ODBC connection string when it needs it ({...} with "}" doubled).
QString odbcValue(const QString &value);

} // namespace tavo::db
