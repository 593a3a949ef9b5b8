#include "core/serviceecho.h"

#include "core/kitchenservice.h"
#include "db/connection.h"
#include "platform/echo.h"

using namespace Qt::StringLiterals;

namespace tavo::core {

void echoService(KitchenService &service, EchoMessages messages)
{
    QObject::connect(&service, &KitchenService::announced, &service,
        [name = service.site().values.gExeName](const QString &text) { platform::echoLine(name, text); });
    // A person reading the echo learns once what the order rows' columns are.
    QObject::connect(&service, &KitchenService::orderCaptions, &service,
        [](const QStringList &captions) { platform::echoRow(u"fg1"_s, captions); });
    QObject::connect(&service, &KitchenService::rowListed, &service,
        [](const QStringList &cells) { platform::echoRow(u"fg1"_s, cells); });
    QObject::connect(&service, &KitchenService::activityWritten, &service,
        [](const QStringList &cells) { platform::echoRow(u"fgLog"_s, cells); });
    QObject::connect(&service.site().connection.linkEvents(), &db::LinkEvents::changed, &service,
        [](bool up, const QString &detail) { platform::echoLine(u"gCNT"_s, db::linkEventLine(up, detail)); });
    QObject::connect(&service, &KitchenService::displayAnnounced, &service,
        [](const QString &line) { platform::echoLine(u"kds"_s, line); });
    if (messages == EchoMessages::Yes)
        QObject::connect(&service, &KitchenService::message, &service, [](const QString &text, int) {
            if (!text.isEmpty())
                platform::echoLine(u"elaMsg"_s, text);
        });
}

} // namespace tavo::core
