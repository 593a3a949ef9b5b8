#include "core/serviceecho.h"

#include "core/kitchenservice.h"
#include "platform/echo.h"

using namespace Qt::StringLiterals;

namespace tavo::core {

void echoService(KitchenService &service, EchoMessages messages)
{
    QObject::connect(&service, &KitchenService::announced, &service,
        [name = service.site().values.gExeName](const QString &text) { platform::echoLine(name, text); });
    QObject::connect(&service, &KitchenService::activityWritten, &service,
        [](const QStringList &cells) { platform::echoRow(u"fgLog"_s, cells); });
    if (messages == EchoMessages::Yes)
        QObject::connect(&service, &KitchenService::message, &service, [](const QString &text, int) {
            if (!text.isEmpty())
                platform::echoLine(u"elaMsg"_s, text);
        });
}

} // namespace tavo::core
