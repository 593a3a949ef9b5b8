// Printing on a real spooler: the CUPS PDF queue named by TAVO_TEST_CUPS_PRINTER (./test.sh sets
// it up). Tickets reprinted there must come out as PDF files in cups-pdf's output folder with ink
// on the page. cups-pdf writes Type 3 fonts, so the page is checked as an image, and the text on
// the recorded document.
#include "test_tickets_fixture.h"

#include "demo/escpos/escposdecoder.h"
#include "gui/cupsprintercatalog.h"
#include "gui/frmVSPBlank.h"
#include "platform/gridmodel.h"
#include "print/cupsqueue.h"
#include "print/printersetup.h"
#include "reports/shiftreport.h"
#include "support/escpos_reading.h"
#include "tickets/reprint.h"
#include "tickets/testticket.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cups/cups.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;

namespace {

QString cupsPrinter()
{
    return qEnvironmentVariable("TAVO_TEST_CUPS_PRINTER");
}

// cups-pdf writes into ${HOME}/PDF of the job's owner; the tests submit as the user running them.
QString pdfFolder()
{
    const QString configured = qEnvironmentVariable("TAVO_TEST_CUPS_PDF_DIR");
    return configured.isEmpty() ? QDir::homePath() + u"/PDF"_s : configured;
}

QStringList pdfsNewerThan(const QDateTime &since)
{
    QStringList found;
    const QFileInfoList files
        = QDir(pdfFolder()).entryInfoList({ u"*.pdf"_s }, QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo &file : files)
        if (file.lastModified() >= since && file.size() > 0)
            found << file.absoluteFilePath();
    return found;
}

// The first page as an image, through poppler's pdftoppm.
QImage firstPage(const QString &pdf, const QString &workDir)
{
    const QString prefix = workDir + u"/page"_s;
    QProcess pdftoppm;
    pdftoppm.start(u"pdftoppm"_s,
        { u"-r"_s, u"72"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, u"-png"_s, u"-singlefile"_s, pdf, prefix });
    if (!pdftoppm.waitForFinished(30000) || pdftoppm.exitCode() != 0)
        return {};
    return QImage(prefix + u".png"_s);
}

// The names of this user's jobs on a queue since a moment, as the spooler lists them, oldest
// first.
// The queue's jobs, oldest first, by id and title. Ids only grow: the jobs of a test are those
// after the last id it saw, whichever test printed on the same queue a moment before.
QList<std::pair<int, QString>> queueJobs(const QString &queue)
{
    cups_job_t *jobs = nullptr;
    const int count
        = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 1, CUPS_WHICHJOBS_ALL);
    QList<std::pair<int, QString>> found;
    for (int i = 0; i < count; ++i)
        found.append({ jobs[i].id, QString::fromUtf8(jobs[i].title) });
    cupsFreeJobs(count, jobs);
    std::sort(found.begin(), found.end());
    return found;
}

int lastJobId(const QString &queue)
{
    const auto jobs = queueJobs(queue);
    return jobs.isEmpty() ? 0 : jobs.last().first;
}

QStringList jobTitlesAfter(const QString &queue, int lastSeen)
{
    QStringList titles;
    for (const auto &[id, title] : queueJobs(queue))
        if (id > lastSeen)
            titles << title;
    return titles;
}

int inkPixels(const QImage &image, bool redOnly)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += redOnly ? (c.red() > 150 && c.green() < 100 && c.blue() < 100) : qGray(c.rgb()) < 128;
        }
    return n;
}

class CupsTest : public TicketTest {
protected:
    gui::CupsPrinterCatalog cups;
    print::PrinterCatalog *m_saved = nullptr;

    void SetUp() override
    {
        if (cupsPrinter().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_CUPS_PRINTER is not set: no CUPS queue to print on";
        TicketTest::SetUp();
        m_saved = print::printServices().printers;
        print::printServices().printers = &cups;
    }

    void TearDown() override
    {
        if (m_saved)
            print::printServices().printers = m_saved;
        TicketTest::TearDown();
    }
};

} // namespace

