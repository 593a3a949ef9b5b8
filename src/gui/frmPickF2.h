#pragma once
// The code pick list: the caller puts (code, description) rows into fgCode, PickList shows them
// and answers which row the operator took. One instance for the program's life; closing only
// hides it, so the list keeps its last rows until the next use.
#include "gui/loadedform.h"
#include "platform/gridmodel.h"

#include <QDialog>
#include <QString>

#include <memory>

class QPushButton;

namespace Ui {
class frmPickF2;
}
namespace tavo::gui {

class GridView;

class frmPickF2 : public QDialog {
    Q_OBJECT
public:
    static frmPickF2 &instance();
    // Drops the instance (tests start from a fresh one).
    static void unload();
    ~frmPickF2() override;

    platform::GridModel *fgCode = nullptr;
    GridView *fgCodeView = nullptr;
    QPushButton *cmdCancel = nullptr;
    QString PickCode, PickDscp;

    // Shows the rows with the two column headings, modally, at the screen's bottom-right corner.
    // True when a row was picked: PickCode and PickDscp hold its two cells.
    bool PickList(const QString &pvColHead1, const QString &pvColHead2);

    void fgCode_Click();
    // Enter and Space pick the current row; true when the key was one of them.
    bool fgCode_KeyDown(int keyCode);
    void cmdCancel_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class LoadedForm<frmPickF2>;
    explicit frmPickF2(QWidget *parent = nullptr);
    void pick();

    std::unique_ptr<Ui::frmPickF2> ui;
    bool m_cancelled = true;
};

} // namespace tavo::gui
