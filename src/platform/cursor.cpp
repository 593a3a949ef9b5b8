#include "platform/cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace tavo::platform {

namespace {

bool haveGui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

} // namespace

void setBusyCursor(bool busy)
{
    if (!haveGui())
        return;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void restoreCursor()
{
    if (!haveGui())
        return;
    while (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace tavo::platform
