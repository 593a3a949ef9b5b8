#pragma once
// An ORDERI to watch, on SQLite (a file in the test's folder) or on the PostgreSQL server of
// ./test.sh (its own schema, so other tests' tables are left alone), built from the demo schema.
#include "db/connection.h"
#include "demo/demoschema.h"
#include "support/test_environment.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <memory>

namespace tavo::test {

enum class Server { SQLite, PostgreSQL };

inline const char *serverName(Server server)
{
    return server == Server::SQLite ? "SQLite" : "PostgreSQL";
}

class OrderTable {
public:
    // Opens `connection` on a fresh ORDERI of the given server. `sqliteFile` is used for SQLite.
    OrderTable(db::Connection &connection, Server server, const QString &sqliteFile);
    ~OrderTable();

    struct Row {
        qint64 rno = 0;
        QVariant port = QStringLiteral("PK");
        QVariant itemName = QStringLiteral("牛肉麵");
        QVariant remark;
        QVariant updDate; // a QDateTime marks the row changed
        QVariant opDate; // a QDateTime closes the row
        bool nullsEverywhere = false; // NULL in every listed column but RNo and KPort
    };
    void insert(const Row &row);
    void insert(qint64 rno, const QString &port = QStringLiteral("PK"));
    void close(qint64 rno); // OPDate set
    void change(qint64 rno); // UpdDate set
    void removePort(const QString &port);
    void execute(const QString &sql);
    // PostgreSQL only: the server ends the connection's session, as a restart would.
    void cutLink();

    // Breaks the listing query (and only it) and mends it again.
    void breakListing();
    void mendListing();

private:
    db::Connection &m_cnt;
    Server m_server;
};

} // namespace tavo::test
