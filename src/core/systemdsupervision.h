#pragma once
// The kitchen service as a systemd unit of Type=notify with a watchdog: READY=1 once it has
// loaded, the keep-alive while its event loop turns, STATUS= with the last scan's time and rows,
// STOPPING=1 when it ends. Outside such a unit nothing is sent.

namespace tavo::core {

class KitchenService;

// Binds systemd's notifications to a loaded service, for as long as the service lives.
void superviseBySystemd(KitchenService &service);

} // namespace tavo::core
