#pragma once
// The names the error log, the text log and the error boxes give the program's procedures. They
// are the names of the old program's procedures, which the suite's other tools and the sites'
// support staff search the logs for: each text is kept byte for byte, and written only from here.
#include <QString>
#include <QStringView>

namespace tavo {

// A procedure's name as the logs write it. Made from a string literal only, so a tag held for an
// error later (ErrorScope) always points at text that lives as long as the program.
class LogTag {
public:
    template <qsizetype N>
    consteval LogTag(const char16_t (&text)[N])
        : m_text(text, N - 1)
    {
    }
    constexpr QStringView view() const { return m_text; }
    // The literal's own storage, not a copy.
    operator QString() const
    {
        return QString::fromRawData(reinterpret_cast<const QChar *>(m_text.utf16()), m_text.size());
    }

private:
    QStringView m_text;
};

} // namespace tavo

namespace tavo::tags {

// ---- Start-up and the connection
inline constexpr LogTag sub_Main = u"sub_Main";
inline constexpr LogTag InitGlobal = u"InitGlobal";
inline constexpr LogTag fdTavo3_InitTavo3 = u"fdTavo3_InitTavo3";
inline constexpr LogTag InitMsgDB = u"InitMsgDB";
inline constexpr LogTag ConnectADO = u"ConnectADO";
inline constexpr LogTag basADODB_InitINIgCNTNoPWD = u"basADODB_InitINIgCNTNoPWD";
inline constexpr LogTag basADODB_SetDBType = u"basADODB_SetDBType";
inline constexpr LogTag getParamValue = u"getParamValue";
inline constexpr LogTag SetParamValue = u"SetParamValue";
inline constexpr LogTag QuotDate = u"QuotDate";
inline constexpr LogTag FGLoad = u"FGLoad";
inline constexpr LogTag DBDateDisp = u"DBDateDisp";
inline constexpr LogTag WriteLog = u"WriteLog";

// ---- The machine
inline constexpr LogTag Delay = u"Delay";
inline constexpr LogTag ShutdownWindows = u"ShutdownWindows";
inline constexpr LogTag ResetComPort = u"ResetComPort";
inline constexpr LogTag IsPrinterInstalled = u"IsPrinterInstalled";

// ---- The service: loading, the timers, the watch, the wake, the end
inline constexpr LogTag InitForm = u"InitForm";
inline constexpr LogTag Form_Load = u"Form_Load";
inline constexpr LogTag TimerStart_Timer = u"TimerStart_Timer";
inline constexpr LogTag Timer1_Timer = u"Timer1_Timer";
inline constexpr LogTag fmTavoKPortSrv_cmdStart_Click = u"fmTavoKPortSrv_cmdStart_Click";
inline constexpr LogTag fmTavoKPortSrv_cmdStop_Click = u"fmTavoKPortSrv_cmdStop_Click";
inline constexpr LogTag fmTavoKPortSrv_AddFG1 = u"fmTavoKPortSrv_AddFG1";
inline constexpr LogTag fmTavoKPortSrv_WriteFGLog = u"fmTavoKPortSrv_WriteFGLog";
inline constexpr LogTag DatabaseWake_start = u"DatabaseWake_start";
inline constexpr LogTag fmTavoKPortSrv_endOnRequest = u"fmTavoKPortSrv_endOnRequest";
inline constexpr LogTag fmTavoKPortSrv_cmdExit_Click = u"fmTavoKPortSrv_cmdExit_Click";
inline constexpr LogTag fmTavoKPortSrv_commitData = u"fmTavoKPortSrv_commitData";

// ---- The port grid
inline constexpr LogTag kport_setCell = u"kport_setCell";
inline constexpr LogTag kport_deleteRow = u"kport_deleteRow";
inline constexpr LogTag kport_insertRow = u"kport_insertRow";

// ---- Tickets and reports
inline constexpr LogTag PrintKPortShortSize = u"PrintKPortShortSize";
inline constexpr LogTag PrintKPortB = u"PrintKPortB";
inline constexpr LogTag cmdPrintRow_Click = u"cmdPrintRow_Click";
inline constexpr LogTag fmTavoKPortSrv_KPWPOrderI = u"fmTavoKPortSrv_KPWPOrderI";
inline constexpr LogTag PrintKPTypeList = u"PrintKPTypeList";
inline constexpr LogTag cmdPrintShiftItemSum_Click = u"cmdPrintShiftItemSum_Click";
inline constexpr LogTag cmdPrintShiftRptB_Click = u"cmdPrintShiftRptB_Click";
inline constexpr LogTag cmdPrintShiftSpeed_Click = u"cmdPrintShiftSpeed_Click";

// ---- The kitchen display
inline constexpr LogTag KitchenDisplay = u"KitchenDisplay";
inline constexpr LogTag KitchenDisplay_start = u"KitchenDisplay_start";
inline constexpr LogTag KitchenDisplay_refresh = u"KitchenDisplay_refresh";
inline constexpr LogTag KitchenDisplay_signOut = u"KitchenDisplay_signOut";

// ---- The service window
inline constexpr LogTag fmTavoKPortSrv_cmdSET_Click = u"fmTavoKPortSrv_cmdSET_Click";
inline constexpr LogTag fmTavoKPortSrv_Form_QueryUnload = u"fmTavoKPortSrv_Form_QueryUnload";
inline constexpr LogTag fmTavoKPortSrv_tabPage_Switch = u"fmTavoKPortSrv_tabPage_Switch";
inline constexpr LogTag fmTavoKPortSrv_txtOpDate_DblClick = u"fmTavoKPortSrv_txtOpDate_DblClick";
inline constexpr LogTag fmTavoKPortSrv_screenshot = u"fmTavoKPortSrv_screenshot";
inline constexpr LogTag txtShutTime_Validate = u"txtShutTime_Validate";
inline constexpr LogTag fmTavoKPortSrv_fgKPort_KeyPress = u"fmTavoKPortSrv_fgKPort_KeyPress";
inline constexpr LogTag fgKPort_KeyDown = u"fgKPort_KeyDown";
inline constexpr LogTag fmTavoKPortSrv_fgKPort_ValidateEdit = u"fmTavoKPortSrv_fgKPort_ValidateEdit";
inline constexpr LogTag fmTavoKPortSrv_cmdSetDef_Click = u"fmTavoKPortSrv_cmdSetDef_Click";
inline constexpr LogTag fmTavoKPortSrv_cmdSetKportPrinter_Click = u"fmTavoKPortSrv_cmdSetKportPrinter_Click";
inline constexpr LogTag fmTavoKPortSrv_cmdChangePrinter_Click = u"fmTavoKPortSrv_cmdChangePrinter_Click";
inline constexpr LogTag fmTavoKPortSrv_cmdTestPrinter_Click = u"fmTavoKPortSrv_cmdTestPrinter_Click";
inline constexpr LogTag fmTavoKPortSrv_chkPrintList_Click = u"fmTavoKPortSrv_chkPrintList_Click";
inline constexpr LogTag fmTavoKPortSrv_chkPrintItem_Click = u"fmTavoKPortSrv_chkPrintItem_Click";
inline constexpr LogTag fmTavoKPortSrv_chkKPortForm_Click = u"fmTavoKPortSrv_chkKPortForm_Click";
inline constexpr LogTag fmTavoKPortSrv_cmdRoomOrder_Click = u"fmTavoKPortSrv_cmdRoomOrder_Click";
inline constexpr LogTag DispElaMsg = u"DispElaMsg";
inline constexpr LogTag SelectAllText = u"SelectAllText";
inline constexpr LogTag KeyMoveFocus = u"KeyMoveFocus";
inline constexpr LogTag FormToCorner = u"FormToCorner";

// ---- The pick lists, the calendar and the room's order
// The two pick windows' loading, under the title the operator reads.
inline constexpr LogTag PickWindowLoad = u"載入代碼輸入輔助視窗";
inline constexpr LogTag frmPickF2_PickList = u"frmPickF2_PickList";
inline constexpr LogTag fgCode_Click = u"fgCode_Click";
inline constexpr LogTag fgCode_KeyDown = u"fgCode_KeyDown";
inline constexpr LogTag frmFgDate_PickDate = u"frmFgDate_PickDate";
inline constexpr LogTag DoCalendar = u"DoCalendar";
inline constexpr LogTag imgPrev_Click = u"imgPrev_Click";
inline constexpr LogTag imgNext_Click = u"imgNext_Click";
inline constexpr LogTag fgCal_Click = u"fgCal_Click";
inline constexpr LogTag ShowSelect = u"ShowSelect";
inline constexpr LogTag fmRoomOrder_cmdRoomOrder_Click = u"fmRoomOrder_cmdRoomOrder_Click";

// ---- The report preview
inline constexpr LogTag cmdFirst_Click = u"cmdFirst_Click";
inline constexpr LogTag cmdPrevious_Click = u"cmdPrevious_Click";
inline constexpr LogTag cmdNext_Click = u"cmdNext_Click";
inline constexpr LogTag cmdLast_Click = u"cmdLast_Click";
inline constexpr LogTag cmdPrint_Click = u"cmdPrint_Click";
inline constexpr LogTag cmdPrintPage_Click = u"cmdPrintPage_Click";
inline constexpr LogTag cmdSetupPrinter_Click = u"cmdSetupPrinter_Click";
inline constexpr LogTag frmVSPBlank_cmdSaveDoc_Click = u"frmVSPBlank_cmdSaveDoc_Click";

} // namespace tavo::tags
