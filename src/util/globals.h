#pragma once
// Process-wide values set at start-up and read everywhere. Names follow the rest of the POS suite.
#include <QString>

namespace tavo {

struct Globals {
    QString gAppDir; // <dir>: folder of the program, or $TAVO_HOME
    QString gExeName = QStringLiteral("TavoKPortSrv");
    QString gINIFile, gLogFile, gErrFile;
    QString gCustName, gCorpName, gLogoFile;
    QString gCalendar = QStringLiteral("YYYY/MM/DD");
    QString gDateSep = QStringLiteral("/");
    QString gAmtFmt = QStringLiteral("#,##0");
    QString gUserID;
    QString gOPDate; // business date "YYYY/MM/DD"
    QString gOPDateYMD; // business date "YYYYMMDD"
    QString gSQLNow; // server time expression of the dialect
    QString gSQLQuote = QStringLiteral("'"); // date literal style: "'", "#" or "TO_DATE"
    QString gKPSplitS1item = QStringLiteral("N");
    QString gKTVAPP = QStringLiteral("N");
    QString gHideTimeMark = QStringLiteral("N");
    QString gKPPrintMenuRemark = QStringLiteral("N");
};

Globals &g();
void resetGlobals(); // a fresh set, for tests

} // namespace tavo
