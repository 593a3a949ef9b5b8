#include "reports/shiftreport.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/site.h"
#include "platform/cursor.h"
#include "platform/gridfiles.h"
#include "platform/gridmodel.h"
#include "print/printercatalog.h"
#include "util/dates.h"
#include "util/grids.h"
#include "util/report.h"

#include <QTime>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::reports {

namespace {

constexpr LogTag kTag = tags::PrintKPTypeList;
const QString kNoCategory = u"XX"_s;
const QString kTableFormat = u"<2400#<600;"_s;
const QString kTableHeader = u"項目名稱#數量;"_s;
const QString kEmptyRow = u"#;"_s;

bool crossesMidnight(const ShiftWindow &w)
{
    return w.timeB > w.timeE;
}

// A shift time of the grid as "hh:mm"; empty when the cell holds no time of day. "8:00" is taken
// as 08:00, so that the text comparisons that follow see two digits on both sides.
QString shiftTime(const QString &cell)
{
    const QString text = cell.trimmed();
    for (const QString &format : { u"H:mm"_s, u"H:mm:ss"_s }) {
        const QTime time = QTime::fromString(text, format);
        if (time.isValid())
            return time.toString(u"hh:mm"_s);
    }
    return {};
}

QString cell(const platform::GridModel &grid, int row, int col)
{
    // A shift file with fewer columns leaves the times unset rather than out of range.
    return col < grid.Cols() ? grid.TextMatrix(row, col) : QString();
}

} // namespace

QString shiftCondition(const ShiftWindow &w)
{
    const QString dates = u" WHERE OrderI.OrderDate >= "_s + QuotDate(w.dateB)
        + u"   AND OrderI.OrderDate <= "_s + QuotDate(w.dateE);
    if (!crossesMidnight(w))
        return dates + u"   AND OrderTime >= "_s + QuotStr(w.timeB) + u"   AND OrderTime <= "_s
            + QuotStr(w.timeE);
    // Each end of the night belongs to its own date: the early hours of the first date are the
    // previous night's shift, the late hours of the last date the next one's.
    return dates + u" AND ( ( OrderI.OrderDate = "_s + QuotDate(w.dateB) + u" AND OrderTime >= "_s
        + QuotStr(w.timeB) + u" ) OR ( OrderI.OrderDate = "_s + QuotDate(w.dateE) + u" AND OrderTime <= "_s
        + QuotStr(w.timeE) + u" ) )"_s;
}

QString kpTypeListSql(const QString &pvKPort, const ShiftWindow &window, bool priceCap)
{
    QString sql = priceCap
        ? u" SELECT OrderI.TypeNo, TypeName, ItemName, OrderI.ItemType, OrderI.PriceCap"_s
            + u" , Sum(Qty) as SumQty "_s
        : u" SELECT OrderI.TypeNo, TypeName, ItemName, OrderI.ItemType, Sum(Qty) as SumQty "_s;
    sql += u" From OrderI Left Join MenuType"_s + u"          ON OrderI.TypeNo = MenuType.TypeNo "_s;
    sql += shiftCondition(window);
    // MenuType has a KPort of its own (the station a category is sent to): name the order's.
    sql += u"   AND OrderI.KPort = "_s + QuotStr(pvKPort);
    if (priceCap)
        sql += u" GROUP BY OrderI.TypeNo, TypeName, ItemName, OrderI.ItemType, OrderI.PriceCap "_s
            + u" ORDER BY OrderI.TypeNo, TypeName, ItemName, OrderI.ItemType, OrderI.PriceCap  "_s;
    else
        sql += u" GROUP BY OrderI.TypeNo, TypeName, ItemName, OrderI.ItemType  "_s
            + u" ORDER BY OrderI.TypeNo, TypeName, ItemName, OrderI.ItemType "_s;
    return sql;
}

QString supplementSql(double typeNo, const QString &itemName, const QString &priceCap,
    const ShiftWindow &window, bool priceCapFlag)
{
    QString sql = u" SELECT Sum(Qty) as SumRtnQty "_s + u" From OrderI "_s + u" WHERE TypeNo = "_s
        + QString::number(typeNo, 'g', 15) + u"   AND ItemName = "_s + QuotStr(itemName);
    // The shared window condition opens with its own WHERE; here it follows as AND.
    QString window_ = shiftCondition(window);
    window_.replace(0, u" WHERE "_s.size(), u"   AND "_s);
    sql += window_;
    sql += u"   AND KPort = '補單' "_s;
    if (priceCapFlag)
        sql += u"   AND PriceCap = "_s + QuotStr(priceCap);
    return sql;
}