TEST_F(CupsTest, TheQueueIsInstalledUnderItsExactName)
{
    EXPECT_TRUE(print::IsPrinterInstalled(cupsPrinter()));
    EXPECT_FALSE(print::IsPrinterInstalled(cupsPrinter().toLower()));
    EXPECT_FALSE(print::IsPrinterInstalled(cupsPrinter().toUpper()));
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_F(CupsTest, ReprintedRowsComeOutOfTheQueueAsInkedPdfPages)
{
    const int beef
        = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"Remark"_s, u"不辣"_s }, { u"KSMark"_s, u"C101"_s } });
    const int rice = addItem(u"白飯"_s, 2, u"A1"_s);
    const int rush = addItem(u"炒青菜"_s, 0, u"S0"_s, { { u"KSMark"_s, u"C102"_s } });
    platform::GridModel fg1;
    fg1.setFormatString(u"RNo|KPort"_s);
    fg1.setRows(1);
    for (int rno : { beef, rice, rush })
        fg1.addRow({ QString::number(rno), u"PK"_s });
    print::PrintSurface vsp;

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const int lastJob = lastJobId(cupsPrinter());
    const tickets::ReprintResult result
        = tickets::PrintKPortB(fg1, { 1, 3, cupsPrinter(), false }, vsp, ticketPrinter(), db::gCNT());
    ASSERT_EQ(result.outcome, tickets::ReprintOutcome::Printed);
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
    EXPECT_EQ(ksMark(rice), u"C101"_s);

    // The spooler converts and writes in the background.
    QStringList pdfs;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        pdfs = pdfsNewerThan(before);
        if (pdfs.size() >= 2)
            break;
        QThread::msleep(250);
    }
    ASSERT_GE(pdfs.size(), 2) << "no PDF in " << pdfFolder().toStdString() << " after " << waited.elapsed()
                              << " ms";
    QThread::msleep(500); // a file that just appeared may still be written

    // cups-pdf names each file after its job: the jobs leave out the leading "." that sets
    // tickets apart in a real printer's list, so a plain ls shows the files.
    const QStringList listed = QDir(pdfFolder()).entryList({ u"*.pdf"_s }, QDir::Files);
    for (const QString &pdf : pdfs)
        EXPECT_TRUE(listed.contains(QFileInfo(pdf).fileName())) << pdf.toStdString() << " is hidden";
    EXPECT_EQ(
        jobTitlesAfter(cupsPrinter(), lastJob), (QStringList { u"補印菜條: C101"_s, u"補印菜條: C102"_s }));

    QTemporaryDir work;
    int red = 0;
    for (const QString &pdf : pdfs) {
        const QImage page = firstPage(pdf, work.path());
        ASSERT_FALSE(page.isNull()) << "pdftoppm could not read " << pdf.toStdString();
        EXPECT_GT(inkPixels(page, false), 200) << pdf.toStdString() << " is blank";
        red += inkPixels(page, true);
    }
    EXPECT_GT(red, 20) << "the rush ticket prints in red";
}

// A receipt printer on loopback: the device of the raw queue ./test.sh adds
// (socket://127.0.0.1:$TAVO_TEST_RAW_PORT). Each connection CUPS opens is one job.
class LoopbackPrinter {
public:
    explicit LoopbackPrinter(quint16 port)
        : m_port(port)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                const qsizetype slot = m_receiving.size();
                m_receiving.append(QByteArray());
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                    [this, socket, slot] { m_receiving[slot] += socket->readAll(); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket, slot] {
                    m_receiving[slot] += socket->readAll();
                    jobs.append(m_receiving[slot]);
                    socket->deleteLater();
                });
            }
        });
    }
    bool start() { return m_server.listen(QHostAddress::LocalHost, m_port); }
    void stop() { m_server.close(); }

    // Spins the event loop until `count` jobs have arrived or the time is up.
    bool waitForJobs(qsizetype count, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (jobs.size() < count && timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        return jobs.size() >= count;
    }

    QList<QByteArray> jobs;

private:
    quint16 m_port;
    QTcpServer m_server;
    QList<QByteArray> m_receiving;
};

class RawQueueTest : public TicketTest {
protected:
    gui::CupsPrinterCatalog cups;
    print::PrinterCatalog *m_saved = nullptr;
    QString queue = qEnvironmentVariable("TAVO_TEST_RAW_PRINTER");
    std::unique_ptr<LoopbackPrinter> printer;

