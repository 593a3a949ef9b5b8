#pragma once
// A site folder as the service finds it: TavoC.INI (Big5) naming the database, and the database
// with the POS tables, a menu, two kitchen stations and the business parameters.
#include "db/connection.h"
#include "demo/demoschema.h"

#include <QString>

namespace tavo::demo {

struct SiteOptions {
    // The database; "Provider=SQLite;Data Source=tavo.db" (beside the INI) when empty.
    QString connectionString;
    bool reset = false; // drop the tables (orders included) and write the INI anew
    // A served business day for the shift reports, and the shift table of the service window.
    bool shiftHistory = false;
    QString custName = QStringLiteral("示範餐廳");
    SampleOptions sample;
};

struct SiteReport {
    QString iniFile;
    QString connectionString;
    bool iniWritten = false;
    int rowsWritten = 0;
};

// Makes or refreshes a site. Without reset an existing INI is kept and its GCNT used, and the
// orders stay; missing tables, menu, ports and parameters are added. Throws on failure.
SiteReport initSite(const QString &folder, const SiteOptions &options = {});

// Opens the database of a site folder (GCNT of its TavoC.INI; relative files beside it).
void openSite(const QString &folder, db::Connection &connection);

// The default connection string of a new site.
QString defaultSiteConnection();

} // namespace tavo::demo
