#include "core/startup.h"

#include "core/databasewake.h"
#include "core/kitchenservice.h"
#include "core/serviceecho.h"
#include "core/systemdsupervision.h"
#include "kds/kitchendisplay.h"

#include "db/connectionstring.h"
#include "db/dbglobals.h"
#include "platform/ini.h"
#include "platform/services.h"
#include "platform/singleinstance.h"
#include "platform/system.h"
#include "util/dates.h"
#include "util/globals.h"
#include "util/machine.h"
#include "util/report.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

namespace tavo::core {

namespace {

constexpr qint64 kLogSizeLimit = 100 * 1024;

void deleteWhenTooLarge(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && info.size() > kLogSizeLimit && !QFile::remove(path))
        WriteErrLog(tags::InitGlobal, ErrorInfo { kErrPathFileAccess, path });
}

QString iniValue(const QString &key)
{
    return GetINI(g().gINIFile, u"PARAM"_s, key);
}

// A flag of xxPARAM: "N" when missing or empty, else upper-cased.
QString paramFlag(const QString &id)
{
    QString value;
    return getParamValue(id, value, db::gCNT()) ? value.toUpper() : u"N"_s;
}

QString settingsValue(const QString &section, const QString &key, const QString &defaultValue = {})
{
    return platform::services().settings->get(u"Tavo3"_s, section, key, defaultValue);
}

QtMessageHandler g_qtMessageHandler = nullptr;

QString messageKind(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return u"debug"_s;
    case QtInfoMsg:
        return u"info"_s;
    case QtWarningMsg:
        return u"warning"_s;
    case QtCriticalMsg:
        return u"critical"_s;
    case QtFatalMsg:
        break;
    }
    return u"fatal"_s;
}

void logLibraryMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A service started outside a login session (no XDG_RUNTIME_DIR) hears that Qt keeps its
    // runtime files in a private folder under /tmp, which is all the instance lock needs.
    if (message.startsWith(u"QStandardPaths: XDG_RUNTIME_DIR not set"_s))
        return;
    // The log's own trouble (a message raised while writing it) has only Qt's handler left.
    static thread_local bool writing = false;
    if (type == QtFatalMsg || writing || g().gLogFile.isEmpty()) {
        g_qtMessageHandler(type, context, message);
        return;
    }
    const QScopedValueRollback busy(writing, true);
    static QMutex oneAtATime;
    const QMutexLocker lock(&oneAtATime);
    QString line = u"Qt "_s + messageKind(type);
    if (context.category != nullptr && qstrcmp(context.category, "default") != 0)
        line += u" ["_s + QString::fromUtf8(context.category) + u']';
    WriteLog(line + u": "_s + message);
}

} // namespace

void routeLibraryMessagesToLog()
{
    const QtMessageHandler previous = qInstallMessageHandler(logLibraryMessage);
    if (previous != logLibraryMessage)
        g_qtMessageHandler = previous;
}

QString siteFolderFor(const QString &programFolder)
{
    const QFileInfo folder(programFolder);
    const QString path = folder.canonicalFilePath();
    // Root may write to /usr/bin, but logs and settings there outlive no upgrade and mix with
    // every other program's files.
    const bool systemFolder = path.startsWith(u"/usr/"_s) || path == u"/bin"_s || path == u"/sbin"_s;
    if (folder.isDir() && folder.isWritable() && !systemFolder)
        return QDir(programFolder).absolutePath();
    return QDir::homePath() + u"/.local/share/TavoKPortSrv"_s;
}

QString programDir()
{
    const QString home = qEnvironmentVariable("TAVO_HOME");
    return home.isEmpty() ? siteFolderFor(QCoreApplication::applicationDirPath()) : QDir(home).absolutePath();
}

void InitGlobal(const QString &INIFileName, const QString &Folder)
{
    try {
        QDir::setCurrent(Folder);
        Globals &G = g();
        G.gAppDir = Folder;
        G.gINIFile = Folder + u'/' + INIFileName;
        G.gLogFile = Folder + u'/' + G.gExeName + u".LOG"_s;
        G.gErrFile = Folder + u'/' + G.gExeName + u".ERR"_s;
        deleteWhenTooLarge(G.gLogFile);
        deleteWhenTooLarge(G.gErrFile);

        G.gCustName = iniValue(u"CustName"_s);
        G.gCorpName = iniValue(u"CorpName"_s);
        G.gCalendar = iniValue(u"Calendar"_s);
        G.gDateSep = iniValue(u"DateSep"_s);
        G.gLogoFile = iniValue(u"LogoFile"_s);
        G.gUserID = iniValue(u"DefUserID"_s);
        G.gAmtFmt = iniValue(u"AmtFmt"_s);
        if (G.gCalendar.isEmpty())
            G.gCalendar = u"YYYY/MM/DD"_s;
        if (G.gDateSep.isEmpty())
            G.gDateSep = u"/"_s;
        if (G.gAmtFmt.isEmpty())
            G.gAmtFmt = u"#,##0"_s;
        if (G.gUserID.isEmpty())
            G.gUserID = GetLogonUser().left(20);
        G.gSQLQuote = u"'"_s;
    } catch (...) {
        ShowErrMsg(tags::InitGlobal);
    }
}

