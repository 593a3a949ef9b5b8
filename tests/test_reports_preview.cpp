// The report preview window driven as an operator drives it, and the service window's report
// buttons showing their reports in it.
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "gui/fmTavoKPortSrv.h"
#include "gui/frmVSPBlank.h"
#include "kds/kdsstore.h"
#include "platform/echo.h"
#include "print/printercatalog.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "util/globals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;
using gui::frmVSPBlank;

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

class PreviewTest : public ::testing::Test {
protected:
    TestEnvironment env;
    FakePrinterCatalog printers { { u"Office A4"_s, u"Kitchen A4"_s } };
    frmVSPBlank w;

    // A document of `pages` pages of numbered lines.
    void write(int pages)
    {
        w.vsp.startDoc();
        for (int line = 0; w.vsp.pageCount() < pages; ++line)
            w.vsp.paragraph(u"line %1"_s.arg(line));
        w.vsp.endDoc();
    }
    QPushButton *button(const char *name) const
    {
        return w.findChild<QPushButton *>(QString::fromLatin1(name));
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    // Acts on the modal dialog the next click opens.
    template <class Dialog> void onDialog(std::function<void(Dialog *)> act)
    {
        QTimer::singleShot(0, [act] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            act(dialog);
        });
    }
};

TEST_F(PreviewTest, ButtonsPageThroughTheDocumentAndPrintAllOrThePageOnScreen)
{
    EXPECT_EQ(w.windowTitle(), u"報表預覽畫面"_s);
    EXPECT_EQ(w.vsp.device(), u"Office A4"_s) << "without a printer named the first one is used";
    EXPECT_TRUE(print::IsPrinterInstalled(u"Kitchen A4"_s));
    EXPECT_FALSE(print::IsPrinterInstalled(u"kitchen a4"_s));
    write(5);
    ASSERT_EQ(w.vsp.pageCount(), 5);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    const QList<std::pair<const char *, int>> steps { { "cmdPrevious", 1 }, { "cmdNext", 2 },
        { "cmdLast", 5 }, { "cmdNext", 5 }, { "cmdPrevious", 4 }, { "cmdFirst", 1 }, { "cmdNext", 2 },
        { "cmdNext", 3 } };
    for (const auto &[name, page] : steps) {
        click(name);
        EXPECT_EQ(w.vsp.previewPage(), page) << name;
        EXPECT_EQ(w.vspView->currentPage(), page) << name;
    }

    click("cmdPrintPage");
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].printer, u"Office A4"_s);
    EXPECT_EQ(printers.jobs[0].document.pageCount(), 1);
    EXPECT_EQ(printers.jobs[0].document.textBlocks(), w.vsp.document().pageRange(3, 3).textBlocks());
    EXPECT_NE(printers.jobs[0].document.textBlocks(), w.vsp.document().pageRange(2, 2).textBlocks());

    click("cmdPrint");
    ASSERT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(printers.jobs[1].document.pageCount(), 5);
    // A refused job is reported, and the button is there for another try.
    printers.refuseWith = u"paused"_s;
    click("cmdPrint");
    EXPECT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.readErr().contains(u"cmdPrint_Click"_s));
    EXPECT_TRUE(w.cmdPrint->isEnabled());

    // A click in the preview switches between the whole page and the report's zoom.
    auto *viewport = w.vspView->findChild<QGraphicsView *>()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton);
    EXPECT_EQ(w.zoomMode(), frmVSPBlank::kZoomPercent);
    QTest::mouseClick(viewport, Qt::LeftButton);
    EXPECT_EQ(w.zoomMode(), frmVSPBlank::kZoomWholePage);

    // Every button is reachable over the keyboard by its caption.
    for (QPushButton *b : w.findChildren<QPushButton *>()) {
        EXPECT_FALSE(b->text().isEmpty());
        EXPECT_NE(b->focusPolicy() & Qt::TabFocus, 0) << b->objectName().toStdString();
    }
}

// The operator scrolls the preview as any document: the page brought into view is the one the
// buttons step from and "列印本頁" prints.
TEST_F(PreviewTest, ThePageOnScreenIsTheCurrentPageHoweverItGotThere)
{
    write(6);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto *view = w.vspView->findChild<QGraphicsView *>();
    ASSERT_NE(view, nullptr);
    QWidget *viewport = view->viewport();
    auto wheelDown = [&] {
        const QPointF at = viewport->rect().center();
        QWheelEvent notch(at, viewport->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &notch);
    };
    struct Way {
        const char *what;
        std::function<void()> step; // one operator action towards the end of the document
        int page;
    };
    const QList<Way> ways {
        { "wheel", wheelDown, 5 },
        { "scroll bar", [&] { view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd); },
            3 },
        { "keys", [&] { QTest::keyClick(view, Qt::Key_PageDown); }, 4 },
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.what);
        click("cmdFirst");
        for (int i = 0; i < 200 && w.vspView->currentPage() < way.page; ++i)
            way.step();
        ASSERT_EQ(w.vspView->currentPage(), way.page);
        EXPECT_EQ(w.lblPage->text(), u"第 %1 頁 / 共 6 頁"_s.arg(way.page));

        printers.jobs.clear();
        click("cmdPrintPage");
        ASSERT_EQ(printers.jobs.size(), 1);
        EXPECT_EQ(printers.jobs[0].document.textBlocks(),
            w.vsp.document().pageRange(way.page, way.page).textBlocks());
        click("cmdNext");
        EXPECT_EQ(w.vspView->currentPage(), way.page + 1);
        click("cmdPrevious");
        click("cmdPrevious");
        EXPECT_EQ(w.vspView->currentPage(), way.page - 1);
    }
}