    void SetUp() override
    {
        if (queue.isEmpty())
            GTEST_SKIP() << "TAVO_TEST_RAW_PRINTER is not set: no raw CUPS queue to print on";
        TicketTest::SetUp();
        m_saved = print::printServices().printers;
        print::printServices().printers = &cups;
        printer
            = std::make_unique<LoopbackPrinter>(quint16(qEnvironmentVariableIntValue("TAVO_TEST_RAW_PORT")));
        ASSERT_TRUE(printer->start()) << "port " << qEnvironmentVariableIntValue("TAVO_TEST_RAW_PORT");
    }

    void TearDown() override
    {
        if (m_saved)
            print::printServices().printers = m_saved;
        TicketTest::TearDown();
    }

    tickets::ReprintResult reprint(const QList<int> &rows)
    {
        fg1.setFormatString(u"RNo|KPort"_s);
        fg1.setRows(1);
        for (int rno : rows)
            fg1.addRow({ QString::number(rno), u"PK"_s });
        return tickets::PrintKPortB(
            fg1, { 1, int(rows.size()), queue, false }, vsp, ticketPrinter(), db::gCNT());
    }

    platform::GridModel fg1;
    print::PrintSurface vsp;
};

TEST_F(RawQueueTest, ReprintAndTestTicketReachTheReceiptPrinterAsEscPos)
{
    EXPECT_TRUE(print::cups::isRawQueue(queue));
    if (!cupsPrinter().isEmpty()) {
        EXPECT_FALSE(print::cups::isRawQueue(cupsPrinter())) << "the PDF queue has a driver";
    }

    const int beef
        = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"Remark"_s, u"不辣"_s }, { u"KSMark"_s, u"C101"_s } });
    addItem(u"白飯"_s, 2, u"A1"_s);
    const int rush = addItem(u"炒青菜"_s, 0);
    const int back = addItem(u"滷肉飯"_s, -1);
    const int lastJob = lastJobId(queue);
    ASSERT_EQ(reprint({ beef, beef + 1, rush, back }).outcome, tickets::ReprintOutcome::Printed);
    ASSERT_TRUE(printer->waitForJobs(3, 30000)) << printer->jobs.size() << " job(s) arrived";
    // A receipt printer's list shows the tickets by their names, the reprints set apart by ".".
    EXPECT_EQ(jobTitlesAfter(queue, lastJob),
        (QStringList { u".補印菜條: C101"_s, u".補印菜條: "_s, u".補印菜條: "_s }));

    // Each ticket read line by line as a 512-dot head (42 columns, the default) prints it: the
    // colour each line starts with, nothing run past the head.
    const auto read = [](const demo::EscPosJob &job) {
        QStringList lines;
        for (const demo::EscPosLine &line : job.lines)
            if (!line.text.trimmed().isEmpty())
                lines.append((line.red ? u"R "_s : u"  "_s) + line.text.simplified());
        return lines;
    };
    // The serial is the row's kitchen mark: only the first row has one.
    const QString header = u"  補印-%1 A05"_s, op = u"點單人員:W1 印單時間:14:05:09"_s,
                  footer = u"  <2026/12/07> [客數: ]"_s;
    const QList<QStringList> tickets {
        { header.arg(u"C101"_s), u"  "_s + op, u"  牛肉麵 <不辣> 1"_s, u"  /白飯*2"_s, footer },
        { u"  補印- A05"_s, u"R "_s + op, u"R [快]炒青菜 快上"_s, footer },
        { u"  補印- A05"_s, u"R "_s + op, u"R [退]滷肉飯 1份 [退]"_s, footer },
    };
    int buzzers = 0;
    for (qsizetype i = 0; i < printer->jobs.size(); ++i) {
        const QByteArray &bytes = printer->jobs[i];
        const demo::EscPosJob job = demo::decodeEscPos(bytes);
        SCOPED_TRACE(job.annotated().toStdString());
        EXPECT_TRUE(job.startsWithInitialise());
        EXPECT_TRUE(job.endsWithCut());
        EXPECT_EQ(job.cuts, 1);
        EXPECT_TRUE(bytes.contains("\x1c&\xb8\xc9\xa6\x4c")) << "補印 as Big5 in double-byte mode";
        EXPECT_EQ(read(job), tickets.value(i));
        EXPECT_EQ(job.ignoredColours, 0);
        for (const demo::EscPosLine &line : job.lines)
            EXPECT_FALSE(line.overflow) << line.text.toStdString();
        buzzers += int(job.buzzers.size());
        EXPECT_EQ(job.buzzers.size(), i == 0 ? 1 : 0) << "the first ticket of the run sounds the buzzer";
    }
    EXPECT_EQ(buzzers, 1);

    tickets::OrderBuffer buffer;
    tickets::fillTestEntry(buffer);
    buffer.printerLine = u"廚房印表機:"_s + queue;
    ASSERT_TRUE(tickets::KPWPOrderI(queue, buffer, vsp, writeFGLog));
    ASSERT_TRUE(printer->waitForJobs(4, 30000));
    const demo::EscPosJob test = demo::decodeEscPos(printer->jobs[3]);
    SCOPED_TRACE(test.annotated().toStdString());
    EXPECT_TRUE(test.startsWithInitialise());
    EXPECT_TRUE(test.endsWithCut());
    // The queue's name after the colon goes down a line whole when the doubled line cannot hold it.
    // Doubled, "廚房印表機:" takes 22 of the 42 columns.
    const QStringList printerLines = 22 + 2 * queue.size() <= 42
        ? QStringList { u"  廚房印表機:"_s + queue }
        : QStringList { u"  廚房印表機:"_s, u"  "_s + queue };
    const QStringList testLines = QStringList { u"  [印表服務啟動測試]"_s,
        u"  點單時間:hh:mm 印單時間:14:05:09"_s, u"  服務員代號: Korvel."_s, u"R ."_s }
        + printerLines
        + QStringList { u"  印表機OK, 999"_s, u"  請通知櫃台"_s, u"  ."_s, u"  ->營業日:"_s,
              u"  2026/12/07"_s };
    EXPECT_EQ(read(test), testLines);
    EXPECT_EQ(test.ignoredColours, 0);
    EXPECT_TRUE(test.buzzers.isEmpty());
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
}

