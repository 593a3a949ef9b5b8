#pragma once
// A POS terminal in a box: writes order rows into ORDERI the way the terminals of a busy
// restaurant do, so the service has live work to watch.
#include "db/connection.h"
#include "demo/demoschema.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

namespace tavo::demo {

class OrderFeed {
public:
    // Reads the menu from MENUITEM and MenuType; throws db::DbError when there is none.
    explicit OrderFeed(db::Connection &connection, quint32 seed = 1);

    // The time stamped into new rows; the system clock unless set.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // One thing that happens at the counter: mostly a new order (items, each possibly followed
    // by its add-on rows), sometimes a return, a rush request, a supplement, a changed row or a
    // closed order. Returns one line per row written.
    QStringList step();

    // The individual happenings, for tests that want a particular one.
    QStringList placeOrder();
    QStringList returnItem();
    QStringList rushItem();
    QStringList supplementItem();
    QStringList changeRow();
    QStringList closeOrder();

private:
    struct MenuItem {
        int typeNo = 0;
        QString itemNo, itemName, itemType, kport;
        QVector<QPair<QString, double>> prices; // price caption and price
    };
    struct Row {
        QString kport, kpMark, orderPID, tblName, ksMark, itemNo, itemName, itemType, priceCap, remark, posID,
            delMark, userID;
        int typeNo = 0, listNo = 0, custTotal = 0;
        double price = 0, qty = 0, amt = 0;
    };

    qint64 insert(const Row &row);
    QString describe(qint64 rno, const Row &row) const;
    bool pickOpenItem(Row &row, qint64 &rno);
    // The POS numbers the rows of an order (a table's round) 1, 2, 3 ... in the order they are
    // entered, returns and rush requests included: the last number of the open order, 0 for none.
    int lastListNo(const QString &orderPID);
    int openOrders();
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    int bounded(int low, int high) { return int(m_rng.bounded(low, high + 1)); }

    db::Connection &m_cn;
    Dialect m_dialect;
    QRandomGenerator m_rng;
    std::function<QDateTime()> m_clock;
    QVector<MenuItem> m_items, m_addOns, m_tastes;
    int m_ticket = 0;
    int m_serial = 0;
};

} // namespace tavo::demo
