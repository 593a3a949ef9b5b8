#pragma once
// Operator messages on the window's message panel.
#include <QString>

namespace tavo::gui {
class MessagePanel;
}

namespace tavo {

// Shows `text` with the flood bar full, beeps `beeps` times, holds it for 200 ms (a blocking
// pause: the operator sees the flash) and empties the bar; the text stays until replaced or
// cleared. Errors are shown with the tag "DispElaMsg".
void DispElaMsg(gui::MessagePanel &panel, const QString &text, int beeps = 2);

} // namespace tavo
