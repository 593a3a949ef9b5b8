#include "platform/logindrestart.h"

#include <QDBusError>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {

const QString kService = u"org.freedesktop.login1"_s;
const QString kPath = u"/org/freedesktop/login1"_s;
const QString kManager = u"org.freedesktop.login1.Manager"_s;
// logind answers once polkit has; a machine busy at the restart time may take a while.
constexpr int kReplyTimeoutMs = 20000;

QDBusMessage ask(const QDBusConnection &bus, const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, method);
    call.setArguments(arguments);
    call.setInteractiveAuthorizationAllowed(false);
    return bus.call(call, QDBus::Block, kReplyTimeoutMs);
}

bool failedWith(const QDBusMessage &reply, QDBusError::ErrorType type)
{
    return reply.type() == QDBusMessage::ErrorMessage && QDBusError(reply).type() == type;
}

} // namespace

LogindRestart::LogindRestart(const QDBusConnection &bus)
    : m_bus(bus)
{
}

bool LogindRestart::restart(bool reboot, bool force, QString *error)
{
    const QDBusConnection bus = m_bus ? *m_bus : QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        if (error)
            *error = u"no system bus: "_s + bus.lastError().message();
        return false;
    }
    const QString method = reboot ? u"Reboot"_s : u"PowerOff"_s;
    const QString withFlags = method + u"WithFlags"_s;
    QString asked = withFlags;
    QDBusMessage reply = ask(bus, withFlags, { QVariant::fromValue(flags(force)) });
    // Before systemd 257 logind knows no flag to pass a blocking inhibitor, and refuses the
    // request whole; without flags it passes them for root and asks polkit's
    // "...-ignore-inhibit" action for anyone else, which is what a forced restart wants.
    if (force && failedWith(reply, QDBusError::InvalidArgs))
        reply = ask(bus, withFlags, { QVariant::fromValue(quint64(0)) });
    // Before systemd 248 there are no *WithFlags methods; the plain one behaves as flags 0.
    if (failedWith(reply, QDBusError::UnknownMethod)) {
        asked = method;
        reply = ask(bus, method, { false });
    }
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error) {
        const QDBusError refusal(reply);
        *error = asked + u": "_s + refusal.name() + u": "_s + refusal.message();
    }
    return false;
}

} // namespace tavo::platform
