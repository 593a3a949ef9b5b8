#include "gui/qtprompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tavo::gui {

platform::BoxAnswer QtPrompter::ask(
    const QString &title, const QString &text, platform::BoxIcon icon, platform::BoxButtons buttons)
{
    if (m_dismissed || qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
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
    m_open.append(&box);
    const int pressed = box.exec();
    m_open.removeAll(&box);
    if (buttons == platform::BoxButtons::YesNo)
        return pressed == QMessageBox::Yes ? platform::BoxAnswer::Yes : platform::BoxAnswer::No;
    return platform::BoxAnswer::Ok;
}

void QtPrompter::dismissAll()
{
    m_dismissed = true;
    // Innermost first: an outer box's loop can only return once the ones above it have.
    const auto open = m_open;
    for (auto it = open.crbegin(); it != open.crend(); ++it) {
        if (QMessageBox *box = *it; box != nullptr && box->defaultButton() != nullptr)
            box->defaultButton()->click();
    }
}

void QtPrompter::beep()
{
    QApplication::beep();
}

} // namespace tavo::gui
