#pragma once
// The station's own configuration: the watched port, the printer and its type, the two print
// flags, the ticket form switch, the restart time and the alert quantity. It reads itself from
// the settings store (application "Tavo3") and writes each value back under the key it was read
// from, so a site's settings file looks the same whichever view changed it. The window, the
// headless run and the display read it; whoever edits a value edits it here.
#include <QObject>
#include <QString>

namespace tavo::db {
class Connection;
}
namespace tavo::platform {
class SettingsStore;
}

namespace tavo::core {

class StationConfig : public QObject {
    Q_OBJECT
public:
    explicit StationConfig(platform::SettingsStore &store, QObject *parent = nullptr);

    // Reads every value from the store; the alert quantity is the business parameter
    // "KPAlertQty" of `cnt`. With the alert quantity on, the ticket form switch is off, and saved
    // off, whatever the store said.
    void read(db::Connection &cnt);

    QString port() const { return m_port; } // [TavoC] DEFKPORT, "PK" when unset
    QString printer() const { return m_printer; } // [TavoC] Printer
    QString printerType() const { return m_printerType; } // [TavoC] PrinterType
    bool printList() const { return m_printList; } // [TavoC] PrintList
    bool printItem() const { return m_printItem; } // [TavoC] PrintItem: the cycle lists new rows
    bool orderForm() const { return m_orderForm; } // [KP] KPortForm: tickets in the order's form
    QString shutTime() const { return m_shutTime; } // [TavoC] ShutTime, as typed
    bool alertQty() const { return m_alertQty; } // parameter KPAlertQty

    // Each setter saves its key at once, whether or not the value changed.
    void setPort(const QString &port);
    void setPrinter(const QString &printer);
    void setPrinterType(const QString &type);
    void setPrintList(bool on);
    void setPrintItem(bool on);
    void setOrderForm(bool on);
    // The restart time follows the text being typed; it is saved only by storeShutTime(), and a
    // blank text is never saved.
    void setShutTime(const QString &text);
    void storeShutTime();

    // [TavoC] WakeOnCommit, read from the store on every call: a site switches the wake without
    // ending the program. On unless "N".
    bool readWakeOnCommit() const;

signals:
    // A value changed (or was saved again); views show the values anew.
    void changed();

private:
    QString get(const QString &section, const QString &key, const QString &defaultValue = {}) const;
    void save(const QString &section, const QString &key, const QString &value);
    void saveFlag(const QString &section, const QString &key, bool on);

    platform::SettingsStore &m_store;
    QString m_port = QStringLiteral("PK");
    QString m_printer, m_printerType, m_shutTime;
    bool m_printList = false;
    bool m_printItem = false;
    bool m_orderForm = false;
    bool m_alertQty = false;
};

} // namespace tavo::core
