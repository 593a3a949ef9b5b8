#pragma once
// What a station's service works with, built once at start-up and handed down to whatever needs a
// part of it: the site's folders and the values read from its INI and xxPARAM, the main
// connection, and the seams to the machine. A test builds one over its own folder and database.
#include "db/connection.h"
#include "platform/services.h"
#include "util/globals.h"

namespace tavo {

struct Site {
    Globals &values; // <dir>, the log files, the INI's and xxPARAM's values
    db::Connection &connection; // the main connection: scans, parameters, the port grid, the wake
    platform::Services &services; // the clock, message boxes, the settings store, the restart
};

} // namespace tavo