// The kitchen's shift report printed from its preview ("列印", then "列印本頁") on the receipt
// printer's raw queue, read as the printer prints it: each row whole within its columns.
TEST_F(RawQueueTest, TheKitchenReportPrintsEveryRowWholeOnTheRoll)
{
    constexpr int kColumns = 42;
    env.settings.save(u"Tavo3"_s, print::printerSetupSection(queue), u"Columns"_s, QString::number(kColumns));
    db::Connection &cn = db::gCNT();
    cn.execute(u"CREATE TABLE MenuType (TypeNo INTEGER, TypeName TEXT)"_s);
    cn.execute(u"INSERT INTO MenuType (TypeNo, TypeName) VALUES (3, '麵飯')"_s);
    for (const auto &[item, cap, qty] : { std::tuple { u"白飯"_s, QString(), 1234 },
             { u"牛肉麵"_s, u"大"_s, 3 }, { u"蔥爆牛肉燴飯"_s, u"大碗"_s, 12 } })
        cn.execute(u"INSERT INTO ORDERI (KPort, TypeNo, ItemName, PriceCap, Qty, OrderDate, OrderTime) "
                   u"VALUES ('PK', 3, %1, %2, %3, %4, '12:00:00')"_s.arg(QuotStr(item), QuotStr(cap))
                       .arg(qty)
                       .arg(QuotDate(u"2026/12/07"_s)));

    QTimer::singleShot(0, [] {
        auto *preview = qobject_cast<gui::frmVSPBlank *>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        QTest::mouseClick(preview->cmdPrint, Qt::LeftButton);
        QTest::mouseClick(preview->cmdPrintPage, Qt::LeftButton);
        QTest::mouseClick(preview->cmdExit, Qt::LeftButton);
    });
    ASSERT_EQ(
        reports::printItemSummary(
            { u"PK"_s, u"廚房"_s, { u"2026/12/07"_s, u"2026/12/07"_s, u"00:00:00"_s, u"23:59:59"_s }, queue },
            env.site(cn), [] { return std::make_unique<gui::frmVSPBlank>(); }, [](const QString &) {}),
        reports::ReportOutcome::Shown)
        << env.readErr().toStdString();
    ASSERT_TRUE(printer->waitForJobs(2, 30000)) << printer->jobs.size() << " job(s) arrived";
    for (const QByteArray &bytes : std::as_const(printer->jobs)) {
        const demo::EscPosJob job = demo::decodeEscPos(bytes);
        SCOPED_TRACE(job.text().toStdString());
        EXPECT_EQ(job.cuts, 1);
        EXPECT_TRUE(job.endsWithCut());
        EXPECT_EQ(linesWiderThan(job, kColumns), QStringList());
        EXPECT_EQ(rowsNotWhole(job,
                      QStringList { u"項目名稱 +數量"_s, u"白飯 +1,234"_s, u"牛肉麵-大 +3"_s,
                          u"蔥爆牛肉燴飯-大碗 +12"_s, u"麵飯總計: 1,249"_s }),
            QStringList());
    }
}

