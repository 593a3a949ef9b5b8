#include "benchdata.h"

#include "db/connection.h"
#include "demo/demoschema.h"
#include "demo/rowgenerator.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace tavo::bench {

QString millionRowDatabase()
{
    const QString path = QStringLiteral(TAVO_BENCH_DATA_DIR) + u"/orderi_1m.db"_s;
    if (QFile::exists(path))
        return path;
    // Built under another name and renamed, so an interrupted build is never taken for the table.
    const QString building = path + u".part"_s;
    QFile::remove(building);
    {
        db::Connection cnt;
        cnt.setCreateIfMissing(true);
        cnt.open(u"Provider=SQLite;Data Source="_s + building);
        demo::createSchema(cnt);
        demo::RowOptions options;
        options.rows = 1000000;
        options.lastDay = kBenchLastDay;
        demo::generateRows(cnt, options);
        cnt.execute(u"ANALYZE"_s);
    }
    QFile::rename(building, path);
    return path;
}

} // namespace tavo::bench
