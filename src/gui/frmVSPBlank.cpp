#include "gui/frmVSPBlank.h"

#include "platform/cursor.h"
#include "platform/gridfiles.h"
#include "print/painterrenderer.h"
#include "util/globals.h"
#include "util/report.h"

#include "ui_frmVSPBlank.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {

// The save dialog's filter as the suite's other programs write it: description and pattern
// pairs between bars.
const QString kSaveFilter = u"csv檔案(*.csv)|*.csv|所有檔案|*.*|"_s;

QStringList qtFilters(const QString &barFilter)
{
    const QStringList parts = barFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            continue;
        const QString pattern = u"("_s + parts[i + 1] + u")"_s;
        filters << (parts[i].contains(pattern) ? parts[i] : parts[i] + u" "_s + pattern);
    }
    return filters;
}

} // namespace

frmVSPBlank::frmVSPBlank(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmVSPBlank>())
    , m_previewPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    ui->setupUi(this);
    vsFrame = ui->vsFrame;
    cmdFirst = ui->cmdFirst;
    cmdPrevious = ui->cmdPrevious;
    cmdNext = ui->cmdNext;
    cmdLast = ui->cmdLast;
    cmdPrint = ui->cmdPrint;
    cmdSetupPrinter = ui->cmdSetupPrinter;
    cmdPrintPage = ui->cmdPrintPage;
    cmdSaveDoc = ui->cmdSaveDoc;
    cmdExit = ui->cmdExit;
    lblPage = ui->lblPage;
    fgList = new platform::GridModel(this);
    ui->fgList->setGrid(fgList);

    m_previewPrinter->setFullPage(true);
    vspView = new QPrintPreviewWidget(m_previewPrinter.get(), vsFrame);
    vspView->setObjectName(u"vspView"_s);
    vspView->setAccessibleName(u"報表預覽"_s);
    // One page at a time, as the buttons page: the page on screen is the page "列印本頁" prints.
    vspView->setViewMode(QPrintPreviewWidget::SinglePageView);
    vsFrame->layout()->addWidget(vspView);
    vsFrame->installEventFilter(this);
    if (auto *view = vspView->findChild<QGraphicsView *>())
        view->viewport()->installEventFilter(this);

    connect(vspView, &QPrintPreviewWidget::paintRequested, this, &frmVSPBlank::paintDocument);
    // The preview announces a change whenever scrolling brings another page into view.
    connect(vspView, &QPrintPreviewWidget::previewChanged, this, &frmVSPBlank::followShownPage);
    choosePrinter = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        dialog.setObjectName(u"dlgPrinter"_s);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
        dialog.setMinMax(1, std::max(1, vsp.pageCount()));
        return dialog.exec() == QDialog::Accepted;
    };
    connect(cmdFirst, &QPushButton::clicked, this, &frmVSPBlank::cmdFirst_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &frmVSPBlank::cmdPrevious_Click);
    connect(cmdNext, &QPushButton::clicked, this, &frmVSPBlank::cmdNext_Click);
    connect(cmdLast, &QPushButton::clicked, this, &frmVSPBlank::cmdLast_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmVSPBlank::cmdPrint_Click);
    connect(cmdPrintPage, &QPushButton::clicked, this, &frmVSPBlank::cmdPrintPage_Click);
    connect(cmdSetupPrinter, &QPushButton::clicked, this, &frmVSPBlank::cmdSetupPrinter_Click);
    connect(cmdSaveDoc, &QPushButton::clicked, this, &frmVSPBlank::cmdSaveDoc_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmVSPBlank::cmdExit_Click);
    Form_Load();
}

frmVSPBlank::~frmVSPBlank() = default;

void frmVSPBlank::Form_Load()
{
    try {
        setWindowTitle(Caption);
        vsp.setPreview(true);
        vsp.setPreviewPage(1);
        // Without a printer named by the report, print where the system prints by default.
        const QStringList devices = vsp.devices();
        const QString systemDefault = QPrinterInfo::defaultPrinterName();
        if (devices.contains(systemDefault))
            vsp.setDevice(systemDefault);
        else if (!devices.isEmpty())
            vsp.setDevice(devices.first());
        setZoomMode(kZoomWholePage);
    } catch (...) {
        AskErrMsg(tags::Form_Load);
    }
}

void frmVSPBlank::setZoom(int percent)
{
    m_zoomPercent = percent;
    if (m_zoomMode == kZoomPercent)
        vspView->setZoomFactor(percent / 100.0);
}

void frmVSPBlank::setZoomMode(int mode)
{
    m_zoomMode = mode;
    if (mode == kZoomPercent) {
        vspView->setZoomMode(QPrintPreviewWidget::CustomZoom);
        vspView->setZoomFactor(m_zoomPercent / 100.0);
    } else {
        vspView->setZoomMode(QPrintPreviewWidget::FitInView);
    }
}

void frmVSPBlank::showModal()
{
    refreshPreview();
    // As large as the screen, so that the whole page in view is large enough to read.
    setWindowState(windowState() | Qt::WindowMaximized);
    exec();
}

void frmVSPBlank::refreshPreview()
{
    const print::PrintDocument &doc = vsp.document();
    const int page = vsp.previewPage();
    m_previewPrinter->setPageSize(print::PainterRenderer::pageSize(doc));
    m_previewPrinter->setPageMargins(QMarginsF(0, 0, 0, 0));
    vspView->updatePreview();
    showPage(page);
}

void frmVSPBlank::followShownPage()
{
    // While the preview is rebuilt it passes through its first page; that is not the operator's.
    if (vspView->pageCount() == vsp.pageCount() && vsp.pageCount() > 0)
        vsp.setPreviewPage(vspView->currentPage());
    showPageNumber();
}