// An offline printer loses nothing: CUPS keeps the raw job and delivers it when the printer is back.
TEST_F(RawQueueTest, AnOfflinePrinterGetsItsTicketWholeWhenItComesBack)
{
    printer->stop();
    const int beef = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"C101"_s } });
    ASSERT_EQ(reprint({ beef }).outcome, tickets::ReprintOutcome::Printed);
    EXPECT_FALSE(printer->waitForJobs(1, 2000));
    ASSERT_TRUE(printer->start());
    ASSERT_TRUE(printer->waitForJobs(1, 60000)) << "the held job never arrived";
    const demo::EscPosJob job = demo::decodeEscPos(printer->jobs[0]);
    EXPECT_TRUE(job.startsWithInitialise());
    EXPECT_TRUE(job.endsWithCut());
    EXPECT_TRUE(job.text().contains(u"牛肉麵"_s)) << job.text().toStdString();
    EXPECT_EQ(job.buzzers.size(), 1);
}

// The printer's own settings reach the job: its buzzer, and raster instead of the guess.
TEST_F(RawQueueTest, ThePrintersSettingsOverrideTheGuess)
{
    const QString section = print::printerSetupSection(queue);
    env.settings.save(u"Tavo3"_s, section, u"Buzzer"_s, u"bel"_s);
    env.settings.save(u"Tavo3"_s, section, u"Columns"_s, u"forty"_s);
    const int beef = addItem(u"牛肉麵"_s, 1);
    ASSERT_EQ(reprint({ beef }).outcome, tickets::ReprintOutcome::Printed);
    ASSERT_TRUE(printer->waitForJobs(1, 30000));
    EXPECT_TRUE(printer->jobs[0].startsWith("\x1b@"));
    EXPECT_EQ(demo::decodeEscPos(printer->jobs[0]).count(u"BEL"_s), 1);
    EXPECT_TRUE(
        env.readLog().contains(u"印表機設定無效, 使用預設值: [Printer_%1] Columns=forty"_s.arg(queue)))
        << env.readLog().toStdString();

    env.settings.save(u"Tavo3"_s, section, u"Mode"_s, u"raster"_s);
    ASSERT_EQ(reprint({ beef }).outcome, tickets::ReprintOutcome::Printed);
    ASSERT_TRUE(printer->waitForJobs(2, 30000));
    EXPECT_FALSE(printer->jobs[1].startsWith("\x1b@")) << "a page through the spooler, not ESC/POS";
    EXPECT_GT(printer->jobs[1].size(), 1000);
}

// The program built without the window lists the same queues and still prints kitchen tickets on
// a receipt printer; a queue behind a driver, which it cannot draw pages for, refuses with why.
TEST_F(RawQueueTest, WithoutTheWindowReceiptPrintersStillGetTheirTickets)
{
    print::cups::RawPrinterCatalog raw;
    QStringList listed = raw.printerNames(), qtListed = cups.printerNames();
    listed.sort();
    qtListed.sort();
    EXPECT_EQ(listed, qtListed);
    EXPECT_EQ(raw.paper(queue), print::kReceiptRoll);
    print::printServices().printers = &raw;

    const int beef = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"C101"_s } });
    ASSERT_EQ(reprint({ beef }).outcome, tickets::ReprintOutcome::Printed);
    ASSERT_TRUE(printer->waitForJobs(1, 30000));
    const demo::EscPosJob job = demo::decodeEscPos(printer->jobs[0]);
    EXPECT_TRUE(job.text().contains(u"牛肉麵"_s)) << job.text().toStdString();
    EXPECT_TRUE(job.endsWithCut());

    print::PrintDocument page;
    page.pages.append(print::PrintPage());
    QString error;
    EXPECT_FALSE(raw.print(page, queue.toUpper(), &error));
    EXPECT_TRUE(error.contains(u"not installed"_s)) << error.toStdString();
    if (!cupsPrinter().isEmpty()) {
        EXPECT_EQ(raw.paper(cupsPrinter()), print::PrintPaper());
        EXPECT_FALSE(raw.print(page, cupsPrinter(), &error));
        EXPECT_TRUE(error.contains(u"driver"_s)) << error.toStdString();
    }
}

