#include "tickets/testticket.h"

#include "platform/gridmodel.h"
#include "platform/services.h"
#include "print/printsurface.h"
#include "tickets/kitchenticketprinter.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/report.h"

using namespace Qt::StringLiterals;

namespace tavo::tickets {

namespace {

QDateTime now()
{
    return platform::services().clock->now();
}

// The test of all printers is run by someone standing at the printers: what it did not reach
// shows on paper and in the activity list, and the error log stays for the service's own faults.
template <typename Step> void ignoringErrors(Step &&run)
{
    try {
        run();
    } catch (...) {
    }
}

} // namespace

bool KPWPOrderI(const QString &PrinterName, const OrderBuffer &Buffer, print::PrintSurface &vsp,
    const FGLogWriter &WriteFGLog)
{
    try {
        const QStringList devices = vsp.devices();
        if (PrinterName.isEmpty() || !devices.contains(PrinterName)) {
            if (WriteFGLog)
                WriteFGLog(u"列印失敗"_s, PrinterName + u"未安裝"_s);
            return false;
        }
        vsp.setDevice(PrinterName);
        vsp.setPreview(false);
        vsp.setMargins(QMargins(0, 0, 0, 0));
        // The service window's surface is laid out for sheets; the test ticket must come out on the
        // roll as a kitchen ticket does, or it proves nothing about the printer's real output.
        vsp.setPaperSize(kRollPaper, true);
        vsp.setDocName(PrinterName + u"->"_s + Buffer.title);
        vsp.startDoc();

        vsp.setTextAlign(0);
        vsp.setFontBold(true);
        vsp.setFontSize(14);
        vsp.text(u"["_s + Buffer.title + u"]"_s + u"\r\n"_s);

        vsp.setFontBold(false);
        vsp.setFontSize(10);
        vsp.text(u" 點單時間:"_s + Buffer.orderTime.left(5) + u"    "_s + u"印單時間:"_s
            + now().toString(u"hh:mm:ss"_s) + u"\r\n"_s);
        vsp.text(u" 服務員代號: "_s + u"Korvel."_s + u"\r\n"_s);

        vsp.setFontName(print::kRedDeviceFont);
        vsp.text(u"."_s + u"\r\n"_s);
        vsp.setCurrentY(vsp.currentY() - 200);

        vsp.setFontBold(true);
        vsp.setFontName(u"Arial"_s);
        vsp.setFontSize(14);
        vsp.text(Buffer.printerLine + u"\r\n"_s);

        vsp.setFontSize(18);
        vsp.setTableBorder(3);
        QString left = Buffer.itemName, right = Buffer.quantity;
        left.replace(u'|', u'｜').replace(u';', u'；');
        right.replace(u'|', u'｜').replace(u';', u'；');
        vsp.addTable(u"<2800|>900;"_s, QString(), left + u"|"_s + right + u";"_s);

        vsp.setCurrentY(vsp.currentY() + 50);
        if (vsp.currentY() <= SlipMinY)
            vsp.setCurrentY(SlipMinY);

        vsp.setFontName(print::kFixedDeviceFont);
        vsp.text(u"."_s + u"\r\n"_s);
        vsp.setCurrentY(vsp.currentY() - 200);
        vsp.setFontSize(14);
        vsp.setFontName(u"Arial"_s);

        if (Buffer.businessDayLine.isEmpty())
            vsp.text(u"   "_s + u"\r\n"_s);
        else
            vsp.text(u"   ->"_s + Buffer.businessDayLine + u"\r\n"_s);

        vsp.endDoc();
        vsp.setDocName(g().gExeName);
        return true;
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_KPWPOrderI);
    }
    return false;
}

void fillTestEntry(OrderBuffer &Buffer)
{
    Buffer.title = u"印表服務啟動測試"_s;
    Buffer.orderTime = u"hh:mm:ss"_s;
    Buffer.itemName = u"印表機OK, 請通知櫃台"_s;
    Buffer.quantity = u"999"_s;
    Buffer.businessDayLine = u"營業日:"_s + g().gOPDate;
}

void printTestOfAllPrinters(platform::GridModel &fgKPort, platform::GridModel &fgPrinterList,
    OrderBuffer &Buffer, print::PrintSurface &vsp, const FGLogWriter &WriteFGLog)
{
    fillTestEntry(Buffer);
    fgPrinterList.setRows(1);
    for (int r = 1; r < fgKPort.Rows(); ++r) {
        QString type, printer;
        ignoringErrors([&] {
            type = fgKPort.TextMatrix(r, grids::PortGrid::KPortType);
            printer = fgKPort.TextMatrix(r, grids::PortGrid::KPortName);
        });
        Buffer.printerLine = u"廚房印表機:"_s + printer;
        bool tested = false;
        ignoringErrors([&] {
            for (int i = 1; i < fgPrinterList.Rows() && !tested; ++i)
                tested = fgPrinterList.TextMatrix(i, grids::TestedPrinters::PrinterName) == printer;
        });
        if (tested)
            continue;
        fgPrinterList.addRow({ printer });
        if (type == u"EPSONTM"_s) {
            if (WriteFGLog)
                WriteFGLog(u"啟動測試"_s, printer + u"廚房印表機"_s);
            KPWPOrderI(printer, Buffer, vsp, WriteFGLog);
        }
    }
}

} // namespace tavo::tickets