TEST_F(PreviewTest, ThePrinterDialogAndTheSaveDialogActOnlyWhenConfirmed)
{
    bool opened = false;
    QTimer::singleShot(0, [&] { opened = QApplication::activeModalWidget() != nullptr; });
    click("cmdSetupPrinter");
    QCoreApplication::processEvents();
    EXPECT_FALSE(opened) << "an empty document opens no dialog";

    write(4);
    w.show();
    onDialog<QPrintDialog>([](QPrintDialog *d) { d->reject(); });
    click("cmdSetupPrinter");
    EXPECT_TRUE(printers.jobs.isEmpty());

    // What the operator chose in the dialog, as the dialog leaves it in the printer.
    struct Choice {
        int copies;
        QPrinter::PrintRange range;
        int from, to;
        int firstPage, pages; // of each job
    };
    const QList<Choice> choices { { 1, QPrinter::AllPages, 0, 0, 1, 4 },
        { 2, QPrinter::PageRange, 2, 3, 2, 2 }, { 3, QPrinter::CurrentPage, 0, 0, 3, 1 } };
    click("cmdNext");
    click("cmdNext");
    // The dialog offers the system's printers; the catalog stands in for all of them. Qt names no
    // printer its print support does not list, and the report's own printer is kept then.
    printers.names << QPrinterInfo::availablePrinterNames();
    for (const Choice &c : choices) {
        SCOPED_TRACE(c.copies);
        printers.jobs.clear();
        QString chosen;
        w.choosePrinter = [&](QPrinter &printer) {
            chosen = printer.printerName();
            printer.setCopyCount(c.copies);
            printer.setPrintRange(c.range);
            if (c.range == QPrinter::PageRange)
                printer.setFromTo(c.from, c.to);
            return true;
        };
        click("cmdSetupPrinter");
        ASSERT_EQ(printers.jobs.size(), c.copies) << env.readErr().toStdString();
        for (const FakePrinterCatalog::Job &job : printers.jobs)
            EXPECT_EQ(std::pair(job.printer, job.document.textBlocks()),
                std::pair(chosen.isEmpty() ? u"Office A4"_s : chosen,
                    w.vsp.document().pageRange(c.firstPage, c.firstPage + c.pages - 1).textBlocks()));
    }

    g().gAppDir = env.dir();
    w.fgList->setCols(2);
    w.fgList->addRow({ u"炒飯"_s, u"1,234"_s });
    const QString csv = env.path(u"out.csv"_s);
    QDir::setCurrent(QDir::tempPath());
    onDialog<QFileDialog>([](QFileDialog *d) {
        EXPECT_TRUE(d->selectedFiles().value(0).endsWith(u"報表輸出"_s));
        EXPECT_EQ(d->nameFilters(), (QStringList { u"csv檔案(*.csv)"_s, u"所有檔案 (*.*)"_s }));
        d->reject();
    });
    click("cmdSaveDoc");
    EXPECT_FALSE(QFile::exists(csv));
    EXPECT_EQ(QDir::currentPath(), QDir(env.dir()).canonicalPath());
    // A name typed without an extension still gets the CSV file the filter names.
    onDialog<QFileDialog>([&](QFileDialog *d) {
        d->selectFile(env.path(u"out"_s));
        static_cast<QDialog *>(d)->accept(); // as the dialog's save button does
    });
    click("cmdSaveDoc");
    EXPECT_TRUE(TestEnvironment::readBytes(csv).contains("1,234"));
}

class ReportButtonsTest : public ::testing::Test {
protected:
    TestEnvironment env;
    FakePrinterCatalog printers { { u"Office A4"_s } };

    void SetUp() override
    {
        platform::setEchoEnabled(false);
        g().gOPDate = u"2024/03/01"_s;
        QDir(env.dir()).mkdir(u"LOG"_s);
        db::Connection &cn = db::gCNT();
        cn.setCreateIfMissing(true);
        cn.open(u"Provider=SQLite;Data Source="_s + env.path(u"tavo.db"_s));
        demo::createSchema(cn);
        cn.execute(u"INSERT INTO MenuType (TypeNo, TypeName) VALUES (1, '熱炒')"_s);
        // Enough items for a report of several pages.
        for (int i = 0; i < 80; ++i)
            cn.execute(
                u"INSERT INTO ORDERI (KPort, TypeNo, ItemName, Qty, OrderDate, OrderTime) VALUES "
                u"('PK', 1, 'item %1', 2, '2024/03/01 00:00:00', '12:30:00')"_s.arg(i, 2, 10, QChar(u'0')));
    }
    void TearDown() override { db::gCNT().close(); }
};

