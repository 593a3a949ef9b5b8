#pragma once
// The world of a ticket test: the test environment, a captured kitchen printer, and gCNT on a
// fresh in-memory SQLite database holding the POS tables the tickets read and write.
#include "db/connection.h"
#include "db/dbglobals.h"
#include "print/printsurface.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "tickets/kitchenticketprinter.h"
#include "tickets/reprint.h"
#include "util/globals.h"

#include <QVariantMap>
#include <gtest/gtest.h>

// Readable failure messages for texts.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace tavo::test {

inline const QString kKitchenPrinter = QStringLiteral("TM-T88 Kitchen");

// The text lines of a document (no table cells, no device commands), in the order written.
inline QList<print::PrintItem> texts(const print::PrintDocument &doc)
{
    QList<print::PrintItem> out;
    for (const print::PrintItem &item : doc.items())
        if (item.kind == print::PrintItemKind::Text)
            out.append(item);
    return out;
}

class TicketTest : public ::testing::Test {
protected:
    TestEnvironment env;
    FakePrinterCatalog printers { { kKitchenPrinter, QStringLiteral("Office Laser") } };
    // The activity grid as the ticket code writes it: (type, message) rows.
    QList<QPair<QString, QString>> fgLog;
    tickets::FGLogWriter writeFGLog = [this](const QString &type, const QString &message) {
        fgLog.append({ type, message });
    };

    void SetUp() override
    {
        g().gOPDate = QStringLiteral("2026/12/07");
        db::Connection &cn = db::gCNT();
        cn.open(QStringLiteral("Provider=SQLite;Data Source=:memory:"));
        SetDBType();
        cn.execute(QStringLiteral(
            "CREATE TABLE ORDERI (RNo INTEGER PRIMARY KEY, KPort TEXT, KPMark TEXT, OrderPID TEXT, TblName "
            "TEXT,"
            " KSMark TEXT, OrderTime TEXT, OrderDate TEXT, ItemName TEXT, ItemType TEXT, TypeNo TEXT, ListNo "
            "INTEGER,"
            " PriceCap TEXT, Price REAL, Qty REAL, Amt REAL, Remark TEXT, POSID TEXT, DelMark TEXT,"
            " OrderUserID TEXT, FileDate TEXT, UpdDate TEXT, OPDate TEXT)"));
        cn.execute(QStringLiteral("CREATE TABLE MENUITEM (TypeNo INTEGER, ItemName TEXT, Remark TEXT)"));
        cn.execute(QStringLiteral(
            "CREATE TABLE xxPARAM (ParamID TEXT, ParamValue TEXT, FileDate TEXT, UpdDate TEXT)"));
    }

    // One ORDERI row; unnamed columns stay NULL. Returns its RNo.
    int addRow(const QVariantMap &columns)
    {
        QStringList names, values;
        for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
            names << it.key();
            if (it.value().isNull())
                values << QStringLiteral("NULL");
            else if (it.value().typeId() == QMetaType::QString)
                values << QuotStr(it.value().toString());
            else
                values << it.value().toString();
        }
        db::gCNT().execute(
            QStringLiteral("INSERT INTO ORDERI (%1) VALUES (%2)").arg(names.join(u','), values.join(u',')));
        return db::gCNT().openRecordset(QStringLiteral("SELECT max(RNo) AS m FROM ORDERI")).value(0).toInt();
    }

    // An item row of order A05 by operator W1, listed in RNo order.
    int addItem(const QString &name, double qty, const QString &type = QStringLiteral("S0"),
        const QVariantMap &more = {})
    {
        QVariantMap row { { QStringLiteral("OrderPID"), QStringLiteral("A05") },
            { QStringLiteral("TblName"), QStringLiteral("T12") }, { QStringLiteral("ItemName"), name },
            { QStringLiteral("ItemType"), type }, { QStringLiteral("Qty"), qty },
            { QStringLiteral("Amt"), qty * 100 }, { QStringLiteral("Price"), 100 },
            { QStringLiteral("TypeNo"), QStringLiteral("3") },
            { QStringLiteral("OrderUserID"), QStringLiteral("W1") },
            { QStringLiteral("KPort"), QStringLiteral("PK") } };
        for (auto it = more.cbegin(); it != more.cend(); ++it)
            row.insert(it.key(), it.value());
        const int rno = addRow(row);
        if (!row.contains(QStringLiteral("ListNo")))
            db::gCNT().execute(QStringLiteral("UPDATE ORDERI SET ListNo = %1 WHERE RNo = %1").arg(rno));
        return rno;
    }

    void setParam(const QString &id, const QString &value)
    {
        db::gCNT().execute(QStringLiteral("INSERT INTO xxPARAM (ParamID, ParamValue) VALUES (%1, %2)")
                               .arg(QuotStr(id), QuotStr(value)));
    }

    QString ksMark(int rno)
    {
        return db::gCNT()
            .openRecordset(QStringLiteral("SELECT KSMark FROM ORDERI WHERE RNo = %1").arg(rno))
            .text(0);
    }

    // All rows in RNo order, standing on the row `rno`.
    db::Recordset rowsAt(int rno)
    {
        db::Recordset rs = db::gCNT().openRecordset(
            QStringLiteral("SELECT * FROM ORDERI ORDER BY RNo"), db::Cursor::Client);
        while (!rs.eof() && rs.value(QStringLiteral("RNo")).toInt() != rno)
            rs.moveNext();
        return rs;
    }

    // The kitchen ticket printer, made on its first use as the service makes it.
    tickets::KitchenTicketPrinter &ticketPrinter()
    {
        if (!m_ticketPrinter)
            m_ticketPrinter = std::make_unique<tickets::KitchenTicketPrinter>(env.site(db::gCNT()));
        return *m_ticketPrinter;
    }
    // The same, with the kitchen printer selected.
    tickets::KitchenTicketPrinter &slip()
    {
        tickets::KitchenTicketPrinter &w = ticketPrinter();
        if (w.vsp.device().isEmpty())
            w.vsp.setDevice(kKitchenPrinter);
        return w;
    }
    // The next use makes a new ticket printer, as the next run of the program does.
    void remakeTicketPrinter() { m_ticketPrinter.reset(); }

    const print::PrintDocument &lastTicket() const { return printers.jobs.last().document; }

private:
    std::unique_ptr<tickets::KitchenTicketPrinter> m_ticketPrinter;
};

} // namespace tavo::test
