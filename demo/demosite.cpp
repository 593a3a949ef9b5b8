#include "demo/demosite.h"
#include "demo/shifthistory.h"

#include "db/connectionstring.h"
#include "platform/codepage.h"
#include "platform/ini.h"
#include "util/globals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace tavo::demo {

namespace {

void writeIni(const QString &path, const QString &connectionString, const QString &custName)
{
    const QString text = u"[PARAM]\r\n"_s
                         u"GCNT="_s
        + connectionString
        + u"\r\n"_s
          u"CustName="_s
        + custName
        + u"\r\n"_s
          u"CorpName=\r\n"_s
          u"Calendar=YYYY/MM/DD\r\n"_s
          u"DateSep=/\r\n"_s
          u"AmtFmt=#,##0\r\n"_s;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(platform::toAnsi(text)) < 0 || !file.commit())
        throw db::DbError(kGenericErrorNumber, u"Cannot write "_s + path + u": "_s + file.errorString());
}

QString iniPath(const QString &folder)
{
    return QDir(folder).filePath(u"TavoC.INI"_s);
}

} // namespace

QString defaultSiteConnection()
{
    return u"Provider=SQLite;Data Source=tavo.db"_s;
}

SiteReport initSite(const QString &folder, const SiteOptions &options)
{
    const QString dir = QDir(folder).absolutePath();
    if (!QDir().mkpath(dir))
        throw db::DbError(kGenericErrorNumber, u"Cannot create the site folder "_s + dir);
    SiteReport report;
    report.iniFile = iniPath(dir);
    const bool iniExists = QFileInfo(report.iniFile).isFile();
    report.connectionString = options.connectionString;
    if (report.connectionString.isEmpty() && iniExists && !options.reset)
        report.connectionString = platform::GetINI(report.iniFile, u"PARAM"_s, u"GCNT"_s);
    if (report.connectionString.isEmpty())
        report.connectionString = defaultSiteConnection();
    if (!iniExists || options.reset || !options.connectionString.isEmpty()) {
        writeIni(report.iniFile, report.connectionString, options.custName);
        report.iniWritten = true;
    }

    // The message database, so that a start on the demo site shows no "Error Open MSGDB" box.
    if (!QFileInfo::exists(dir + u"/IDMSG.MDB"_s)) {
        db::Connection msg;
        msg.setCreateIfMissing(true);
        msg.open(u"Provider=SQLite;Data Source=IDMSG.MDB"_s, dir);
        msg.execute(u"CREATE TABLE Msg (MsgID TEXT PRIMARY KEY, MsgText TEXT)"_s);
    }

    db::Connection cn;
    cn.setCreateIfMissing(true);
    cn.open(report.connectionString, dir); // a relative file is the site's own
    if (options.reset)
        dropSchema(cn);
    createSchema(cn);
    report.rowsWritten = loadSampleData(cn, options.sample);
    if (options.shiftHistory) {
        writeShiftTable(dir);
        const QDate opDate = options.sample.opDate.isValid() ? options.sample.opDate : QDate::currentDate();
        report.rowsWritten += loadShiftHistory(cn, opDate);
    }
    return report;
}

void openSite(const QString &folder, db::Connection &connection)
{
    const QString dir = QDir(folder).absolutePath();
    const QString ini = iniPath(dir);
    if (!QFileInfo(ini).isFile())
        throw db::DbError(
            kGenericErrorNumber, u"No TavoC.INI in "_s + dir + u": run \"tavo_demo init\" first"_s);
    const QString cs = platform::GetINI(ini, u"PARAM"_s, u"GCNT"_s);
    connection.open(cs, dir);
}

} // namespace tavo::demo
