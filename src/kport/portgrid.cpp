#include "kport/portgrid.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/gridload.h"
#include "db/valuetext.h"
#include "platform/gridmodel.h"
#include "platform/services.h"
#include "print/printercatalog.h"
#include "util/grids.h"
#include "util/report.h"

using namespace Qt::StringLiterals;

namespace tavo::kport {

using grids::PortGrid;

namespace {

const QString kEpson = u"EPSONTM"_s;

// The server's clock in the dialect of `cnt`.
QString serverNow(db::Connection &cnt)
{
    QString now, quote;
    db::dialectOf(cnt.provider(), now, quote);
    return now;
}

// The text of the error being handled, for the message panel.
WriteError failure(const QString &tag)
{
    WriteErrLog(tag);
    const ErrorInfo error = errorInFlight();
    return u"寫入KPORT失敗: "_s + error.description;
}

} // namespace

QString portRowsSql()
{
    return u"Select RNo, KPort, KPortType, KPortName, "_s + u" PrintList, PrintItem, Remark "_s
        + u" From KPORT"_s + u" WHERE KPortType = 'EPSONTM' "_s
        + u"   AND (PrintList = 'Y' or PrintItem = 'Y') "_s;
}

void LoadPortGrid(platform::GridModel &fgKPort, db::Connection &cnt, const platform::SettingsStore &settings)
{
    const auto kpSetting = [&](const QString &key) { return settings.get(u"Tavo3"_s, u"KP"_s, key); };
    fgKPort.setColumns(PortGrid::columns);
    fgKPort.setRows(1);
    db::FGLoad(fgKPort, portRowsSql(), cnt);
    // The bar row first: each goes right below the header, so the kitchen row ends on top.
    struct Default {
        QString port, prefix;
    };
    for (const Default &d : { Default { u"PB"_s, u"B"_s }, Default { u"PK"_s, u"K"_s } }) {
        const QString type = kpSetting(d.prefix + u"PrinterType"_s);
        if (type.isEmpty())
            continue;
        const QStringList cells { QString(), d.port, type, kpSetting(d.prefix + u"Printer"_s),
            kpSetting(d.prefix + u"PrintList"_s), kpSetting(d.prefix + u"PrintItem"_s), QString() };
        fgKPort.addItem(cells.join(u'\t'), 1);
    }
    fgKPort.AutoSize(0, fgKPort.Cols() - 1);
    fgKPort.setRow(fgKPort.Rows() > 1 ? 1 : 0);
}

QString columnKey(int col)
{
    static const QStringList keys { u"RNo"_s, u"KPort"_s, u"KPortType"_s, u"KPortName"_s, u"PrintList"_s,
        u"PrintItem"_s, u"Remark"_s };
    return col >= 0 && col < keys.size() ? keys[col] : QString();
}

bool isEditableColumn(int col)
{
    const QString key = columnKey(col);
    return !key.isEmpty() && key != u"RNo"_s && key != u"FileDate"_s && key != u"UpdDate"_s;
}

bool toggledCell(int col, const QString &text, QString &toggled)
{
    if (col == PortGrid::KPortType) {
        toggled = text.isEmpty() ? kEpson : QString();
        return true;
    }
    if (col == PortGrid::PrintList || col == PortGrid::PrintItem) {
        toggled = text == u"Y"_s ? QString() : u"Y"_s;
        return true;
    }
    return false;
}

QString refusal(int col, const QString &text)
{
    if (col == PortGrid::KPortType && text != kEpson)
        return u"不支援此型別:"_s + text;
    if (col == PortGrid::KPortName && !print::IsPrinterInstalled(text))
        return u"印表機沒有安裝:"_s + text;
    return {};
}

qint64 recordOf(const platform::GridModel &fgKPort, int row)
{
    if (row < 1 || row >= fgKPort.Rows())
        return 0;
    bool ok = false;
    const qint64 rno = fgKPort.TextMatrix(row, PortGrid::RNo).trimmed().toLongLong(&ok);
    return ok && rno > 0 ? rno : 0;
}

WriteError setCell(platform::GridModel &fgKPort, int row, int col, const QString &text, db::Connection &cnt)
{
    try {
        if (!isEditableColumn(col))
            return u"本欄位不能修改"_s;
        if (const qint64 rno = recordOf(fgKPort, row)) {
            const int changed = cnt.execute(u"UPDATE KPORT SET "_s + columnKey(col) + u" = "_s + QuotStr(text)
                + u", UpdDate = "_s + serverNow(cnt) + u" WHERE RNo = "_s + QString::number(rno));
            if (changed == 0)
                return u"寫入KPORT失敗: 記錄 %1 已不存在"_s.arg(rno);
        }
        fgKPort.setTextMatrix(row, col, text);
        return {};
    } catch (...) {
        return failure(tags::kport_setCell);
    }
}

WriteError deleteRow(platform::GridModel &fgKPort, int row, db::Connection &cnt)
{
    try {
        if (row < 1 || row >= fgKPort.Rows())
            return {};
        if (const qint64 rno = recordOf(fgKPort, row))
            cnt.execute(u"DELETE FROM KPORT WHERE RNo = "_s + QString::number(rno));
        fgKPort.removeItem(row);
        fgKPort.setRow(std::min(row, fgKPort.Rows() - 1));
        return {};
    } catch (...) {
        return failure(tags::kport_deleteRow);
    }
}

WriteError insertRow(platform::GridModel &fgKPort, db::Connection &cnt)
{
    try {
        const QString rno = db::valueText(cnt.insertReturningKey(
            u"INSERT INTO KPORT (KPort, KPortType, KPortName, PrintList, PrintItem, Remark, FileDate)"_s
                + u" VALUES ('', "_s + QuotStr(kEpson) + u", '', '', 'Y', '', "_s + serverNow(cnt) + u")"_s,
            u"RNo"_s));
        fgKPort.addRow({ rno, QString(), kEpson, QString(), QString(), u"Y"_s, QString() });
        fgKPort.setRow(fgKPort.Rows() - 1);
        fgKPort.setCol(PortGrid::KPort);
        return {};
    } catch (...) {
        return failure(tags::kport_insertRow);
    }
}

void fillPrinterPick(platform::GridModel &fgCode, const QStringList &printers)
{
    fgCode.setRows(fgCode.FixedRows());
    for (int i = 0; i < printers.size(); ++i)
        fgCode.addRow({ QString::number(i), printers[i] });
}

QString redirectSql(const QString &newPrinter, const QString &oldPrinter)
{
    return u"Update KPORT SET KPortName = "_s + QuotStr(newPrinter) + u"  WHERE KPortName = "_s
        + QuotStr(oldPrinter);
}

int redirectPrinter(const QString &newPrinter, const QString &oldPrinter, db::Connection &cnt)
{
    return cnt.execute(redirectSql(newPrinter, oldPrinter));
}

} // namespace tavo::kport
