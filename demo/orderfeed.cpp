#include "demo/orderfeed.h"

#include "db/dbglobals.h"
#include "db/valuetext.h"

using namespace Qt::StringLiterals;

namespace tavo::demo {

namespace {

const QStringList kTables { u"A01"_s, u"A02"_s, u"A03"_s, u"A05"_s, u"A06"_s, u"B01"_s, u"B02"_s, u"B03"_s,
    u"C10"_s, u"C11"_s, u"包廂1"_s, u"包廂2"_s, u"外帶"_s };
const QStringList kTerminals { u"WS01"_s, u"WS02"_s, u"WS03"_s };
const QStringList kUsers { u"王小明"_s, u"陳美玲"_s, u"A01"_s, u"林志豪"_s };
const QStringList kRemarks { QString(), QString(), QString(), u"不要蔥"_s, u"少油"_s, u"先上"_s,
    u"分開裝"_s };

} // namespace

OrderFeed::OrderFeed(db::Connection &connection, quint32 seed)
    : m_cn(connection)
    , m_dialect(dialectOf(connection))
    , m_rng(seed)
{
    db::Recordset rs = m_cn.openRecordset(
        u"SELECT MENUITEM.TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, "
        "PriceCap3, Price3, MenuType.KPort FROM MENUITEM LEFT JOIN MenuType ON MENUITEM.TypeNo = "
        "MenuType.TypeNo "
        "ORDER BY MENUITEM.TypeNo, MENUITEM.ListNo"_s);
    for (; !rs.eof(); rs.moveNext()) {
        MenuItem item;
        item.typeNo = int(rs.number(u"TypeNo"_s));
        item.itemNo = rs.text(u"ItemNo"_s);
        item.itemName = rs.text(u"ItemName"_s);
        item.itemType = rs.text(u"ItemType"_s);
        item.kport = rs.text(u"KPort"_s);
        if (item.kport.isEmpty())
            item.kport = u"PK"_s;
        for (int i = 1; i <= 3; ++i) {
            const QString cap = u"PriceCap%1"_s.arg(i), price = u"Price%1"_s.arg(i);
            if (!rs.isNull(price))
                item.prices.append({ rs.text(cap), rs.number(price) });
        }
        if (item.prices.isEmpty())
            item.prices.append({ QString(), 0 });
        if (item.itemType == u"A1"_s)
            m_addOns << item;
        else if (item.itemType == u"T1"_s)
            m_tastes << item;
        else
            m_items << item;
    }
    if (m_items.isEmpty())
        throw db::DbError(kGenericErrorNumber, u"MENUITEM holds no items: run \"tavo_demo init\" first"_s);
    db::Recordset last = m_cn.openRecordset(u"SELECT MAX(RNo) AS MaxRNo FROM ORDERI"_s);
    m_ticket = m_serial = int(last.number(u"MaxRNo"_s)) % 9000;
}

qint64 OrderFeed::insert(const Row &r)
{
    const QDateTime when = now();
    auto num = [](double v) { return db::numberText(v); };
    m_cn.execute(
        u"INSERT INTO ORDERI (KPort, KPMark, OrderPID, TblName, KSMark, OrderTime, OrderDate, ItemNo, "
        "ItemName, ItemType, TypeNo, ListNo, PriceCap, Price, Qty, Amt, Remark, POSID, DelMark, "
        "OrderUserID, CustTotal, FileDate) VALUES ("_s
        + QStringList { QuotStr(r.kport), QuotStr(r.kpMark), QuotStr(r.orderPID), QuotStr(r.tblName),
            r.ksMark.isEmpty() ? u"NULL"_s : QuotStr(r.ksMark), QuotStr(when.toString(u"hh:mm:ss"_s)),
            stampLiteral(when.date().startOfDay()), QuotStr(r.itemNo), QuotStr(r.itemName),
            QuotStr(r.itemType), QString::number(r.typeNo), QString::number(r.listNo), QuotStr(r.priceCap),
            num(r.price), num(r.qty), num(r.amt), QuotStr(r.remark), QuotStr(r.posID), QuotStr(r.delMark),
            QuotStr(r.userID), QString::number(r.custTotal), stampLiteral(when) }
              .join(u", "_s)
        + u")"_s);
    db::Recordset rs = m_cn.openRecordset(
        m_dialect == Dialect::SQLite ? u"SELECT last_insert_rowid() AS RNo"_s : u"SELECT lastval() AS RNo"_s);
    return qint64(rs.number(u"RNo"_s));
}

QString OrderFeed::describe(qint64 rno, const Row &r) const
{
    QString name = r.itemName;
    if (!r.priceCap.isEmpty())
        name += u'-' + r.priceCap;
    return u"%1\t%2\t%3\t%4\t%5\t%6\t%7"_s.arg(rno).arg(
        r.kport, r.orderPID, name, db::numberText(r.qty), r.itemType, r.remark);
}

QStringList OrderFeed::placeOrder()
{
    QStringList lines;
    ++m_ticket;
    const QString table = kTables[bounded(0, int(kTables.size()) - 1)];
    Row base;
    base.kpMark = u"%1"_s.arg(m_ticket % 10000, 4, 10, QChar(u'0'));
    base.orderPID = u"%1-%2"_s.arg(table).arg(bounded(1, 9), 2, 10, QChar(u'0'));
    base.tblName = table;
    base.posID = kTerminals[bounded(0, int(kTerminals.size()) - 1)];
    base.userID = kUsers[bounded(0, int(kUsers.size()) - 1)];
    base.custTotal = bounded(1, 6);
    // A round already at the table gets more items: they follow its rows in its list.
    int listNo = lastListNo(base.orderPID);
    const int items = bounded(1, 4);
    for (int i = 0; i < items; ++i) {
        const MenuItem &item = m_items[bounded(0, int(m_items.size()) - 1)];
        const auto &[cap, listPrice] = item.prices[bounded(0, int(item.prices.size()) - 1)];
        Row row = base;
        row.kport = item.kport;
        row.ksMark = u"%1"_s.arg(++m_serial % 10000, 4, 10, QChar(u'0'));
        row.itemNo = item.itemNo;
        row.itemName = item.itemName;
        row.itemType = item.itemType;
        row.typeNo = item.typeNo;
        row.listNo = ++listNo;
        row.priceCap = cap;
        row.price = cap == u"時價"_s ? bounded(8, 30) * 100 : listPrice;
        row.qty = item.itemType == u"S1"_s ? bounded(1, 3) : bounded(1, 2);
        row.amt = row.price * row.qty;
        row.remark = kRemarks[bounded(0, int(kRemarks.size()) - 1)];
        if (bounded(1, 20) == 1) { // on the house
            row.delMark = u"F"_s;
            row.amt = 0;
        }
        lines << describe(insert(row), row);

        // Add-ons and tastes ride on the ticket of the item before them; drinks get only
        // their ice and sugar choices.
        const bool drink = item.kport == u"PB"_s;
        QVector<const MenuItem *> pool;
        for (const MenuItem &extra : m_addOns)
            if (!drink)
                pool << &extra;
        for (const MenuItem &extra : m_tastes)
            if (drink == (extra.itemName.contains(u'冰') || extra.itemName.contains(u'糖')))
                pool << &extra;
        const int extras = pool.isEmpty() || bounded(0, 5) < 3 ? 0 : bounded(1, 2);
        for (int e = 0; e < extras; ++e) {
            const MenuItem &extra = *pool[bounded(0, int(pool.size()) - 1)];
            const bool taste = extra.itemType == u"T1"_s;
            Row add = base;
            add.kport = row.kport;
            add.itemNo = extra.itemNo;
            add.itemName = extra.itemName;
            add.typeNo = extra.typeNo;
            add.listNo = ++listNo;
            add.qty = taste ? 1 : bounded(1, 3);
            add.itemType = (taste ? u"T"_s : u"A"_s) + (add.qty > 1 ? u"N"_s : u"1"_s);
            add.price = extra.prices.first().second;
            add.amt = add.price * add.qty;
            lines << describe(insert(add), add);
        }
    }
    return lines;
}

bool OrderFeed::pickOpenItem(Row &row, qint64 &rno)
{
    db::Recordset rs = m_cn.openRecordset(
        u"SELECT RNo, KPort, KPMark, OrderPID, TblName, KSMark, ItemNo, ItemName, ItemType, TypeNo, "
        "PriceCap, Price, POSID, OrderUserID, CustTotal FROM ORDERI WHERE OPDate IS NULL AND Qty > 0 "
        "AND ItemType NOT IN ('A1','T1','AN','TN') AND KPort <> '補單' ORDER BY RNo DESC LIMIT 30"_s,
        db::Cursor::Client);
    if (rs.recordCount() <= 0)
        return false;
    const int skip = bounded(0, rs.recordCount() - 1);
    for (int i = 0; i < skip; ++i)
        rs.moveNext();
    rno = qint64(rs.number(u"RNo"_s));
    row.kport = rs.text(u"KPort"_s);
    row.kpMark = rs.text(u"KPMark"_s);
    row.orderPID = rs.text(u"OrderPID"_s);
    row.tblName = rs.text(u"TblName"_s);
    row.ksMark = rs.text(u"KSMark"_s);
    row.itemNo = rs.text(u"ItemNo"_s);
    row.itemName = rs.text(u"ItemName"_s);
    row.itemType = rs.text(u"ItemType"_s);
    row.typeNo = int(rs.number(u"TypeNo"_s));
    row.priceCap = rs.text(u"PriceCap"_s);
    row.price = rs.number(u"Price"_s);
    row.posID = rs.text(u"POSID"_s);
    row.userID = rs.text(u"OrderUserID"_s);
    row.custTotal = int(rs.number(u"CustTotal"_s));
    return true;
}

QStringList OrderFeed::returnItem()
{
    Row row;
    qint64 original = 0;
    if (!pickOpenItem(row, original))
        return placeOrder();
    row.listNo = lastListNo(row.orderPID) + 1;
    row.qty = -1;
    row.amt = -row.price;
    row.remark = u"退菜"_s;
    return { describe(insert(row), row) };
}

QStringList OrderFeed::rushItem()
{
    Row row;
    qint64 original = 0;
    if (!pickOpenItem(row, original))
        return placeOrder();
    row.listNo = lastListNo(row.orderPID) + 1;
    row.qty = 0;
    row.amt = 0;
    row.remark = u"催菜"_s;
    return { describe(insert(row), row) };
}

QStringList OrderFeed::supplementItem()
{
    Row row;
    qint64 original = 0;
    if (!pickOpenItem(row, original))
        return placeOrder();
    row.kport = u"補單"_s;
    row.listNo = lastListNo(row.orderPID) + 1;
    row.qty = 1;
    row.amt = row.price;
    row.remark = u"補單"_s;
    return { describe(insert(row), row) };
}

QStringList OrderFeed::changeRow()
{
    Row row;
    qint64 rno = 0;
    if (!pickOpenItem(row, rno))
        return placeOrder();
    const QString remark = u"改:少鹽"_s;
    m_cn.execute(u"UPDATE ORDERI SET Remark = "_s + QuotStr(remark) + u", UpdDate = "_s + stampLiteral(now())
        + u" WHERE RNo = "_s + QString::number(rno));
    row.remark = remark;
    return { u"changed "_s + describe(rno, row) };
}

int OrderFeed::lastListNo(const QString &orderPID)
{
    db::Recordset rs = m_cn.openRecordset(
        u"SELECT MAX(ListNo) AS LastListNo FROM ORDERI WHERE OPDate IS NULL AND OrderPID = "_s
        + QuotStr(orderPID));
    return int(rs.number(u"LastListNo"_s));
}

int OrderFeed::openOrders()
{
    db::Recordset rs
        = m_cn.openRecordset(u"SELECT COUNT(DISTINCT OrderPID) AS N FROM ORDERI WHERE OPDate IS NULL"_s);
    return int(rs.number(u"N"_s));
}

QStringList OrderFeed::closeOrder()
{
    db::Recordset rs = m_cn.openRecordset(
        u"SELECT OrderPID, MIN(RNo) AS FirstRNo FROM ORDERI WHERE OPDate IS NULL GROUP BY OrderPID "
        "ORDER BY FirstRNo LIMIT 1"_s);
    if (rs.eof() || openOrders() < 4) // keep a few orders open for the kitchen to see
        return placeOrder();
    const QString orderPID = rs.text(u"OrderPID"_s);
    rs.close();
    QString opDate;
    db::Recordset param = m_cn.openRecordset(u"SELECT ParamValue FROM xxPARAM WHERE ParamID = 'OPDATE'"_s);
    if (!param.eof())
        opDate = param.text(u"ParamValue"_s);
    param.close();
    QDateTime day = sqlDateValue(opDate);
    if (!day.isValid())
        day = now().date().startOfDay();
    const int n = m_cn.execute(u"UPDATE ORDERI SET OPDate = "_s + stampLiteral(day)
        + u" WHERE OPDate IS NULL AND OrderPID = "_s + QuotStr(orderPID));
    return { u"closed %1 (%2 rows)"_s.arg(orderPID).arg(n) };
}

QStringList OrderFeed::step()
{
    const int dice = bounded(1, 100);
    if (dice <= 66)
        return placeOrder();
    if (dice <= 72)
        return returnItem();
    if (dice <= 78)
        return rushItem();
    if (dice <= 81)
        return supplementItem();
    if (dice <= 89)
        return changeRow();
    return closeOrder();
}

} // namespace tavo::demo
