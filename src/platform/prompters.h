#pragma once
// Message boxes and beeps without a screen (a service started headless): each box goes to
// standard error and gets its default answer, so nothing waits. The boxes on a screen are in gui/.
#include "platform/services.h"

#include <cstdio>

namespace tavo::platform {

// A display to show windows on: DISPLAY or WAYLAND_DISPLAY is set.
bool hasDisplay();

// The button a box answers with when nobody chooses: OK, and No for a question, so that an
// unattended copy never agrees to anything by itself.
BoxAnswer defaultAnswer(BoxButtons buttons);

class HeadlessPrompter : public Prompter {
public:
    // Writes to `out` (standard error by default); beeps write the bell character when `bell`.
    explicit HeadlessPrompter(std::FILE *out = stderr, bool bell = false);
    BoxAnswer ask(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons) override;
    void beep() override;

private:
    std::FILE *m_out;
    bool m_bell;
};

} // namespace tavo::platform
