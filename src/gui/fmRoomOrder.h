#pragma once
// The room order view: the items of one order still waiting for the kitchen. One instance for
// the program's life; closing only hides it.
#include "gui/loadedform.h"
#include "platform/gridmodel.h"

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QPushButton;

namespace Ui {
class fmRoomOrder;
}
namespace tavo::gui {

class GridView;

class fmRoomOrder : public QDialog {
    Q_OBJECT
public:
    static fmRoomOrder &instance();
    static void unload();
    ~fmRoomOrder() override;

    platform::GridModel *fgCode = nullptr;
    GridView *fgCodeView = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QPushButton *cmdRoomOrder = nullptr;

    // Shows the open items of order `pvOrderPID` modally; shows nothing when it has none.
    // True when the view was shown.
    bool ShowSelect(const QString &pvOrderPID);
    void cmdRoomOrder_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class LoadedForm<fmRoomOrder>;
    explicit fmRoomOrder(QWidget *parent = nullptr);

    std::unique_ptr<Ui::fmRoomOrder> ui;
};

} // namespace tavo::gui
