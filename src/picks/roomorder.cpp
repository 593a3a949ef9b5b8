#include "picks/roomorder.h"

#include "db/dbglobals.h"
#include "db/gridload.h"

using namespace Qt::StringLiterals;

namespace tavo::picks {

QString roomOrderSql(const QString &pvOrderPID)
{
    return u"SELECT  KPort, KPMark, OrderPID, KSMark, OrderTime, "_s + u" ItemName, PriceCap, Qty, Remark, "_s
        + u" POSID, DelMark, "_s + u" FileDate, UpdDate"_s + u" FROM ORDERI "_s + u" Where OrderPID = "_s
        + QuotStr(pvOrderPID) + u"   And OpDate is null "_s;
}

QString roomNumber(const QString &pvOrderPID)
{
    return pvOrderPID.left(3);
}

bool LoadRoomOrder(platform::GridModel &fgCode, const QString &pvOrderPID, db::Connection &cnt)
{
    fgCode.setColumns(RoomOrderColumns::columns);
    fgCode.setRows(1);
    db::FGLoad(fgCode, roomOrderSql(pvOrderPID), cnt);
    fgCode.AutoSize(0, fgCode.Cols() - 1);
    return fgCode.Rows() > 1;
}

} // namespace tavo::picks