void frmVSPBlank::showPageNumber()
{
    lblPage->setText(vsp.pageCount() > 0
            ? u"第 %1 頁 / 共 %2 頁"_s.arg(vsp.previewPage()).arg(vsp.pageCount())
            : QString());
}

void frmVSPBlank::paintDocument(QPrinter *printer)
{
    if (vsp.isDocOpen() || vsp.document().pageCount() == 0)
        return;
    QPainter painter(printer);
    print::PainterRenderer::paintPages(painter, vsp.document(), printer->resolution());
}

void frmVSPBlank::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refreshPreview();
}

void frmVSPBlank::showPage(int page)
{
    vsp.setPreviewPage(page);
    const int shown = vsp.previewPage();
    if (shown > 0)
        vspView->setCurrentPage(shown);
    vsp.setPreviewPage(shown);
    showPageNumber();
}

void frmVSPBlank::cmdFirst_Click()
{
    try {
        showPage(1);
    } catch (...) {
        AskErrMsg(tags::cmdFirst_Click);
    }
}

void frmVSPBlank::cmdPrevious_Click()
{
    try {
        if (vsp.previewPage() > 1)
            showPage(vsp.previewPage() - 1);
    } catch (...) {
        AskErrMsg(tags::cmdPrevious_Click);
    }
}

void frmVSPBlank::cmdNext_Click()
{
    try {
        if (vsp.previewPage() < vsp.pageCount())
            showPage(vsp.previewPage() + 1);
    } catch (...) {
        AskErrMsg(tags::cmdNext_Click);
    }
}

void frmVSPBlank::cmdLast_Click()
{
    try {
        showPage(vsp.pageCount());
    } catch (...) {
        AskErrMsg(tags::cmdLast_Click);
    }
}

void frmVSPBlank::cmdPrint_Click()
{
    cmdPrint->setEnabled(false);
    {
        const platform::BusyPointer busy;
        try {
            vsp.printDoc();
        } catch (...) {
            AskErrMsg(tags::cmdPrint_Click);
        }
    }
    // Also after a failed job: the operator must be able to try again.
    cmdPrint->setEnabled(true);
}

void frmVSPBlank::cmdPrintPage_Click()
{
    try {
        const int page = vsp.previewPage();
        if (page > 0)
            vsp.printDoc(page, page);
    } catch (...) {
        ShowErrMsg(tags::cmdPrintPage_Click);
    }
}

void frmVSPBlank::cmdSetupPrinter_Click()
{
    try {
        if (vsp.pageCount() == 0)
            return;
        QPrinter printer(QPrinter::HighResolution);
        if (!vsp.device().isEmpty())
            printer.setPrinterName(vsp.device());
        printer.setDocName(vsp.document().name);
        printer.setFromTo(1, vsp.pageCount());
        if (!choosePrinter(printer))
            return;
        int from = 1, to = vsp.pageCount();
        if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
            from = printer.fromPage();
            to = std::max(from, printer.toPage());
        } else if (printer.printRange() == QPrinter::CurrentPage) {
            from = to = vsp.previewPage();
        }
        const print::PrintDocument chosen = vsp.document().pageRange(from, to);
        const bool toFile
            = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
        // Qt keeps no name for a printer its print support does not list; that is still the
        // report's own printer.
        const QString target = printer.printerName().isEmpty() ? vsp.device() : printer.printerName();
        // The copies go out as jobs of their own: a receipt printer cuts each one off.
        for (int copy = 0; copy < (toFile ? 1 : std::max(1, printer.copyCount())); ++copy) {
            QString error;
            const bool done = toFile ? print::PdfSink(printer.outputFileName()).output(chosen, &error)
                                     : print::PrinterSink(target).output(chosen, &error);
            if (!done)
                throw TavoError(kGenericErrorNumber, u"Printing on \"%1\" failed: %2"_s.arg(target, error));
        }
    } catch (...) {
        ShowErrMsg(tags::cmdSetupPrinter_Click);
    }
}

void frmVSPBlank::cmdSaveDoc_Click()
{
    try {
        QFileDialog dlgFile(this);
        dlgFile.setObjectName(u"dlgFile"_s);
        dlgFile.setAcceptMode(QFileDialog::AcceptSave);
        dlgFile.setOption(QFileDialog::DontUseNativeDialog);
        dlgFile.setNameFilters(qtFilters(kSaveFilter));
        dlgFile.selectFile(
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + u"報表輸出"_s);
        if (dlgFile.exec() == QDialog::Accepted && !dlgFile.selectedFiles().isEmpty()) {
            QString path = dlgFile.selectedFiles().first();
            // A name typed without an extension is still the CSV file the filter promises.
            if (QFileInfo(path).suffix().isEmpty())
                path += u".csv"_s;
            platform::saveCsv(*fgList, path);
        }
    } catch (...) {
        ShowErrMsg(tags::frmVSPBlank_cmdSaveDoc_Click);
    }
    // The dialog may have moved the working folder; relative paths of the program start here.
    if (!g().gAppDir.isEmpty())
        QDir::setCurrent(g().gAppDir);
}

void frmVSPBlank::cmdExit_Click()
{
    hide();
    if (isModal())
        done(QDialog::Accepted);
}

void frmVSPBlank::vsFrame_Click()
{
    setZoomMode(m_zoomMode != kZoomPercent ? kZoomPercent : kZoomWholePage);
}

bool frmVSPBlank::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched != this) {
        try {
            vsFrame_Click();
        } catch (...) {
            // A zoom that cannot change leaves the preview as it is.
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tavo::gui