QString formatQty(double qty)
{
    const long long whole = std::llround(qty);
    QString digits = QString::number(whole < 0 ? -whole : whole);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return whole < 0 ? u"-"_s + digits : digits;
}

print::PrintPaper reportPaper(const QString &printer, const QString &printerType)
{
    const print::PrintPaper paper = print::printServices().printers->paper(printer);
    if (!paper.roll && !printer.isEmpty() && printerType == u"EPSONTM"_s)
        return print::kReceiptRoll;
    return paper;
}

namespace {

// The paper, the title and the period of the item summary, down to where its tables start.
void layOutSummaryHead(ReportPreview &preview, const ItemSummaryRequest &request, const QDateTime &printedAt)
{
    print::PrintSurface &vsp = preview.surface();
    const ShiftWindow &window = request.window;
    // Laid out on A4 and then squeezed into a roll's columns, a table loses its cells: the
    // report is laid out on the paper it prints on.
    const print::PrintPaper paper
        = reportPaper(vsp.device(), request.printer.isEmpty() ? QString() : request.printerType);
    vsp.setPaperSize(paper.size, paper.roll);
    vsp.setMarginLeft(0);
    vsp.setMarginRight(0);
    preview.setZoom(110);
    vsp.setDocName(request.port + u"出菜統計表"_s);
    vsp.startDoc();
    vsp.setTableSeparators(u"#;"_s);

    vsp.setFontSize(12);
    vsp.setFontBold(true);
    vsp.setTextAlign(7);
    vsp.paragraph(request.port + u"出菜統計表"_s + u" - "_s + request.portName);
    vsp.setCurrentY(vsp.currentY() + 150);

    vsp.setFontSize(10);
    vsp.setFontBold(false);
    vsp.paragraph(u"統計期間: "_s + window.dateB);
    vsp.paragraph(u"           -> "_s + window.dateE);
    vsp.paragraph(u"時段: "_s + window.timeB + u" -> "_s + window.timeE);
    vsp.paragraph(u"列印時間: "_s + printedAt.toString(u"yyyy/MM/dd hh:mm"_s));
    vsp.paragraph(u"    "_s);
}

// One table per category of the rows of `rs`, each item with its returns added and each table
// closed by the category's total (add-ons and set items left out of it); the preview's list
// grid gets the same rows.
void layOutSummaryTables(
    ReportPreview &preview, db::Recordset &rs, db::Connection &cn, const ItemSummaryRequest &request)
{
    print::PrintSurface &vsp = preview.surface();
    vsp.setTextAlign(7);
    vsp.setTableBorder(2);
    platform::GridModel &fgList = preview.listGrid();
    fgList.setColumns(grids::ReportList::columns);
    fgList.setRows(1);
    QString previous = kNoCategory;
    double total = 0;
    // The empty row closing a category's table is where its total line is written.
    auto closeCategory = [&] {
        vsp.setTableBorder(2);
        vsp.addTable(kTableFormat, kTableHeader, kEmptyRow);
        if (previous == kNoCategory)
            return;
        vsp.setCurrentY(vsp.currentY() - 200);
        vsp.text(u"\r\n"_s + previous + u"總計: "_s + formatQty(total));
        vsp.setCurrentY(vsp.currentY() + 200);
        fgList.addRow({ previous, u"總計"_s, formatQty(total) });
    };

    for (; !rs.eof(); rs.moveNext()) {
        const double typeNo = rs.number(u"TypeNo"_s);
        QString typeName = rs.text(u"TypeName"_s);
        QString itemName = rs.text(u"ItemName"_s);
        const QString itemType = rs.text(u"ItemType"_s);
        const double sumQty = rs.number(u"SumQty"_s);
        if (typeName.isEmpty())
            typeName = u"其它"_s;
        const QString cap = request.byPriceClass ? rs.text(u"PriceCap"_s) : QString();
        if (!cap.isEmpty())
            itemName += u"-"_s + cap;

        if (typeName != previous) {
            closeCategory();
            total = 0;
            previous = typeName;
            vsp.text(u"類別: "_s + typeName + u"\r\n"_s);
        }

        double supplement = 0;
        {
            db::Recordset extra = cn.openRecordset(
                supplementSql(typeNo, itemName, cap, request.window, request.byPriceClass));
            if (!extra.eof())
                supplement = extra.number(u"SumRtnQty"_s);
        }
        const double qty = sumQty + supplement;
        vsp.addTable(kTableFormat, kTableHeader, itemName + u"#"_s + formatQty(qty) + u";"_s);
        fgList.addRow({ typeName, itemName, formatQty(qty) });
        if (itemType != u"A1"_s && itemType != u"T1"_s)
            total += qty;
    }
    rs.close();
    closeCategory();
}

} // namespace