// A queue that refuses jobs is told in the text log and the activity grid, as a missing printer is.
TEST_F(RawQueueTest, ARefusedJobIsReportedAsTheReprintReportsAMissingPrinter)
{
    if (QProcess::execute(u"cupsreject"_s, { queue }) != 0)
        GTEST_SKIP() << "cupsreject is not allowed here";
    const int beef = addItem(u"牛肉麵"_s, 1);
    fg1.setFormatString(u"RNo|KPort"_s);
    fg1.setRows(1);
    fg1.addRow({ QString::number(beef), u"PK"_s });
    fg1.setRow(1);
    tickets::PrintRowInput input;
    input.defKPort = u"PK"_s;
    input.printer = queue;
    input.printerType = u"EPSONTM"_s;
    const tickets::PrintRowResult result
        = tickets::reprintSelectedRows(fg1, input, vsp, ticketPrinter(), db::gCNT(), writeFGLog);
    QProcess::execute(u"cupsaccept"_s, { queue });
    EXPECT_EQ(result.outcome, tickets::ReprintOutcome::Failed);
    EXPECT_TRUE(env.readLog().contains(u"廚房印表機拒收列印工作(pvPrinter), 無法列印:"_s + queue))
        << env.readLog().toStdString();
    ASSERT_EQ(fgLog.size(), 1);
    EXPECT_EQ(fgLog[0].second, u"送廚失敗, 印表機:"_s + queue);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

// Without a scheduler: an empty printer list, a clear refusal, the reprint's log line; returns
// the number of surprises, each told on standard error.
int checkWithoutScheduler()
{
    int surprises = 0;
    auto expect = [&](bool ok, const QString &what) {
        if (!ok) {
            ++surprises;
            fprintf(stderr, "surprise: %s\n", what.toLocal8Bit().constData());
        }
    };
    TestEnvironment env;
    gui::CupsPrinterCatalog cups;
    print::printServices().printers = &cups;
    expect(cups.printerNames().isEmpty(), u"printers listed without a scheduler"_s);
    QString error;
    print::PrintDocument doc;
    doc.pages.append(print::PrintPage());
    expect(!cups.print(doc, u"TavoPDF"_s, &error), u"a job was accepted"_s);
    expect(error.contains(u"cupsd"_s), u"the refusal does not name the scheduler: "_s + error);

    expect(!print::IsPrinterInstalled(u"TavoPDF"_s), u"TavoPDF installed"_s);
    platform::GridModel fg1;
    print::PrintSurface vsp;
    tickets::KitchenTicketPrinter ticketPrinter(Site { g(), db::gCNT(), platform::services() });
    const tickets::ReprintResult result
        = tickets::PrintKPortB(fg1, { 1, 1, u"TavoPDF"_s, false }, vsp, ticketPrinter, db::gCNT());
    expect(result.outcome == tickets::ReprintOutcome::Failed, u"the reprint succeeded"_s);
    expect(env.readLog().contains(u"廚房印表機尚未安裝(pvPrinter), 無法列印:TavoPDF"_s), u"no log line"_s);
    expect(env.prompter.boxes.isEmpty(), u"a message box"_s);
    return surprises;
}

// libcups keeps the scheduler it found for the process, so the check runs in a fresh child whose
// CUPS_SERVER names a socket nobody listens on.
TEST(CupsDown, NoSchedulerGivesAClearAnswerQuickly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", dir.filePath(u"no-cupsd.sock"_s).toLocal8Bit());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EXIT(
        {
            alarm(20); // a hang ends the child with SIGALRM, and the test fails
            std::exit(checkWithoutScheduler());
        },
        testing::ExitedWithCode(0), "");
    EXPECT_LT(timer.elapsed(), 15000);
    if (saved.isNull())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", saved);
}
