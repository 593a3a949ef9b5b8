#pragma once
// The kitchen display's settings: section [KDS] of the service's settings file. The display is
// off unless PORT names the port to listen on.
#include <QString>

namespace tavo::platform {
class SettingsStore;
}

namespace tavo::kds {

struct KdsSettings {
    quint16 port = 0; // 0: no display
    QString address = QStringLiteral("127.0.0.1");
    QString pin; // asked once per device; required, of at least 6 digits, on any address but loopback
    QString certificate; // PEM files: with both, the display serves HTTPS only
    QString privateKey;
    int amberMinutes = 10;
    int redMinutes = 20;
    bool crossOffBumps = false; // crossing off a card's last item bumps the card
    bool slowestDishes = false; // a panel of the last hour's slowest dishes beside the waiting totals
    bool menuRemarks = false; // the menu's own item remarks, as the kitchen tickets print them

    bool enabled() const { return port != 0; }
};

// Values that are not numbers in range keep their defaults, so a typing slip in the file leaves
// the display as it was rather than off or always red.
KdsSettings readKdsSettings(const platform::SettingsStore &store);

} // namespace tavo::kds
