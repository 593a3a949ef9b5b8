#pragma once
// The POS tables of a demo site or a test database: creation, removal and the sample menu.
#include "db/connection.h"

#include <QDate>
#include <QDateTime>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tavo::demo {

enum class Dialect { SQLite, PostgreSQL };

// The dialect of an open connection (ODBC connections by the server behind them). Throws
// db::DbError for a server the demo has no schema for.
Dialect dialectOf(db::Connection &connection);

// The schema file's text for a dialect.
QString schemaSql(Dialect dialect);
// The sample data file's text, with its {{...}} placeholders.
QString sampleDataSql();

// The statements of an SQL script: split at ";" outside quotes and comments, comments dropped.
QStringList splitStatements(const QString &script);

// The five tables and their indexes; statements that exist already are left alone.
void createSchema(db::Connection &connection);
// Drops the five tables (and with ORDERI its counters).
void dropSchema(db::Connection &connection);

// A timestamp literal that SQLite's text dates and PostgreSQL's timestamps both take.
QString stampLiteral(const QDateTime &when);

struct SampleOptions {
    QString kitchenPrinter = QStringLiteral("KitchenTM");
    QString barPrinter = QStringLiteral("BarTM");
    QDate opDate; // the business date; today when invalid
    QDateTime now; // the loading stamp; the current time when invalid
};

// The business parameters of a new site: id and value.
QVector<QPair<QString, QString>> sampleParams(const QDate &opDate);

// Loads the sample menu and ports into empty tables, adds the parameters that are missing and
// sets OPDATE to the business date. Returns the number of rows written.
int loadSampleData(db::Connection &connection, const SampleOptions &options = {});

} // namespace tavo::demo
