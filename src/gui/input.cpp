#include "gui/input.h"

#include "util/report.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace tavo {

namespace {

bool takesTabFocus(const QWidget *w, const QWidget *window)
{
    return (w->focusPolicy() & Qt::TabFocus) != 0 && w->isEnabled() && w->isVisibleTo(window)
        && w->window() == window && w->focusProxy() == nullptr;
}

// The next (or previous) control of the window's tab order that can take the focus.
QWidget *neighbour(QWidget *from, bool forward)
{
    QWidget *window = from->window();
    QWidget *w = from;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == nullptr || w == from)
            return nullptr;
        if (takesTabFocus(w, window))
            return w;
    }
}

} // namespace

void SelectAllText(QLineEdit *box)
{
    try {
        if (box != nullptr)
            box->setSelection(0, int(box->text().size()));
    } catch (...) {
        ShowErrMsg(tags::SelectAllText);
    }
}

bool KeyMoveFocus(QWidget *from, int key)
{
    try {
        bool forward;
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down)
            forward = true;
        else if (key == Qt::Key_Up)
            forward = false;
        else
            return false;
        if (from != nullptr) {
            if (QWidget *target = neighbour(from, forward))
                target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        }
        return true;
    } catch (...) {
        ShowErrMsg(tags::KeyMoveFocus);
        return false;
    }
}

void FormToCorner(QWidget *form)
{
    try {
        if (form == nullptr)
            return;
        QScreen *screen = form->screen();
        if (screen == nullptr)
            screen = QGuiApplication::primaryScreen();
        if (screen == nullptr)
            return;
        const QRect area = screen->geometry();
        const QSize size = form->frameGeometry().size();
        const int above = qRound(375.0 * screen->logicalDotsPerInchY() / 1440.0);
        form->move(area.x() + area.width() - size.width(), area.y() + area.height() - size.height() - above);
    } catch (...) {
        ShowErrMsg(tags::FormToCorner);
    }
}

} // namespace tavo
