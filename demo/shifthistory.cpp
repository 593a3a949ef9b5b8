#include "demo/shifthistory.h"

#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "platform/codepage.h"
#include "platform/gridfiles.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tavo::demo {

namespace {

struct Dish {
    int typeNo;
    const char16_t *name;
    const char16_t *cap;
    const char16_t *itemType;
    const char16_t *port;
};

// Dishes of every kitchen and bar category of the sample menu, add-ons and flavours included.
constexpr Dish kDishes[] = {
    { 1, u"宮保雞丁", u"大", u"", u"PK" },
    { 1, u"宮保雞丁", u"小", u"", u"PK" },
    { 1, u"三杯雞", u"大", u"", u"PK" },
    { 1, u"麻婆豆腐", u"例", u"", u"PK" },
    { 2, u"牛肉麵", u"大", u"", u"PK" },
    { 2, u"蝦仁炒飯", u"例", u"", u"PK" },
    { 2, u"排骨飯", u"例", u"", u"PK" },
    { 3, u"酸辣湯", u"小", u"", u"PK" },
    { 3, u"蛤蜊湯", u"例", u"", u"PK" },
    { 4, u"鹽烤蝦", u"例", u"", u"PK" },
    { 5, u"商業午餐", u"套", u"S1", u"PK" },
    { 90, u"加飯", u"", u"A1", u"PK" },
    { 91, u"小辣", u"", u"T1", u"PK" },
    { 6, u"珍珠奶茶", u"大", u"", u"PB" },
    { 6, u"紅茶", u"中", u"", u"PB" },
    { 6, u"柳橙汁", u"例", u"", u"PB" },
    { 7, u"台灣啤酒", u"瓶", u"", u"PB" },
    { 7, u"紹興酒", u"瓶", u"", u"PB" },
    { 91, u"去冰", u"", u"T1", u"PB" },
};

// Order times of the three shifts; the night's last two fall on the next day.
constexpr const char16_t *kTimes[] = { u"11:20:00", u"12:05:00", u"13:40:00", u"17:30:00", u"18:45:00",
    u"20:50:00", u"22:15:00", u"23:40:00", u"00:35:00", u"01:50:00" };
constexpr int kNextDayFrom = 8;

} // namespace

bool writeShiftTable(const QString &folder)
{
    const QString path = QDir(folder).filePath(u"TavoC_fg2.CSV"_s);
    if (QFileInfo::exists(path))
        return false;
    const QString text
        = u"班別,起始時間,結束時間\r\n午班,11:00,14:00\r\n晚班,17:00,21:00\r\n宵夜,22:00,02:00\r\n"_s;
    platform::writeAtomically(path, platform::toAnsi(text));
    return true;
}

int loadShiftHistory(db::Connection &connection, const QDate &opDate)
{
    const QDateTime day(opDate, QTime(0, 0));
    if (connection.openRecordset(u"SELECT COUNT(*) AS N FROM ORDERI WHERE OrderDate = "_s + stampLiteral(day))
            .number(u"N"_s)
        > 0)
        return 0;
    int written = 0;
    db::Transaction transaction(connection);
    for (int t = 0; t < int(std::size(kTimes)); ++t) {
        const QDateTime date = t < kNextDayFrom ? day : day.addDays(1);
        for (int d = 0; d < int(std::size(kDishes)); ++d) {
            const Dish &dish = kDishes[d];
            const int qty = 1 + (t * 7 + d * 3) % 4;
            if ((t + d) % 3 == 0)
                continue; // not every dish in every hour
            written += connection.execute(
                u"INSERT INTO ORDERI (KPort, KPMark, OrderPID, TblName, KSMark, OrderTime, OrderDate, "
                u"ItemName, "
                u"ItemType, TypeNo, ListNo, PriceCap, Qty, OrderUserID, FileDate, OPDate) VALUES (%1, 'H%2', "
                u"'A0%3-1', 'A0%3', '', %4, %5, %6, %7, %8, %9, %10, %11, 'DEMO', %5, %12)"_s
                    .arg(QuotStr(QString::fromUtf16(dish.port)), QString::number(t),
                        QString::number(1 + t % 9), QuotStr(QString::fromUtf16(kTimes[t])),
                        stampLiteral(date), QuotStr(QString::fromUtf16(dish.name)),
                        QuotStr(QString::fromUtf16(dish.itemType)), QString::number(dish.typeNo),
                        QString::number(d + 1))
                    .arg(QuotStr(QString::fromUtf16(dish.cap)), QString::number(qty), stampLiteral(day)));
        }
    }
    // A dish sent back at dinner: the supplementary row takes it off the count.
    written += connection.execute(
        u"INSERT INTO ORDERI (KPort, OrderTime, OrderDate, ItemName, ItemType, TypeNo, PriceCap, Qty, "
        u"OPDate) "
        u"VALUES ('補單', '19:10:00', %1, '牛肉麵-大', '', 2, '大', -1, %1)"_s.arg(stampLiteral(day)));
    transaction.commit();
    return written;
}

} // namespace tavo::demo
