#pragma once
// The report preview window: shows a report's finished document page by page, prints all of it,
// the page on screen, or all of it on a printer chosen in the platform's dialog, and saves its
// list grid as CSV. The preview is Qt's print preview fed by the same painter renderer that
// prints, so the screen and the paper show one layout.
#include "platform/gridmodel.h"
#include "print/printsurface.h"
#include "reports/reportpreview.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QPushButton;
class QFrame;

namespace Ui {
class frmVSPBlank;
}

namespace tavo::gui {

class frmVSPBlank : public QDialog, public reports::ReportPreview {
    Q_OBJECT
public:
    // Runs Form_Load; the window stays hidden until shown.
    explicit frmVSPBlank(QWidget *parent = nullptr);
    ~frmVSPBlank() override;

    static inline const QString Caption = QStringLiteral("報表預覽畫面");
    // Zoom modes of the preview: 3 the whole page in view, 0 the zoom percentage.
    static constexpr int kZoomWholePage = 3;
    static constexpr int kZoomPercent = 0;

    // ---- Controls, by their names on the form.
    print::PrintSurface vsp;
    platform::GridModel *fgList = nullptr;
    QFrame *vsFrame = nullptr;
    QPrintPreviewWidget *vspView = nullptr; // the preview of vsp's document inside vsFrame
    QPushButton *cmdFirst = nullptr, *cmdPrevious = nullptr, *cmdNext = nullptr, *cmdLast = nullptr;
    QPushButton *cmdPrint = nullptr, *cmdSetupPrinter = nullptr, *cmdPrintPage = nullptr;
    QPushButton *cmdSaveDoc = nullptr, *cmdExit = nullptr;
    QLabel *lblPage = nullptr; // the page on screen and the page count

    // The printer-choice dialog of "指定印表機": true when the operator confirmed it, with the
    // printer, copies and pages chosen in `printer`. The platform's dialog unless replaced.
    std::function<bool(QPrinter &printer)> choosePrinter;

    // ---- ReportPreview
    print::PrintSurface &surface() override { return vsp; }
    platform::GridModel &listGrid() override { return *fgList; }
    void setZoom(int percent) override;
    void showModal() override;

    int zoomMode() const { return m_zoomMode; }
    void setZoomMode(int mode);
    // Shows the document's previewed page; called after the document has ended.
    void refreshPreview();

    void Form_Load();
    void cmdFirst_Click();
    void cmdPrevious_Click();
    void cmdNext_Click();
    void cmdLast_Click();
    void cmdPrint_Click();
    void cmdPrintPage_Click();
    void cmdSetupPrinter_Click();
    void cmdSaveDoc_Click();
    void cmdExit_Click();
    void vsFrame_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showPage(int page);
    // The page on screen, however it got there (buttons, wheel, scroll bar, keys), becomes the
    // previewed page the buttons step from and "列印本頁" prints.
    void followShownPage();
    void showPageNumber();
    void paintDocument(QPrinter *printer);

    std::unique_ptr<Ui::frmVSPBlank> ui;
    std::unique_ptr<QPrinter> m_previewPrinter;
    int m_zoomMode = kZoomWholePage;
    int m_zoomPercent = 100;
};

} // namespace tavo::gui
