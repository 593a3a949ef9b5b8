#include "demo/rowgenerator.h"

#include "demo/demoschema.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace tavo::demo {

namespace {

constexpr int kRowsPerStatement = 50;
const QStringList kColumns { u"KPort"_s, u"KPMark"_s, u"OrderPID"_s, u"TblName"_s, u"KSMark"_s,
    u"OrderTime"_s, u"OrderDate"_s, u"ItemName"_s, u"ItemType"_s, u"TypeNo"_s, u"ListNo"_s, u"PriceCap"_s,
    u"Price"_s, u"Qty"_s, u"Amt"_s, u"Remark"_s, u"POSID"_s, u"DelMark"_s, u"OrderUserID"_s, u"FileDate"_s,
    u"UpdDate"_s, u"OPDate"_s };

QString insertStatement(int rows)
{
    const QString one = u'(' + QStringList(kColumns.size(), u"?"_s).join(u',') + u')';
    return u"INSERT INTO ORDERI ("_s + kColumns.join(u", "_s) + u") VALUES "_s
        + QStringList(rows, one).join(u',');
}

// Dates go in as text "YYYY/MM/DD hh:mm:ss", which SQLite keeps and PostgreSQL converts; built
// from their parts, since a local-time conversion per row costs more than the insert.
QVariant stamp(const QString &day, QTime time)
{
    if (!time.isValid())
        return QVariant(QMetaType::fromType<QString>());
    return day + u' ' + time.toString(u"hh:mm:ss"_s);
}

QTime later(QTime time, int seconds)
{
    const int s = qMin(time.msecsSinceStartOfDay() / 1000 + seconds, 24 * 3600 - 1);
    return QTime::fromMSecsSinceStartOfDay(s * 1000);
}

} // namespace

qint64 generateRows(db::Connection &connection, const RowOptions &options)
{
    const Dialect dialect = dialectOf(connection);
    const QDate lastDay = options.lastDay.isValid() ? options.lastDay : QDate::currentDate();
    const int days = qMax(1, options.days);
    const QDate firstDay = lastDay.addDays(1 - days);
    QRandomGenerator rng(options.seed);

    struct Item {
        QString name, cap;
        int typeNo;
        double price;
    };
    QVector<Item> items;
    static const QStringList caps { u"大"_s, u"小"_s, QString(), u"例"_s };
    for (int i = 0; i < qMax(1, options.items); ++i)
        items.append({ u"料理%1"_s.arg(i + 1, 3, 10, QChar(u'0')), caps[i % caps.size()], 1 + i % 9,
            double(60 + (i * 37) % 600) });

    if (dialect == Dialect::SQLite) {
        // A bulk load: the indexes are built in memory and nothing waits for the disk per page.
        connection.execute(u"PRAGMA cache_size = -262144"_s);
        connection.execute(u"PRAGMA synchronous = OFF"_s);
    }
    QSqlDatabase db = connection.database();
    QSqlQuery full(db), tail(db);
    if (!full.prepare(insertStatement(kRowsPerStatement)))
        throw db::DbError(kGenericErrorNumber, full.lastError().text());

    db::Transaction transaction(connection);
    qint64 written = 0;
    QVector<QVariantList> batch;
    batch.reserve(kRowsPerStatement);
    auto flush = [&](QSqlQuery &q) {
        for (const QVariantList &row : batch)
            for (const QVariant &v : row)
                q.addBindValue(v);
        if (!q.exec())
            throw db::DbError(kGenericErrorNumber, q.lastError().text());
        written += batch.size();
        batch.clear();
        if (options.progress && written % 100000 < kRowsPerStatement)
            options.progress(written);
    };

    int ticket = 0;
    qint64 currentDay = -1;
    QString dayText;
    const QStringList ports { u"PK"_s, u"PB"_s, u"補單"_s, u"P1"_s, u"P2"_s, u"P3"_s };
    const QStringList terminals { u"WS01"_s, u"WS02"_s, u"WS03"_s };
    const QString user = u"A01"_s;
    for (qint64 i = 0; i < options.rows; ++i) {
        // Rows are spread evenly over the days and grow in time, as RNo does.
        const double share = double(i) / double(qMax<qint64>(1, options.rows));
        const qint64 dayIndex = qMin<qint64>(days - 1, qint64(share * days));
        if (dayIndex != currentDay) {
            currentDay = dayIndex;
            dayText = firstDay.addDays(dayIndex).toString(u"yyyy/MM/dd"_s);
        }
        const double dayShare = share * days - std::floor(share * days);
        const QTime time = QTime(10, 0).addSecs(int(dayShare * 13 * 3600));
        const bool open = dayIndex == days - 1;
        const Item &item = items[rng.bounded(int(items.size()))];
        const bool addOn = rng.bounded(5) == 0;
        const int portDice = rng.bounded(100);
        const QString &kport = portDice < 60 ? ports[0]
            : portDice < 90                  ? ports[1]
            : portDice < 92                  ? ports[2]
                                             : ports[3 + portDice % 3];
        if (!addOn)
            ++ticket;
        const double qty = addOn ? 1 : 1 + rng.bounded(3);
        const QTime changed = open ? (rng.bounded(20) == 0 ? later(time, 90) : QTime())
                                   : (rng.bounded(10) < 7 ? later(time, 3600) : QTime());
        const QString table = u"T%1"_s.arg(ticket % 40 + 1, 2, 10, QChar(u'0'));
        batch.append(QVariantList { kport, u"%1"_s.arg(ticket % 10000, 4, 10, QChar(u'0')),
            table + u'-' + QString::number(ticket % 9 + 1), table,
            addOn ? QVariant(QMetaType::fromType<QString>())
                  : QVariant(u"%1"_s.arg(i % 10000, 4, 10, QChar(u'0'))),
            time.toString(u"hh:mm:ss"_s), stamp(dayText, QTime(0, 0)), addOn ? u"加飯"_s : item.name,
            addOn ? u"A1"_s : QString(), addOn ? 90 : item.typeNo, int(i % 20 + 1),
            addOn ? QString() : item.cap, addOn ? 10.0 : item.price, qty, (addOn ? 10.0 : item.price) * qty,
            QString(), terminals[i % 3], QString(), user, stamp(dayText, time), stamp(dayText, changed),
            stamp(dayText, open ? QTime() : QTime(0, 0)) });
        if (batch.size() == kRowsPerStatement)
            flush(full);
    }
    if (!batch.isEmpty()) {
        if (!tail.prepare(insertStatement(int(batch.size()))))
            throw db::DbError(kGenericErrorNumber, tail.lastError().text());
        flush(tail);
    }
    full.finish();
    tail.finish();
    transaction.commit();
    return written;
}

} // namespace tavo::demo
