#pragma once
// The columns of the service's grids, named once: code addresses a cell by these names, and the
// captions of each header row come from the same tables.
#include "platform/gridmodel.h"

namespace tavo::grids {

using platform::GridColumn;

// fg1: the watched port's order items, one row per ORDERI row listed.
struct OrderList {
    enum Column : int {
        RNo,
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
    static constexpr GridColumn columns[Count] = { { u"記錄序號" }, { u"送廚出口" }, { u"出菜單號", true },
        { u"桌號輪序" }, { u"菜條序號" }, { u"點單時間" }, { u"項目名稱" }, { u"價別" }, { u"數量" },
        { u"備註說明" }, { u"POS識別碼" }, { u"刪改記號" }, { u"建檔日期", true }, { u"修改日期", true } };
};

// fgLog: the activity list.
struct ActivityList {
    enum Column : int { Time, Type, Message, Count };
    static constexpr GridColumn columns[Count]
        = { { u"記錄時間" }, { u"  作業別" }, { u"            作業訊息" } };
};

// fgList of the report preview: a shift report's rows as "存檔" saves them, a category's total
// after its items.
struct ReportList {
    enum Column : int { Category, Item, Qty, Count };
    static constexpr GridColumn columns[Count] = { { u"類別" }, { u"項目名稱" }, { u"數量" } };
};

// fgList of the report preview for the service times: one row per dish as "存檔" saves it.
struct ServiceTimeList {
    enum Column : int { Dish, Done, Median, P90, Longest, Unfinished, Count };
    static constexpr GridColumn columns[Count]
        = { { u"品名" }, { u"筆數" }, { u"中位數" }, { u"90%" }, { u"最長" }, { u"未完成" } };
};

// fg2: the shift table, kept in TavoC_fg2.CSV.
struct ShiftTable {
    enum Column : int { Shift, Start, End, Count };
    static constexpr GridColumn columns[Count] = { { u"班別" }, { u"起始時間" }, { u"結束時間" } };
};

// fgKPort: the kitchen ports and their printers.
struct PortGrid {
    enum Column : int { RNo, KPort, KPortType, KPortName, PrintList, PrintItem, Remark, Count };
    static constexpr GridColumn columns[Count] = { { u"序號" }, { u"送廚出口" }, { u"印表機型" },
        { u"印表機名稱" }, { u"印出菜單" }, { u"印出菜條" }, { u"備註說明" } };
};

// fgPrinterList: the printers the test of all printers has reached.
struct TestedPrinters {
    enum Column : int { PrinterName, Count };
    static constexpr GridColumn columns[Count] = { { u"印表機名稱" } };
};

} // namespace tavo::grids
