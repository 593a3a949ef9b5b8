#pragma once
// Keyboard and placement conveniences of the small input windows.
class QLineEdit;
class QWidget;

namespace tavo {

// Selects the whole text of the box, so typing replaces it.
void SelectAllText(QLineEdit *box);

// Enter, Return and Down move the focus to the next control, Up to the previous one, as Tab and
// Shift+Tab would. True when the key was one of these (and the caller should not process it further).
bool KeyMoveFocus(QWidget *from, int key);

// Moves the window to the bottom-right corner of its screen, 375 twips above the bottom edge.
void FormToCorner(QWidget *form);

} // namespace tavo
