#include "benchdata.h"

#include "db/connection.h"
#include "demo/demoschema.h"
#include "demo/rowgenerator.h"
#include "kds/kdsstore.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>

using namespace Qt::StringLiterals;

namespace tavo::bench {

QString millionRowDatabase()
{
    const QString path = QStringLiteral(TAVO_BENCH_DATA_DIR) + u"/orderi_1m.db"_s;
    if (QFile::exists(path))
        return path;
    // Built under another name and renamed, so an interrupted build is never taken for the table.
    const QString building = path + u".part"_s;
    QFile::remove(building);
    {
        db::Connection cnt;
        cnt.setCreateIfMissing(true);
        cnt.open(u"Provider=SQLite;Data Source="_s + building);
        demo::createSchema(cnt);
        demo::RowOptions options;
        options.rows = 1000000;
        options.lastDay = kBenchLastDay;
        demo::generateRows(cnt, options);
        cnt.execute(u"ANALYZE"_s);
    }
    QFile::rename(building, path);
    return path;
}

namespace {

void execOrThrow(QSqlQuery &q)
{
    if (!q.exec())
        throw db::DbError(kGenericErrorNumber, q.lastError().text());
}

void writeServiceDay(const QString &folder)
{
    constexpr int kItemsPerOrder = 4;
    const QString day = kBenchLastDay.toString(u"yyyy/MM/dd"_s);
    const QString dayStamp = day + u" 00:00:00"_s;
    const QStringList dishes { u"牛肉麵"_s, u"炒飯"_s, u"宮保雞丁"_s, u"燙青菜"_s, u"酸辣湯"_s, u"鍋貼"_s,
        u"排骨飯"_s, u"滷肉飯"_s };
    db::Connection cnt;
    cnt.setCreateIfMissing(true);
    cnt.open(u"Provider=SQLite;Data Source="_s + folder + u"/site.db"_s);
    demo::createSchema(cnt);
    { // the display's schema, as the display makes it
        const kds::KdsStore store(folder + u"/KDS.db"_s);
        if (!store.ok())
            throw db::DbError(kGenericErrorNumber, store.lastError());
    }
    QSqlDatabase kds = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench_kds"_s);
    kds.setDatabaseName(folder + u"/KDS.db"_s);
    kds.open();
    {
        QSqlQuery item(cnt.database()), bump(kds);
        item.prepare(
            u"INSERT INTO ORDERI (RNo, KPort, OrderPID, TblName, OrderTime, OrderDate, ItemName, Qty, "
            u"FileDate) VALUES (?, 'PK', ?, ?, ?, ?, ?, 1, ?)"_s);
        bump.prepare(u"INSERT INTO Bumps (KPort, OrderPID, UpToRNo, BumpedAt) VALUES ('PK', ?, ?, ?)"_s);
        db::Transaction transaction(cnt);
        kds.transaction();
        const QTime opening(10, 0);
        for (int order = 0; order < kServiceDayItems / kItemsPerOrder; ++order) {
            const QString orderPID = u"T%1-%2"_s.arg(order % 40 + 1, 2, 10, QChar(u'0')).arg(order / 40 + 1);
            const QTime ordered
                = opening.addSecs(int(qint64(order) * 14 * 3600 / (kServiceDayItems / kItemsPerOrder)));
            const QString time = ordered.toString(u"hh:mm:ss"_s);
            qint64 rno = 0;
            for (int i = 0; i < kItemsPerOrder; ++i) {
                rno = qint64(order) * kItemsPerOrder + i + 1;
                item.addBindValue(rno);
                item.addBindValue(orderPID);
                item.addBindValue(orderPID.left(3));
                item.addBindValue(time);
                item.addBindValue(dayStamp);
                item.addBindValue(dishes[(order + i) % dishes.size()]);
                item.addBindValue(day + u' ' + time);
                execOrThrow(item);
            }
            if (order % 100 == 99)
                continue;
            const QDateTime done = QDateTime(kBenchLastDay, ordered).addSecs(180 + (order * 7919) % 1620);
            bump.addBindValue(orderPID);
            bump.addBindValue(rno);
            bump.addBindValue(done.toString(u"yyyy/MM/dd hh:mm:ss"_s));
            execOrThrow(bump);
        }
        kds.commit();
        transaction.commit();
        cnt.execute(u"ANALYZE"_s);
    }
    kds.close();
    kds = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"bench_kds"_s);
}

} // namespace

QString serviceTimeSite()
{
    const QString folder = QStringLiteral(TAVO_BENCH_DATA_DIR) + u"/service-day"_s;
    if (QFile::exists(folder + u"/KDS.db"_s))
        return folder;
    // Built under another name and renamed, so an interrupted build is never taken for the site.
    const QString building = folder + u".part"_s;
    QDir(building).removeRecursively();
    QDir().mkpath(building);
    writeServiceDay(building);
    QDir().rename(building, folder);
    return folder;
}

} // namespace tavo::bench
