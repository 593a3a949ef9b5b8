#include "reports/speedreport.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/site.h"
#include "kds/kdsboard.h"
#include "kds/kdsstore.h"
#include "platform/cursor.h"
#include "platform/gridmodel.h"
#include "print/printercatalog.h"
#include "tickets/kitchenticket.h"
#include "util/dates.h"
#include "util/grids.h"
#include "util/report.h"

#include <QDir>
#include <QFile>
#include <QTime>

using namespace Qt::StringLiterals;

namespace tavo::reports {

namespace {

constexpr LogTag kTag = tags::cmdPrintShiftSpeed_Click;
const QString kTitle = u"出餐時間統計"_s;
// Laid out for the receipt roll's 72 mm (about 4,080 twips), which A4 holds as well: a dish name
// of seven characters a line and the times whole at 42 columns.
const QString kDishFormat = u"<1400#>560#>700#>700#>700;"_s;
const QString kDishHeader = u"品名#筆數#中位數#90%#最長;"_s;
const QString kHourFormat = u"<1400#>560#>700#>700;"_s;
const QString kHourHeader = u"時段#單數#中位數#90%;"_s;
const QString kUnfinishedFormat = u"<1400#>560;"_s;
const QString kUnfinishedHeader = u"品名#筆數;"_s;

QString row(const QStringList &cells)
{
    return cells.join(u'#') + u';';
}

QStringList timeCells(const speed::Durations &d)
{
    if (d.count == 0)
        return { formatQty(0), {}, {}, {} };
    return { formatQty(d.count), formatDuration(d.median), formatDuration(d.p90), formatDuration(d.longest) };
}

// The start of the window as the wall clock reads it: no bump of its items can be older.
QDateTime windowStart(const ShiftWindow &window)
{
    const QTime time = QTime::fromString(window.timeB, u"hh:mm:ss"_s);
    return QDateTime(toDate(window.dateB), time.isValid() ? time : QTime(0, 0), Qt::UTC);
}

struct DoneTimes {
    QList<speed::Bump> bumps;
    QHash<qint64, QDateTime> crossedOff; // by RNo, the wall clock marked UTC as the bumps
};

DoneTimes readDoneTimes(const QString &storePath, const QString &port, const QDateTime &from)
{
    const kds::KdsStore store(storePath);
    const std::optional<QList<speed::Bump>> bumps = store.ok() ? store.bumpsSince(port, from) : std::nullopt;
    if (!bumps)
        throw TavoError(kErrPathFileAccess, storePath + u": "_s + store.lastError());
    return { *bumps, store.crossedOffSince(port, from) };
}

void layOut(ReportPreview &preview, const QString &port, const SelectedShift &shift, const QString &opDate,
    const speed::ServiceTimes &times, const QDateTime &printedAt)
{
    print::PrintSurface &vsp = preview.surface();
    vsp.setDocName(port + kTitle);
    vsp.startDoc();
    vsp.setTableSeparators(u"#;"_s);

    vsp.setFontSize(12);
    vsp.setFontBold(true);
    vsp.setTextAlign(7);
    vsp.paragraph(port + kTitle + (shift.name.isEmpty() ? QString() : u" - "_s + shift.name));
    vsp.setCurrentY(vsp.currentY() + 150);

    vsp.setFontSize(10);
    vsp.setFontBold(false);
    vsp.paragraph(u"營業日期: "_s + opDate);
    vsp.paragraph(u"時段: "_s + shift.window.timeB + u" -> "_s + shift.window.timeE);
    vsp.paragraph(u"列印時間: "_s + printedAt.toString(u"yyyy/MM/dd hh:mm"_s));
    vsp.paragraph(u"點單至出餐 (分:秒)"_s);
    vsp.paragraph(u"    "_s);

    vsp.setTableBorder(2);
    QString dishRows;
    for (const speed::DishTimes &dish : times.dishes)
        if (dish.done.count > 0)
            dishRows += row(QStringList { dish.dish } + timeCells(dish.done));
    dishRows += row(QStringList { u"合計"_s } + timeCells(times.overall));
    vsp.addTable(kDishFormat, kDishHeader, dishRows);
    vsp.paragraph(u"    "_s);

    vsp.paragraph(u"每小時"_s);
    QString hourRows;
    for (const speed::HourTimes &hour : times.hours) {
        const QStringList cells = timeCells(hour.done);
        hourRows += row({ hour.hour.toString(u"hh:mm"_s), formatQty(hour.orders), cells[1], cells[2] });
    }
    vsp.addTable(kHourFormat, kHourHeader, hourRows);
    vsp.paragraph(u"    "_s);

    // Not counted as no time nor as the whole shift: listed on their own.
    vsp.paragraph(u"未完成: "_s + formatQty(times.unfinished));
    QString unfinishedRows;
    for (const speed::DishTimes &dish : times.dishes)
        if (dish.unfinished > 0)
            unfinishedRows += row({ dish.dish, formatQty(dish.unfinished) });
    if (!unfinishedRows.isEmpty())
        vsp.addTable(kUnfinishedFormat, kUnfinishedHeader, unfinishedRows);

    vsp.endDoc();
    vsp.setPreviewPage(1);

    platform::GridModel &list = preview.listGrid();
    list.setColumns(grids::ServiceTimeList::columns);
    list.setRows(1);
    for (const speed::DishTimes &dish : times.dishes) {
        const QStringList cells = timeCells(dish.done);
        list.addRow(QStringList { dish.dish } + cells + QStringList { formatQty(dish.unfinished) });
    }
}

} // namespace

QList<speed::OrderedItem> readShiftItems(db::Connection &cn, const QString &port, const ShiftWindow &window)
{
    // By position: a day of a busy kitchen is a hundred thousand rows.
    enum { RNo, OrderPID, ItemName, ItemType, PriceCap, Qty, OrderDate, OrderTime, FileDate };
    db::Recordset rs = cn.openRecordset(
        u"SELECT RNo, OrderPID, ItemName, ItemType, PriceCap, Qty, OrderDate, OrderTime, FileDate FROM OrderI"_s
        + shiftCondition(window) + u" AND OrderI.KPort = "_s + QuotStr(port) + u" ORDER BY RNo"_s);
    QList<speed::OrderedItem> items;
    QHash<QString, QDate> days;
    for (; !rs.eof(); rs.moveNext()) {
        // Add-ons ride on their item's card; returns and rush requests are nothing to make.
        if (rs.number(Qty) <= 0 || tickets::isAddOnType(rs.text(ItemType)))
            continue;
        const QString cap = rs.text(PriceCap);
        const QString name = rs.text(ItemName);
        items.append({ qint64(rs.number(RNo)), rs.text(OrderPID), cap.isEmpty() ? name : name + u'-' + cap,
            kds::orderedAt(rs.text(OrderDate), rs.text(OrderTime), rs.text(FileDate), days) });
    }
    return items;
}

QString formatDuration(qint64 seconds)
{
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return u"%1:%2"_s.arg(minutes).arg(seconds % 60, 2, 10, QChar(u'0'));
    return u"%1:%2:%3"_s.arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

ReportOutcome printServiceTimeReport(const ShiftInput &input, const QString &port, const Site &site,
    const PreviewFactory &newPreview, const MessageFlash &DispElaMsg)
{
    try {
        const std::optional<SelectedShift> shift = selectedShift(input, DispElaMsg);
        if (!shift)
            return ReportOutcome::NotRun;
        const QString kport = port.trimmed();
        if (kport.isEmpty()) {
            DispElaMsg(u"請先設定送廚出口"_s);
            return ReportOutcome::NotRun;
        }
        // Bumps are kept by the kitchen display only; without its file there is nothing to time,
        // and a report is no reason to create one.
        const QString storePath = QDir(input.appDir).filePath(u"KDS.db"_s);
        if (!QFile::exists(storePath)) {
            DispElaMsg(u"廚房顯示沒有出餐記錄"_s);
            return ReportOutcome::NotRun;
        }

        std::unique_ptr<ReportPreview> preview = newPreview();
        print::PrintSurface &vsp = preview->surface();
        const QString printer = input.printer.trimmed();
        if (!printer.isEmpty()) {
            if (!print::IsPrinterInstalled(printer)) {
                DispElaMsg(u"帳單印表機未安裝:"_s + printer);
                return ReportOutcome::NotRun;
            }
            vsp.setDevice(printer);
        }

        const platform::BusyPointer busy;
        vsp.setPreview(true);
        const QList<speed::OrderedItem> items = readShiftItems(site.connection, kport, shift->window);
        if (items.isEmpty()) {
            site.services.prompter->ask(appTitle(), u"沒有出菜單資料:"_s + kport,
                platform::BoxIcon::Information, platform::BoxButtons::Ok);
            return ReportOutcome::NotRun;
        }
        // Past the days the display keeps, every item would read as never done.
        const QDateTime from = windowStart(shift->window);
        const QDateTime now = site.services.clock->now();
        if (from < QDateTime(now.date(), now.time(), Qt::UTC).addDays(-kds::KdsStore::kBumpKeepDays)) {
            DispElaMsg(u"出餐記錄只保留 %1 天"_s.arg(kds::KdsStore::kBumpKeepDays));
            return ReportOutcome::NotRun;
        }
        const DoneTimes done = readDoneTimes(storePath, kport, from);
        const speed::ServiceTimes times = speed::serviceTimes(items, done.bumps, done.crossedOff);

        const print::PrintPaper paper
            = reportPaper(vsp.device(), printer.isEmpty() ? QString() : input.printerType.trimmed());
        vsp.setPaperSize(paper.size, paper.roll);
        vsp.setMarginLeft(0);
        vsp.setMarginRight(0);
        preview->setZoom(110);
        layOut(*preview, kport, *shift, input.opDate, times, now);
        platform::restoreCursor();
        preview->showModal();
        return ReportOutcome::Shown;
    } catch (...) {
        ShowErrMsg(kTag);
        return ReportOutcome::Failed;
    }
}

} // namespace tavo::reports
