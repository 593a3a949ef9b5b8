#include "gui/qtprompter.h"

#include <QApplication>
#include <QMessageBox>

namespace tavo::gui {

platform::BoxAnswer QtPrompter::ask(const QString &title, const QString &text, platform::BoxIcon icon, platform::BoxButtons buttons)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return platform::defaultAnswer(buttons);
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case platform::BoxIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case platform::BoxIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case platform::BoxIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case platform::BoxIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case platform::BoxIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == platform::BoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (buttons == platform::BoxButtons::YesNo)
        return pressed == QMessageBox::Yes ? platform::BoxAnswer::Yes : platform::BoxAnswer::No;
    return platform::BoxAnswer::Ok;
}

void QtPrompter::beep()
{
    QApplication::beep();
}

} // namespace tavo::gui
