#include "core/stationconfig.h"

#include "db/dbglobals.h"
#include "platform/services.h"

using namespace Qt::StringLiterals;

namespace tavo::core {

namespace {
const QString kApp = u"Tavo3"_s;
const QString kStation = u"TavoC"_s;
const QString kTickets = u"KP"_s;
} // namespace

StationConfig::StationConfig(platform::SettingsStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
}

QString StationConfig::get(const QString &section, const QString &key, const QString &defaultValue) const
{
    return m_store.get(kApp, section, key, defaultValue);
}

void StationConfig::save(const QString &section, const QString &key, const QString &value)
{
    m_store.save(kApp, section, key, value);
    emit changed();
}

void StationConfig::saveFlag(const QString &section, const QString &key, bool on)
{
    save(section, key, on ? u"Y"_s : u"N"_s);
}

void StationConfig::read(db::Connection &cnt)
{
    m_port = get(kStation, u"DEFKPORT"_s, u"PK"_s);
    m_printer = get(kStation, u"Printer"_s);
    m_printerType = get(kStation, u"PrinterType"_s);
    m_printList = get(kStation, u"PrintList"_s, u"N"_s) == u"Y"_s;
    m_printItem = get(kStation, u"PrintItem"_s, u"N"_s) == u"Y"_s;
    m_shutTime = get(kStation, u"ShutTime"_s);
    m_orderForm = get(kTickets, u"KPortFORM"_s) == u"Y"_s;
    QString alertQty;
    m_alertQty = getParamValue(u"KPAlertQty"_s, alertQty, cnt) && alertQty.toUpper() == u"Y"_s;
    // The alert quantity and the order's form exclude each other; "N" is saved even when the
    // store already said so.
    if (m_alertQty)
        setOrderForm(false);
    emit changed();
}

void StationConfig::setPort(const QString &port)
{
    m_port = port;
    save(kStation, u"DEFKPORT"_s, port);
}

void StationConfig::setPrinter(const QString &printer)
{
    m_printer = printer;
    save(kStation, u"Printer"_s, printer);
}

void StationConfig::setPrinterType(const QString &type)
{
    m_printerType = type;
    save(kStation, u"PrinterType"_s, type);
}

void StationConfig::setPrintList(bool on)
{
    m_printList = on;
    saveFlag(kStation, u"PrintList"_s, on);
}

void StationConfig::setPrintItem(bool on)
{
    m_printItem = on;
    saveFlag(kStation, u"PrintItem"_s, on);
}

void StationConfig::setOrderForm(bool on)
{
    m_orderForm = on;
    saveFlag(kTickets, u"KPortForm"_s, on);
}

void StationConfig::setShutTime(const QString &text)
{
    m_shutTime = text;
}

void StationConfig::storeShutTime()
{
    // Only a text equal to the clock's "hh:mm" ever restarts the machine; it is kept as typed.
    if (!m_shutTime.trimmed().isEmpty())
        save(kStation, u"ShutTime"_s, m_shutTime);
}

bool StationConfig::readWakeOnCommit() const
{
    return get(kStation, u"WakeOnCommit"_s, u"Y"_s).toUpper() != u"N"_s;
}

} // namespace tavo::core
