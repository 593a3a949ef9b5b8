#pragma once
// The echo as a view of the service: what the service announces (its load, its end, the kitchen
// display's address), the order rows it lists, every row of its activity list and the events of
// its database link, written as platform/echo.h writes any operator-visible event. Nothing is
// echoed where nothing is bound: a library or a test that runs a scan on its own stays silent.
#include <QObject>

namespace tavo::core {

class KitchenService;

// Whether the service's messages are echoed too: a window echoes its message panel itself, a
// run without a window has no other place to say them.
enum class EchoMessages { No, Yes };

// Binds the echo to `service`'s signals for the service's life.
void echoService(KitchenService &service, EchoMessages messages);

} // namespace tavo::core
