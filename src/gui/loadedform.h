#pragma once
// The forms that are loaded on first use and then only hidden, never unloaded, while the program
// runs (the pick dialogs): one instance each, made when first asked for.
#include <QPointer>

namespace tavo::gui {

template <typename Form> class LoadedForm {
public:
    static Form &instance()
    {
        if (!slot())
            slot() = new Form;
        return *slot();
    }
    // Drops the instance (the window going away, or a test starting from a fresh one).
    static void unload() { delete slot().data(); }

private:
    static QPointer<Form> &slot()
    {
        static QPointer<Form> loaded;
        return loaded;
    }
};

} // namespace tavo::gui