ReportOutcome printItemSummary(const ItemSummaryRequest &request, const Site &site,
    const PreviewFactory &newPreview, const MessageFlash &DispElaMsg)
{
    try {
        std::unique_ptr<ReportPreview> preview = newPreview();
        print::PrintSurface &vsp = preview->surface();
        if (!request.printer.isEmpty()) {
            if (!print::IsPrinterInstalled(request.printer)) {
                DispElaMsg(u"帳單印表機未安裝:"_s + request.printer);
                return ReportOutcome::NotRun;
            }
            vsp.setDevice(request.printer);
        }

        const platform::BusyPointer busy;
        vsp.setPreview(true);
        db::Recordset rs = site.connection.openRecordset(
            kpTypeListSql(request.port, request.window, request.byPriceClass));
        if (rs.eof()) {
            site.services.prompter->ask(appTitle(), u"沒有出菜單資料:"_s + request.port,
                platform::BoxIcon::Information, platform::BoxButtons::Ok);
            return ReportOutcome::NotRun;
        }

        layOutSummaryHead(*preview, request, site.services.clock->now());
        layOutSummaryTables(*preview, rs, site.connection, request);

        vsp.setFontSize(10);
        vsp.endDoc();
        vsp.setPreviewPage(1);
        platform::restoreCursor();
        preview->showModal();
        return ReportOutcome::Shown;
    } catch (...) {
        ShowErrMsg(kTag);
        return ReportOutcome::Failed;
    }
}

std::optional<SelectedShift> selectedShift(const ShiftInput &input, const MessageFlash &DispElaMsg)
{
    platform::saveCsv(input.fg2, input.appDir + u"/TavoC_fg2.CSV"_s);
    const int row = input.fg2.Row();
    if (row < 1 || row >= input.fg2.Rows()) {
        DispElaMsg(u"請先選擇班別"_s);
        return std::nullopt;
    }
    QString timeB = shiftTime(cell(input.fg2, row, grids::ShiftTable::Start));
    QString timeE = shiftTime(cell(input.fg2, row, grids::ShiftTable::End));
    if (timeB.isEmpty() || timeE.isEmpty()) {
        DispElaMsg(u"統計時間未設定"_s);
        return std::nullopt;
    }
    const QString dateB = input.opDate;
    QString dateE = dateB;
    if (timeE < timeB) {
        const QDate first = toDate(dateB);
        if (!first.isValid())
            throw TavoError(13, u"Type mismatch: the operation date \"%1\" is not a date"_s.arg(dateB));
        dateE = first.addDays(1).toString(u"yyyy/MM/dd"_s);
    }
    return SelectedShift { cell(input.fg2, row, grids::ShiftTable::Shift).trimmed(),
        { dateB, dateE, timeB + u":00"_s, timeE + u":59"_s } };
}

ReportOutcome printShiftReport(const QString &tag, const QString &kPort, const QString &kPName,
    const ShiftInput &input, const Site &site, const PreviewFactory &newPreview,
    const MessageFlash &DispElaMsg)
{
    try {
        const std::optional<SelectedShift> shift = selectedShift(input, DispElaMsg);
        if (!shift)
            return ReportOutcome::NotRun;
        return printItemSummary(
            { kPort, kPName, shift->window, input.printer.trimmed(), true, input.printerType.trimmed() },
            site, newPreview, DispElaMsg);
    } catch (...) {
        ShowErrMsg(tag);
        return ReportOutcome::Failed;
    }
}

} // namespace tavo::reports
