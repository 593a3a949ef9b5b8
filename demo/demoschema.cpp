#include "demo/demoschema.h"

#include "db/dbglobals.h"
#include "demo/demosql.h"

#include <QSqlDriver>

using namespace Qt::StringLiterals;

namespace tavo::demo {

Dialect dialectOf(db::Connection &connection)
{
    switch (connection.database().driver()->dbmsType()) {
    case QSqlDriver::SQLite:
        return Dialect::SQLite;
    case QSqlDriver::PostgreSQL:
        return Dialect::PostgreSQL;
    default:
        throw db::DbError(kGenericErrorNumber,
            u"The demo has a schema for SQLite and PostgreSQL only, not for provider "_s
                + connection.provider());
    }
}

QString schemaSql(Dialect dialect)
{
    return QString::fromUtf8(
        dialect == Dialect::SQLite ? embedded::sqliteSchema : embedded::postgresqlSchema);
}

QString sampleDataSql()
{
    return QString::fromUtf8(embedded::sampleData);
}

QStringList splitStatements(const QString &script)
{
    QStringList statements;
    QString current;
    const qsizetype n = script.size();
    auto flush = [&] {
        const QString s = current.trimmed();
        if (!s.isEmpty())
            statements << s;
        current.clear();
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = script[i];
        if (c == u'\'' || c == u'"') {
            // A quoted text or name, the quote doubled inside.
            current += c;
            for (++i; i < n; ++i) {
                current += script[i];
                if (script[i] == c) {
                    if (i + 1 < n && script[i + 1] == c) {
                        current += script[++i];
                        continue;
                    }
                    break;
                }
            }
        } else if (c == u'-' && i + 1 < n && script[i + 1] == u'-') {
            while (i < n && script[i] != u'\n')
                ++i;
            current += u'\n';
        } else if (c == u'/' && i + 1 < n && script[i + 1] == u'*') {
            const qsizetype end = script.indexOf(u"*/"_s, i + 2);
            i = end < 0 ? n : end + 1;
            current += u' ';
        } else if (c == u';') {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return statements;
}

void createSchema(db::Connection &connection)
{
    for (const QString &statement : splitStatements(schemaSql(dialectOf(connection))))
        connection.execute(statement);
}

void dropSchema(db::Connection &connection)
{
    for (const QString &table : { u"ORDERI"_s, u"KPORT"_s, u"MENUITEM"_s, u"MenuType"_s, u"xxPARAM"_s })
        connection.execute(u"DROP TABLE IF EXISTS "_s + table);
}

QString stampLiteral(const QDateTime &when)
{
    return u'\'' + when.toString(u"yyyy/MM/dd hh:mm:ss"_s) + u'\'';
}

QVector<QPair<QString, QString>> sampleParams(const QDate &opDate)
{
    return {
        { u"OPDATE"_s, opDate.toString(u"yyyy/MM/dd"_s) },
        { u"KPCycleTime"_s, u"4"_s },
        { u"KPSplitS1item"_s, u"N"_s },
        { u"KTVAPP"_s, u"N"_s },
        { u"HideTimeMark"_s, u"N"_s },
        { u"KPPrintMenuRemark"_s, u"Y"_s },
        { u"KPSortByType"_s, u"N"_s },
        { u"KPAddTblName"_s, u"N"_s },
        { u"KPAlertQty"_s, u"N"_s },
    };
}

namespace {

int countRows(db::Connection &connection, const QString &table)
{
    db::Recordset rs = connection.openRecordset(u"SELECT COUNT(*) AS N FROM "_s + table);
    return int(rs.number(u"N"_s));
}

} // namespace

int loadSampleData(db::Connection &connection, const SampleOptions &options)
{
    const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTime();
    const QDate opDate = options.opDate.isValid() ? options.opDate : now.date();
    QString script = sampleDataSql();
    script.replace(u"{{NOW}}"_s, stampLiteral(now));
    script.replace(u"{{PRINTER_PK}}"_s, QuotStr(options.kitchenPrinter));
    script.replace(u"{{PRINTER_PB}}"_s, QuotStr(options.barPrinter));

    // "-- section: <table>" heads the statements of one table.
    QVector<QPair<QString, QString>> sections;
    for (const QString &line : script.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u"-- section:"_s))
            sections.append({ trimmed.mid(11).trimmed(), QString() });
        else if (!sections.isEmpty())
            sections.last().second += line + u'\n';
    }

    int written = 0;
    db::Transaction transaction(connection);
    for (const auto &[table, body] : sections) {
        if (countRows(connection, table) > 0)
            continue; // the site's own menu and ports stay
        for (const QString &statement : splitStatements(body))
            written += qMax(0, connection.execute(statement));
    }
    const QString stamp = stampLiteral(now);
    for (const auto &[id, value] : sampleParams(opDate)) {
        const QString where = u" WHERE ParamID = "_s + QuotStr(id);
        if (id == u"OPDATE"_s) {
            const int n = connection.execute(
                u"UPDATE xxPARAM SET ParamValue = "_s + QuotStr(value) + u", UpdDate = "_s + stamp + where);
            written += qMax(0, n);
            if (n > 0)
                continue;
        } else if (countRows(connection, u"xxPARAM"_s + where) > 0) {
            continue;
        }
        written += qMax(0,
            connection.execute(u"INSERT INTO xxPARAM (ParamID, ParamValue, FileDate) VALUES ("_s + QuotStr(id)
                + u", "_s + QuotStr(value) + u", "_s + stamp + u")"_s));
    }
    transaction.commit();
    return written;
}

} // namespace tavo::demo
