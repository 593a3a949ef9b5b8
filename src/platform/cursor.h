#pragma once
// The busy pointer around long operations. Both calls are harmless without a QApplication (the
// service also runs headless), so the reporters may always put the arrow back.

namespace tavo::platform {

void setBusyCursor(bool busy);
// Back to the default arrow, however many busy pointers were set.
void restoreCursor();

// The busy pointer for as long as a scope lasts, put back on every way out of it.
class BusyPointer {
public:
    BusyPointer() { setBusyCursor(true); }
    ~BusyPointer() { restoreCursor(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};

} // namespace tavo::platform
