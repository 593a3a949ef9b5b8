#pragma once
// Message boxes and beeps on a screen, through QMessageBox. The standard buttons read in the
// language of Qt's loaded translations (Traditional Chinese at the sites).
#include "platform/prompters.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>

namespace tavo::gui {

class QtPrompter : public platform::Prompter {
public:
    platform::BoxAnswer ask(const QString &title, const QString &text, platform::BoxIcon icon,
        platform::BoxButtons buttons) override;
    void beep() override;
    void dismissAll() override;

private:
    QList<QPointer<QMessageBox>> m_open; // innermost last
    bool m_dismissed = false;
};

} // namespace tavo::gui
