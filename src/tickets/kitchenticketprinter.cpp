#include "tickets/kitchenticketprinter.h"

#include "db/dbglobals.h"
#include "platform/ini.h"
#include "util/report.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::tickets {

KitchenTicketPrinter::KitchenTicketPrinter(const Site &site)
    : m_site(site)
{
    try {
        vsp.setTableBorder(10);
        vsp.setMargins(QMargins(0, 0, 0, 0));
        vsp.setFontName(u"Arial"_s);
        vsp.setPreview(false);
        vsp.setPaperSize(kRollPaper, true);
    } catch (...) {
        ShowErrMsg(tags::Form_Load);
    }
    try {
        const QString site = GetINI(m_site.values.gINIFile, u"PARAM"_s, TableLabelSiteKey);
        if (!site.isEmpty() && m_site.values.gCustName == site)
            TableLabel = u"桌號"_s;
    } catch (...) {
        ShowErrMsg(tags::Form_Load);
    }
    try {
        bool numeric = false;
        const double twips = m_site.services.settings->get(u"Tavo3"_s, u"KP"_s, u"lblSlipTopMargin"_s)
                                 .trimmed()
                                 .toDouble(&numeric);
        // Above the paper or beyond its end the header would not print at all.
        if (numeric && twips > 0)
            SlipTopMargin = int(std::lround(std::min(twips, double(kRollPaper.height()))));
    } catch (...) {
        ShowErrMsg(tags::Form_Load);
    }
}

TicketSettings KitchenTicketPrinter::ticketSettings(
    const QString &pvPrintSNo, int pvSplitCount, const QString &pvCustTotal, const QString &pvKPName) const
{
    const Globals &gv = m_site.values;
    TicketSettings s;
    s.printSNo = pvPrintSNo;
    s.splitCount = pvSplitCount;
    s.custTotal = pvCustTotal;
    s.kpName = pvKPName;
    s.slipTopMargin = SlipTopMargin;
    s.tableLabel = TableLabel;
    s.headerAtFoot = KPAddTblName == u"Y"_s;
    s.ringBell = !BellDone;
    s.privateRooms = gv.gKTVAPP == u"Y"_s;
    s.hideTimeMark = gv.gHideTimeMark == u"Y"_s;
    s.splitSetItems = splitsSetItems();
    s.menuRemarks = gv.gKPPrintMenuRemark == u"Y"_s;
    s.opDate = gv.gOPDate;
    s.exeName = gv.gExeName;
    s.printedAt = m_site.services.clock->now();
    return s;
}

bool KitchenTicketPrinter::PrintKPortShortSize(db::Recordset &pRST, const QString &pvPrintSNo,
    int pvSplitCount, const QString &pvCustTotal, const QString &pvKPName, db::Connection &cn)
{
    // The printer has no connection of its own: its parameter comes from the one its first
    // ticket is printed on.
    if (!m_paramsRead) {
        QString value;
        if (getParamValue(u"KPAddTblName"_s, value, cn))
            KPAddTblName = value.toUpper();
        m_paramsRead = true;
    }
    const TicketSettings settings = ticketSettings(pvPrintSNo, pvSplitCount, pvCustTotal, pvKPName);
    const KitchenTicket ticket = readKitchenTicket(pRST, cn, settings);
    const LaidOutTicket out = layOutKitchenTicket(vsp, ticket, settings);
    // A ticket the printer never took did not sound its buzzer: the next one must.
    if (out.bellRung && out.sent)
        BellDone = true;
    markAddOns(cn, ticket, pvPrintSNo);
    return out.sent;
}

} // namespace tavo::tickets