void InitTavo3()
{
    try {
        Globals &G = g();
        G.gKPSplitS1item = paramFlag(u"KPSplitS1item"_s);
        G.gKTVAPP = paramFlag(u"KTVAPP"_s);
        G.gHideTimeMark = paramFlag(u"HideTimeMark"_s);
        G.gKPPrintMenuRemark = paramFlag(u"KPPrintMenuRemark"_s);

        // Customer display: only a serial port needs attention at start.
        QString cdType = settingsValue(u"CD"_s, u"CDtype"_s).trimmed();
        QString cdPort = settingsValue(u"CD"_s, u"CDport"_s).trimmed();
        if (cdType == u"SCREEN"_s)
            cdPort = u"SCREEN"_s;
        if (cdPort.isEmpty())
            cdType.clear();
        if (cdType.isEmpty())
            cdPort.clear();
        if (cdPort.left(3) == u"COM"_s) {
            if (PortCanOpen(cdPort))
                ResetComPort(cdPort);
            else
                WriteLog(u"CD連接埠:"_s + cdPort + u"無法開啟"_s);
        }

        QString opDate;
        getParamValue(u"OPDATE"_s, opDate, db::gCNT());
        QDate day = toDate(opDate);
        if (day.isValid()) {
            G.gOPDate = day.toString(u"yyyy/MM/dd"_s);
        } else {
            day = platform::services().clock->now().date();
            G.gOPDate = day.toString(u"yyyy/MM/dd"_s);
            SetParamValue(u"OPDATE"_s, G.gOPDate);
            platform::services().prompter->ask(G.gExeName, u"營業日期設定錯誤\n重設為: "_s + G.gOPDate,
                platform::BoxIcon::Warning, platform::BoxButtons::Ok);
        }
        G.gOPDateYMD = day.toString(u"yyyyMMdd"_s);

        if (settingsValue(u"SYS"_s, u"POSID"_s).isEmpty())
            platform::services().settings->save(u"Tavo3"_s, u"SYS"_s, u"POSID"_s, u"WS01"_s);
    } catch (...) {
        ShowErrMsg(tags::fdTavo3_InitTavo3);
    }
}

QString connectionFailureText(const QString &connectionString)
{
    return u"連線失敗!\n請檢查修正"_s + g().gINIFile + u"檔案設定\n"_s + db::maskPassword(connectionString);
}

Site programSite()
{
    return { g(), db::gCNT(), platform::services() };
}

void runHeadless(const Site &site)
{
    auto *service = new KitchenService(site, QCoreApplication::instance());
    echoService(*service, EchoMessages::Yes);
    service->load();
    superviseBySystemd(*service);
}

int InstallWakeTrigger()
{
    const QString dir = programDir();
    QDir::setCurrent(dir);
    InitGlobal(u"TavoC.INI"_s, dir);
    QString tried;
    if (!InitINIgCNTNoPWD(&tried)) {
        std::fprintf(stderr, "%s\n", qPrintable(connectionFailureText(tried)));
        return 1;
    }
    QString error;
    if (!installWakeTrigger(db::gCNT(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "%s\n", qPrintable(u"tavo_orderi_wake: installed on "_s + db::gCNT().dataSource()));
    return 0;
}

int SignOutKitchenDisplays()
{
    const QString dir = programDir();
    InitGlobal(u"TavoC.INI"_s, dir);
    QString error;
    if (!kds::signOutEveryDevice(dir, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(u"廚房看板無法登出所有裝置: "_s + error));
        return 1;
    }
    std::fprintf(stderr, "%s\n", qPrintable(u"廚房看板: 所有裝置已登出, 每台裝置須重新輸入 PIN"_s));
    return 0;
}

StartResult Main(platform::SingleInstance &instance, const std::function<void(const Site &)> &openWindow)
{
    try {
        if (!instance.acquire())
            return StartResult::AlreadyRunning;
        const QString dir = programDir();
        // The first start of an installed program makes its site folder.
        QDir().mkpath(dir);
        QDir::setCurrent(dir);
        InitGlobal(u"TavoC.INI"_s, dir);
        InitMsgDB();
        QString tried;
        if (!InitINIgCNTNoPWD(&tried)) {
            const QString text = connectionFailureText(tried);
            WriteErrLog(tags::sub_Main, ErrorInfo { kGenericErrorNumber, text });
            platform::services().prompter->ask(
                g().gExeName, text, platform::BoxIcon::None, platform::BoxButtons::Ok);
            return StartResult::Failed;
        }
        // Without the folder the grids still find a place at exit (beside the program): the
        // service starts, and the error log says why the dumps are not where they belong.
        if (!QDir().mkpath(dir + u"/LOG"_s))
            WriteErrLog(tags::sub_Main, ErrorInfo { kErrPathFileAccess, dir + u"/LOG"_s });
        InitTavo3();
        openWindow(programSite());
        return StartResult::Started;
    } catch (...) {
        ShowErrMsg(tags::sub_Main);
        return StartResult::Failed;
    }
}

} // namespace tavo::core
