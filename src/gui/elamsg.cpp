#include "gui/elamsg.h"

#include "gui/messagepanel.h"
#include "platform/services.h"
#include "util/report.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace tavo {

void DispElaMsg(gui::MessagePanel &panel, const QString &text, int beeps)
{
    try {
        panel.setCaption(text);
        panel.setFloodPercent(100);
        // Painted now: the pause below holds the window still.
        panel.repaint();
        QCoreApplication::processEvents();
        for (int i = 0; i < beeps; ++i)
            platform::services().prompter->beep();
        platform::services().clock->sleepMs(200);
        panel.setFloodPercent(0);
    } catch (...) {
        ShowErrMsg(tags::DispElaMsg);
    }
}

} // namespace tavo
