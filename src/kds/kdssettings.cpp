#include "kds/kdssettings.h"

#include "platform/services.h"

using namespace Qt::StringLiterals;

namespace tavo::kds {

namespace {

int minutes(const QString &text, int fallback)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

bool flag(const QString &text)
{
    const QString value = text.toUpper();
    return value == u"1"_s || value == u"Y"_s || value == u"YES"_s || value == u"TRUE"_s;
}

} // namespace

KdsSettings readKdsSettings(const platform::SettingsStore &store)
{
    const auto value = [&](const QString &key) { return store.get(u"Tavo3"_s, u"KDS"_s, key).trimmed(); };
    KdsSettings s;
    bool ok = false;
    const uint port = value(u"PORT"_s).toUInt(&ok);
    if (ok && port > 0 && port <= 65535)
        s.port = quint16(port);
    if (const QString address = value(u"ADDRESS"_s); !address.isEmpty())
        s.address = address;
    s.pin = value(u"PIN"_s);
    s.certificate = value(u"CERT"_s);
    s.privateKey = value(u"KEY"_s);
    s.amberMinutes = minutes(value(u"AMBERMINUTES"_s), s.amberMinutes);
    s.redMinutes = minutes(value(u"REDMINUTES"_s), s.redMinutes);
    s.crossOffBumps = flag(value(u"CROSSOFFBUMPS"_s));
    s.slowestDishes = flag(value(u"SLOWDISHES"_s));
    return s;
}

} // namespace tavo::kds