TEST_F(ReportButtonsTest, EachButtonShowsItsReportInAModalPreviewOrSaysWhyNot)
{
    gui::fmTavoKPortSrv window;
    window.service().quit = [](int) {};
    window.fg2->setRows(1);
    window.fg2->addRow({ u"午班"_s, u"11:00"_s, u"14:00"_s });
    window.fg2->setRow(1);
    window.txtOpDate->setText(u"2024/03/01"_s);
    window.txtPrinter->setText(u" Office A4 "_s);

    print::PrintDocument shown;
    QString device;
    int listed = 0;
    QStringList total;
    QTimer::singleShot(0, [&] {
        auto *preview = qobject_cast<frmVSPBlank *>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        shown = preview->vsp.document();
        device = preview->vsp.device();
        EXPECT_TRUE(preview->isMaximized()) << "the whole page in view is large enough to read";
        EXPECT_EQ(preview->lblPage->text(), u"第 1 頁 / 共 %1 頁"_s.arg(shown.pageCount()));
        QTest::mouseClick(preview->cmdLast, Qt::LeftButton);
        EXPECT_EQ(preview->vspView->currentPage(), shown.pageCount());
        // "存檔" saves the rows the preview shows.
        listed = preview->fgList->Rows();
        total = preview->fgList->rowCells(listed - 1);
        QTest::mouseClick(preview->cmdExit, Qt::LeftButton);
    });
    QTest::mouseClick(window.cmdPrintShiftItemSum, Qt::LeftButton);
    EXPECT_EQ(shown.textBlocks().value(0), u"PK出菜統計表 - 廚房"_s);
    EXPECT_GT(shown.pageCount(), 1);
    EXPECT_EQ(shown.textBlocks().last(), u"\r\n熱炒總計: 160"_s);
    EXPECT_EQ(device, u"Office A4"_s);
    EXPECT_EQ(listed, 1 + 80 + 1) << "the header, the items and the category's total";
    EXPECT_EQ(total, (QStringList { u"熱炒"_s, u"總計"_s, u"160"_s }));
    EXPECT_TRUE(QFile::exists(env.dir() + u"/TavoC_fg2.CSV"_s));
    EXPECT_TRUE(printers.jobs.isEmpty()) << "the preview prints only when asked";

    QTest::mouseClick(window.cmdPrintShiftRptB, Qt::LeftButton);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].text, u"沒有出菜單資料:PB"_s);
}

TEST_F(ReportButtonsTest, TheServiceTimesOfTheWatchedPortShowInThePreviewToo)
{
    gui::fmTavoKPortSrv window;
    window.service().quit = [](int) {};
    window.service().setPort(u"PK"_s);
    window.fg2->setRows(1);
    window.fg2->addRow({ u"午班"_s, u"11:00"_s, u"14:00"_s });
    window.fg2->setRow(1);
    window.txtOpDate->setText(u"2024/03/01"_s);
    env.clock.set(QDateTime(QDate(2024, 3, 1), QTime(15, 0)));
    // All of them one order, ordered at 12:30 and bumped ten minutes later.
    db::gCNT().execute(u"UPDATE ORDERI SET OrderPID = 'T01-1'"_s);
    {
        kds::KdsStore store(env.path(u"KDS.db"_s));
        ASSERT_TRUE(store.bump(u"PK"_s, u"T01-1"_s, 80, QDateTime(QDate(2024, 3, 1), QTime(12, 40))));
    }

    print::PrintDocument shown;
    QStringList first;
    int listed = 0;
    QTimer::singleShot(0, [&] {
        auto *preview = qobject_cast<frmVSPBlank *>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        shown = preview->vsp.document();
        listed = preview->fgList->Rows();
        first = preview->fgList->rowCells(1);
        QTest::mouseClick(preview->cmdExit, Qt::LeftButton);
    });
    EXPECT_EQ(window.cmdPrintShiftSpeed->text(), u"出餐時間統計"_s);
    QTest::mouseClick(window.cmdPrintShiftSpeed, Qt::LeftButton);
    EXPECT_EQ(shown.textBlocks().value(0), u"PK出餐時間統計 - 午班"_s);
    EXPECT_EQ(listed, 1 + 80) << "the header and one row per dish";
    EXPECT_EQ(first, (QStringList { u"item 00"_s, u"1"_s, u"10:00"_s, u"10:00"_s, u"10:00"_s, u"0"_s }));
}

} // namespace
