#include "db/connection_p.h"

#include <QLoggingCategory>
#include <QSqlDriver>

#include <libpq-fe.h>

namespace tavo::db {

namespace {

Q_LOGGING_CATEGORY(lcServerNotice, "tavo.db.server")

// The libpq connection under `db`, or null for another driver (the handle the driver documents).
PGconn *libpqConnection(const QSqlDatabase &db)
{
    if (!db.isValid() || db.driverName() != u"QPSQL"_s)
        return nullptr;
    // The driver names the type by its struct: "pg_conn*".
    const QVariant handle = db.driver()->handle();
    const char *type = handle.typeName();
    if (!handle.isValid() || (qstrcmp(type, "PGconn*") != 0 && qstrcmp(type, "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

QString noticeField(const PGresult *notice, int field)
{
    return QString::fromUtf8(PQresultErrorField(notice, field)).trimmed();
}

void receiveNotice(void *farewell, const PGresult *notice)
{
    QString severity = noticeField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity.isEmpty())
        severity = noticeField(notice, PG_DIAG_SEVERITY);
    const QString state = noticeField(notice, PG_DIAG_SQLSTATE);
    QString text = severity + u": "_s + noticeField(notice, PG_DIAG_MESSAGE_PRIMARY);
    if (!state.isEmpty() && state != u"00000"_s)
        text += u" [SQLSTATE "_s + state + u']';
    if (farewell != nullptr && (severity == u"FATAL"_s || severity == u"PANIC"_s)) {
        *static_cast<QString *>(farewell) = text;
        return;
    }
    qCInfo(lcServerNotice).noquote() << text;
}

} // namespace

void takeServerNotices(const QSqlDatabase &db, QString *farewell)
{
    if (PGconn *connection = libpqConnection(db))
        PQsetNoticeReceiver(connection, &receiveNotice, farewell);
}

QString linkFailureText(const QSqlDatabase &db)
{
    PGconn *connection = libpqConnection(db);
    return connection ? QString::fromUtf8(PQerrorMessage(connection)).simplified() : QString();
}

} // namespace tavo::db
