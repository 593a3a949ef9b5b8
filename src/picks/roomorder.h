#pragma once
// The room order view: the items of one order still waiting for the kitchen.
#include "platform/gridmodel.h"

#include <QString>

namespace tavo::db {
class Connection;
}

namespace tavo::picks {

// The view's columns, worded as the order list words the same columns.
struct RoomOrderColumns {
    enum Column : int {
        KPort,
        KPMark,
        OrderPID,
        KSMark,
        OrderTime,
        ItemName,
        PriceCap,
        Qty,
        Remark,
        POSID,
        DelMark,
        FileDate,
        UpdDate,
        Count
    };
    static constexpr platform::GridColumn columns[Count] = { { u"送廚出口" }, { u"出菜單號" },
        { u"桌號輪序" }, { u"菜條序號" }, { u"點單時間" }, { u"項目名稱" }, { u"價別" }, { u"數量" },
        { u"備註說明" }, { u"POS識別碼" }, { u"刪改記號" }, { u"建檔日期" }, { u"修改日期" } };
};

// The open rows (no OpDate) of order `pvOrderPID`, one column per view column.
QString roomOrderSql(const QString &pvOrderPID);

// The room number of an order: its first three characters.
QString roomNumber(const QString &pvOrderPID);

// The view's grid: its header and the order's open rows, read on `cnt`. True when there is at
// least one.
bool LoadRoomOrder(platform::GridModel &fgCode, const QString &pvOrderPID, db::Connection &cnt);

} // namespace tavo::picks
