// Printing on a real spooler: the CUPS PDF queue named by TAVO_TEST_CUPS_PRINTER (./test.sh sets
// it up). Tickets reprinted there must come out as PDF files in cups-pdf's output folder with ink
// on the page. cups-pdf writes Type 3 fonts, so the page is checked as an image, and the text on
// the recorded document.
#include "test_tickets_fixture.h"

#include "gui/cupsprintercatalog.h"
#include "platform/gridmodel.h"
#include "tickets/reprint.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
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
    platform::PrinterCatalog *m_saved = nullptr;

    void SetUp() override
    {
        if (cupsPrinter().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_CUPS_PRINTER is not set: no CUPS queue to print on";
        TicketTest::SetUp();
        m_saved = platform::services().printers;
        platform::services().printers = &cups;
    }

    void TearDown() override
    {
        if (m_saved)
            platform::services().printers = m_saved;
        TicketTest::TearDown();
    }
};

} // namespace

TEST_F(CupsTest, TheQueueIsInstalledUnderItsExactName)
{
    tickets::frmTMSlip &slip = tickets::frmTMSlip::instance();
    EXPECT_TRUE(slip.IsPrinterInstalled(cupsPrinter()));
    EXPECT_FALSE(slip.IsPrinterInstalled(cupsPrinter().toLower()));
    EXPECT_FALSE(slip.IsPrinterInstalled(cupsPrinter().toUpper()));
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
    platform::PrintSurface vsp;

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const tickets::ReprintResult result
        = tickets::PrintKPortB(fg1, 1, 3, u"PK"_s, cupsPrinter(), u"Y"_s, u"Y"_s, false, vsp, db::gCNT());
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
    platform::services().printers = &cups;
    expect(cups.printerNames().isEmpty(), u"printers listed without a scheduler"_s);
    QString error;
    platform::PrintDocument doc;
    doc.pages.append(platform::PrintPage());
    expect(!cups.print(doc, u"TavoPDF"_s, &error), u"a job was accepted"_s);
    expect(error.contains(u"cupsd"_s), u"the refusal does not name the scheduler: "_s + error);

    tickets::frmTMSlip::unload();
    expect(!tickets::frmTMSlip::instance().IsPrinterInstalled(u"TavoPDF"_s), u"TavoPDF installed"_s);
    platform::GridModel fg1;
    platform::PrintSurface vsp;
    const tickets::ReprintResult result
        = tickets::PrintKPortB(fg1, 1, 1, u"PK"_s, u"TavoPDF"_s, u"Y"_s, u"Y"_s, false, vsp, db::gCNT());
    expect(result.outcome == tickets::ReprintOutcome::Failed, u"the reprint succeeded"_s);
    expect(env.readLog().contains(u"廚房印表機尚未安裝(pvPrinter), 無法列印:TavoPDF"_s), u"no log line"_s);
    expect(env.prompter.boxes.isEmpty(), u"a message box"_s);
    tickets::frmTMSlip::unload();
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
