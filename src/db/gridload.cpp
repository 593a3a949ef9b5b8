#include "db/gridload.h"

#include "db/connection.h"
#include "platform/gridmodel.h"
#include "util/report.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace tavo::db {

bool FGLoad(platform::GridModel &grid, const QString &pvSQL, Connection &cnt, int *rowCount)
{
    bool loaded = false;
    try {
        Recordset rs = cnt.openRecordset(pvSQL);
        grid.setRedraw(false);
        grid.setRows(grid.FixedRows());
        if (rs.isOpen() && !rs.eof()) {
            const int fields = rs.fieldCount();
            grid.setCols(fields);
            int records = 0;
            // Cells go in as they are, not joined with tabs and split again: a value holding a
            // tab must not push the fields after it into the wrong columns.
            QStringList cells;
            while (!rs.eof()) {
                cells.clear();
                for (int i = 0; i < fields; ++i)
                    cells.append(rs.text(i));
                grid.addRow(cells);
                ++records;
                rs.moveNext();
            }
            loaded = true;
            if (rowCount)
                *rowCount = records + 1;
        }
    } catch (...) {
        ShowErrMsg(QString(tags::FGLoad) + u"\r\n"_s + u"pvSQL:"_s + pvSQL);
        loaded = false;
    }
    grid.setRedraw(true);
    if (grid.Rows() > grid.FixedRows())
        grid.setRow(1);
    return loaded;
}

} // namespace tavo::db
