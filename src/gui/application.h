#pragma once
// What the program sets up on the application before the service starts: Qt's own translations
// for the standard buttons, and the service window itself.

namespace tavo {
struct Site;
}

namespace tavo::gui {

// Loads Qt's Traditional Chinese translations (the standard buttons read 確定, 是, 否, 取消), as
// the forms are in Traditional Chinese whatever the machine's locale. False when they are not
// installed (Debian package qt6-translations-l10n); the buttons then stay in English.
bool installQtTranslations();

// Creates and shows the service window of `site`; it deletes itself when closed.
void openServiceWindow(const Site &site);

} // namespace tavo::gui
