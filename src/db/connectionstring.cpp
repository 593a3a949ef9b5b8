#include "db/connectionstring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

#ifdef TAVO_HAVE_ODBCINST
#include <odbcinst.h>
#endif

using namespace Qt::StringLiterals;

namespace tavo::db {

namespace {

// One "key=value" part as found in the text, with the span of its raw value so that the
// password mask can rewrite the string without touching anything else.
struct Token {
    QString key;
    QString value;
    qsizetype rawBegin = 0; // first character of the value as written (quote included)
    qsizetype rawEnd = 0; // one past its last character
    QChar quote; // '"', '\'', '{' or null
};

struct Scan {
    QVector<Token> tokens;
    QString error; // the first fault met; scanning goes on past it
};

Scan scan(const QString &text)
{
    Scan result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto fail = [&](const QString &message) {
        if (result.error.isEmpty())
            result.error = message;
    };
    while (i < n) {
        while (i < n && (text[i].isSpace() || text[i] == u';'))
            ++i;
        if (i >= n)
            break;
        const qsizetype keyBegin = i;
        while (i < n && text[i] != u'=' && text[i] != u';')
            ++i;
        const QString key = text.mid(keyBegin, i - keyBegin).trimmed();
        if (i >= n || text[i] == u';') {
            fail(u"the part \"%1\" has no \"=\""_s.arg(key));
            continue;
        }
        if (key.isEmpty())
            fail(u"a value without a key at position %1"_s.arg(keyBegin + 1));
        ++i; // '='
        while (i < n && text[i].isSpace() && text[i] != u'\n')
            ++i;
        Token token;
        token.key = key;
        token.rawBegin = i;
        if (i < n && (text[i] == u'"' || text[i] == u'\'' || text[i] == u'{')) {
            const QChar open = text[i];
            const QChar close = open == u'{' ? u'}' : open;
            token.quote = open;
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == close) {
                    if (i + 1 < n && text[i + 1] == close) { // doubled: the character itself
                        token.value += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                token.value += text[i++];
            }
            token.rawEnd = i;
            if (!closed)
                fail(u"the value of \"%1\" has no closing %2"_s.arg(key, QString(close)));
            while (i < n && text[i] != u';') {
                if (!text[i].isSpace())
                    fail(u"unexpected text after the quoted value of \"%1\""_s.arg(key));
                ++i;
            }
        } else {
            const qsizetype valueBegin = i;
            while (i < n && text[i] != u';')
                ++i;
            qsizetype valueEnd = i;
            while (valueEnd > valueBegin && text[valueEnd - 1].isSpace())
                --valueEnd;
            token.value = text.mid(valueBegin, valueEnd - valueBegin);
            token.rawEnd = valueEnd;
        }
        result.tokens.append(token);
    }
    return result;
}

bool sameKey(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

[[noreturn]] void refuse(const QString &description, qint64 number = kErrBadConnectionString)
{
    throw DbError(number, description);
}

// Windows paths in the INI ("data\tavo.db") work here too; relative names hang off <dir>.
QString siteFile(QString file, const QString &appDir)
{
    file = file.trimmed();
    file.replace(u'\\', u'/');
    if (QDir::isAbsolutePath(file))
        return QDir::cleanPath(file);
    const QString base = appDir.isEmpty() ? QDir::currentPath() : appDir;
    return QDir::cleanPath(QDir(base).filePath(file));
}

QString findDriver(const QStringList &drivers, const QString &part)
{
    for (const QString &name : drivers)
        if (name.contains(part, Qt::CaseInsensitive))
            return name;
    return {};
}

bool isTrue(const QString &value)
{
    const QString v = value.trimmed().toLower();
    return v == u"sspi"_s || v == u"true"_s || v == u"yes"_s;
}

const QStringList kServerKeys { u"Data Source"_s, u"Server"_s, u"Address"_s, u"Addr"_s, u"Network Address"_s,
    u"Host"_s };
const QStringList kDatabaseKeys { u"Initial Catalog"_s, u"Database"_s };
const QStringList kUserKeys { u"User ID"_s, u"UID"_s, u"User"_s, u"User Name"_s, u"Username"_s };
const QStringList kPasswordKeys { u"Password"_s, u"PWD"_s };

QString odbcLoginTimeout(int seconds)
{
    return seconds > 0 ? u"SQL_ATTR_LOGIN_TIMEOUT=%1"_s.arg(seconds) : QString();
}

void requireOdbcDriver(const QStringList &drivers, const QString &name, const QString &purpose)
{
    if (drivers.isEmpty())
        return; // the list could not be read; let the driver manager speak for itself
    for (const QString &d : drivers)
        if (sameKey(d, name))
            return;
    refuse(u"The ODBC driver \"%1\" is not installed (%2)"_s.arg(name, purpose), kErrProviderNotFound);
}

void translateSqlite(const ConnectionString &cs, int timeout, const QString &appDir, DriverTarget &t)
{
    const QString file = cs.value(QStringList { u"Data Source"_s, u"Database"_s }).trimmed();
    if (file.isEmpty())
        refuse(u"The connection string names no database file (Data Source)"_s);
    t.driver = u"QSQLITE"_s;
    if (file == u":memory:"_s) {
        t.databaseName = file;
    } else {
        t.databaseName = siteFile(file, appDir);
        t.sqliteFile = true;
    }
    // The POS feed writes while the service reads: wait for its locks instead of failing at once.
    const int busyMs = timeout > 0 ? timeout * 1000 : 24 * 3600 * 1000;
    t.connectOptions = u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(busyMs);
}

// "host:port", "[v6]:port" or a bare host.
void splitHostPort(QString server, QChar separator, QString &host, int &port)
{
    server = server.trimmed();
    if (server.startsWith(u"tcp:"_s, Qt::CaseInsensitive))
        server = server.mid(4);
    host = server;
    const qsizetype at = server.lastIndexOf(separator);
    if (at > 0 && (separator != u':' || !server.left(at).contains(u':') || server.startsWith(u'['))) {
        bool ok = false;
        const int p = server.mid(at + 1).trimmed().toInt(&ok);
        if (ok) {
            host = server.left(at).trimmed();
            port = p;
        }
    }
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
}

int portValue(const ConnectionString &cs, int fallback)
{
    const QString text = cs.value(u"Port"_s).trimmed();
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        refuse(u"The port \"%1\" is not a port number"_s.arg(text));
    return port;
}

void translatePostgres(const ConnectionString &cs, int timeout, DriverTarget &t)
{
    t.driver = u"QPSQL"_s;
    splitHostPort(cs.value(kServerKeys), u':', t.hostName, t.port);
    t.port = portValue(cs, t.port);
    t.databaseName = cs.value(kDatabaseKeys).trimmed();
    t.userName = cs.value(kUserKeys).trimmed();
    t.password = cs.value(kPasswordKeys);
    QStringList options;
    if (timeout > 0)
        options << u"connect_timeout=%1"_s.arg(qMax(timeout, 2)); // libpq's own floor is 2 s
    options << u"application_name=TavoKPortSrv"_s;
    // A server gone silent (a cable pulled, a router down) ends a statement within half a
    // minute, not after the system's quarter of an hour of retries, so the link can be opened
    // again; an idle link is checked the same way.
    options << u"keepalives_idle=30"_s << u"keepalives_interval=10"_s << u"keepalives_count=3"_s
            << u"tcp_user_timeout=30000"_s;
    // Sites that keep the POS tables in their own schema name it here.
    const QString searchPath = cs.value(QStringList { u"Search Path"_s, u"SearchPath"_s }).trimmed();
    if (!searchPath.isEmpty()) {
        static const QRegularExpression names(
            u"^[A-Za-z_][A-Za-z0-9_$]*(\\s*,\\s*[A-Za-z_][A-Za-z0-9_$]*)*$"_s);
        if (!names.match(searchPath).hasMatch())
            refuse(u"The Search Path \"%1\" is not a list of schema names"_s.arg(searchPath));
        options << u"options='-csearch_path=%1'"_s.arg(QString(searchPath).remove(u' '));
    }
    t.connectOptions = options.join(u';');
}

void translateSqlServer(const ConnectionString &cs, int timeout, const QStringList &drivers, DriverTarget &t)
{
    if (isTrue(cs.value(u"Integrated Security"_s)) || isTrue(cs.value(u"Trusted_Connection"_s)))
        refuse(u"Integrated Security (Windows authentication) is not available here: "
               "give User ID and Password in the connection string"_s);
    QString host;
    int port = -1;
    splitHostPort(cs.value(kServerKeys), u',', host, port);
    port = portValue(cs, port);
    if (host.isEmpty())
        refuse(u"The connection string names no SQL Server (Data Source)"_s);
    if (host == u"(local)"_s || host == u"."_s || host.startsWith(u".\\"_s)
        || host.startsWith(u"(local)\\"_s))
        host = u"127.0.0.1"_s + host.mid(host.indexOf(u'\\') < 0 ? host.size() : host.indexOf(u'\\'));
    const QString driver = findDriver(drivers, u"FreeTDS"_s);
    if (driver.isEmpty() && !drivers.isEmpty())
        refuse(u"The FreeTDS ODBC driver (for SQL Server) is not installed"_s, kErrProviderNotFound);
    QStringList parts { u"DRIVER={%1}"_s.arg(driver.isEmpty() ? u"FreeTDS"_s : driver),
        u"SERVER="_s + odbcValue(host) };
    parts << u"PORT=%1"_s.arg(port > 0 ? port : 1433);
    const QString database = cs.value(kDatabaseKeys).trimmed();
    if (!database.isEmpty())
        parts << u"DATABASE="_s + odbcValue(database);
    parts << u"UID="_s + odbcValue(cs.value(kUserKeys).trimmed())
          << u"PWD="_s + odbcValue(cs.value(kPasswordKeys)) << u"TDS_Version=7.4"_s;
    t.driver = u"QODBC"_s;
    t.databaseName = parts.join(u';');
    t.connectOptions = odbcLoginTimeout(timeout);
}

// MSDASQL hands the string to the ODBC driver manager; only ADO's own names are translated.
void translateOdbc(const ConnectionString &cs, int timeout, const QStringList &drivers, DriverTarget &t)
{
    const QString extended = cs.value(u"Extended Properties"_s);
    const ConnectionString source = extended.trimmed().isEmpty() ? cs : ConnectionString::parse(extended);
    static const QList<QPair<QString, QString>> renames { { u"Data Source"_s, u"DSN"_s },
        { u"User ID"_s, u"UID"_s }, { u"Password"_s, u"PWD"_s }, { u"Initial Catalog"_s, u"DATABASE"_s } };
    static const QStringList adoOnly { u"Provider"_s, u"Extended Properties"_s, u"Persist Security Info"_s,
        u"Connect Timeout"_s, u"Mode"_s, u"Prompt"_s };
    QStringList parts;
    bool hasTarget = false;
    for (const ConnectionString::Property &p : source.properties()) {
        if (std::any_of(adoOnly.begin(), adoOnly.end(), [&](const QString &k) { return sameKey(k, p.key); }))
            continue;
        QString key = p.key;
        for (const auto &[from, to] : renames)
            if (sameKey(key, from))
                key = to;
        if (sameKey(key, u"DRIVER"_s)) {
            requireOdbcDriver(drivers, p.value.trimmed(), u"named by the connection string"_s);
            parts << key + u"={"_s + QString(p.value.trimmed()).replace(u"}"_s, u"}}"_s) + u'}';
            hasTarget = true;
            continue;
        }
        if (sameKey(key, u"DSN"_s) || sameKey(key, u"FILEDSN"_s))
            hasTarget = hasTarget || !p.value.trimmed().isEmpty();
        parts << key + u'=' + odbcValue(p.value);
    }
    if (!hasTarget)
        refuse(u"The ODBC connection string names neither a DSN (Data Source) nor a Driver"_s);
    t.driver = u"QODBC"_s;
    t.databaseName = parts.join(u';');
    t.connectOptions = odbcLoginTimeout(timeout);
}

void translateAccess(const ConnectionString &cs, int timeout, const QString &appDir,
    const QStringList &drivers, DriverTarget &t)
{
    const QString written = cs.value(u"Data Source"_s).trimmed();
    if (written.isEmpty())
        refuse(u"The connection string names no Access database file (Data Source)"_s);
    const QString file = siteFile(written, appDir);
    const QString driver = findDriver(drivers, u"MDBTools"_s);
    if (driver.isEmpty())
        refuse(u"The MDBTools ODBC driver (for Access databases) is not installed; cannot open "_s + file,
            kErrProviderNotFound);
    if (!QFileInfo(file).isFile())
        refuse(u"Could not find file '%1'"_s.arg(file));
    t.driver = u"QODBC"_s;
    t.databaseName = u"DRIVER={%1};DBQ=%2"_s.arg(driver, odbcValue(file));
    t.connectOptions = odbcLoginTimeout(timeout);
}

void translateOracle(const ConnectionString &cs, int timeout, const QStringList &drivers, DriverTarget &t)
{
    const QString driver = findDriver(drivers, u"Oracle"_s);
    if (driver.isEmpty())
        refuse(u"Oracle ODBC driver not installed (needed for Provider=%1)"_s.arg(t.provider),
            kErrProviderNotFound);
    const QString service = cs.value(u"Data Source"_s).trimmed();
    if (service.isEmpty())
        refuse(u"The connection string names no Oracle service (Data Source)"_s);
    t.driver = u"QODBC"_s;
    t.databaseName = u"DRIVER={%1};DBQ=%2;UID=%3;PWD=%4"_s.arg(driver, odbcValue(service),
        odbcValue(cs.value(kUserKeys).trimmed()), odbcValue(cs.value(kPasswordKeys)));
    t.connectOptions = odbcLoginTimeout(timeout);
}

} // namespace

ConnectionString ConnectionString::parse(const QString &text)
{
    const Scan s = scan(text);
    if (!s.error.isEmpty())
        refuse(u"The connection string is not valid: "_s + s.error);
    ConnectionString result;
    for (const Token &t : s.tokens)
        result.m_properties.append({ t.key, t.value });
    return result;
}

bool ConnectionString::contains(const QString &key) const
{
    return std::any_of(
        m_properties.begin(), m_properties.end(), [&](const Property &p) { return sameKey(p.key, key); });
}

QString ConnectionString::value(const QStringList &keys) const
{
    for (const QString &key : keys) // the first synonym present wins; within it, the last mention
        for (auto it = m_properties.rbegin(); it != m_properties.rend(); ++it)
            if (sameKey(it->key, key))
                return it->value;
    return {};
}

QString odbcValue(const QString &value)
{
    static const QRegularExpression special(u"[;{}=]|^\\s|\\s$"_s);
    if (!value.contains(special))
        return value;
    return u'{' + QString(value).replace(u"}"_s, u"}}"_s) + u'}';
}

DriverTarget translateConnectionString(const QString &connectionString, int connectionTimeoutSeconds,
    const QString &appDir, const QStringList &odbcDrivers)
{
    const ConnectionString cs = ConnectionString::parse(connectionString);
    if (cs.isEmpty())
        refuse(u"The connection string is empty"_s);
    DriverTarget t;
    t.provider = cs.value(u"Provider"_s).trimmed();
    t.dataSource = cs.value(u"Data Source"_s);
    if (t.provider.isEmpty()) {
        // ADO's default provider is the ODBC bridge.
        if (cs.contains(u"DSN"_s) || cs.contains(u"Driver"_s) || cs.contains(u"FILEDSN"_s)
            || cs.contains(u"Data Source"_s))
            t.provider = u"MSDASQL"_s;
        else
            refuse(u"The connection string names no Provider"_s, kErrProviderNotFound);
    }
    const QString p = t.provider.toUpper();
    if (p.startsWith(u"SQLITE"_s))
        translateSqlite(cs, connectionTimeoutSeconds, appDir, t);
    else if (p.startsWith(u"POSTGRES"_s))
        translatePostgres(cs, connectionTimeoutSeconds, t);
    else if (p.startsWith(u"SQLOLEDB"_s))
        translateSqlServer(cs, connectionTimeoutSeconds, odbcDrivers, t);
    else if (p.startsWith(u"MSDASQL"_s))
        translateOdbc(cs, connectionTimeoutSeconds, odbcDrivers, t);
    else if (p.startsWith(u"MICROSOFT.JET.OLEDB"_s) || p.startsWith(u"MICROSOFT.ACE.OLEDB"_s))
        translateAccess(cs, connectionTimeoutSeconds, appDir, odbcDrivers, t);
    else if (p.startsWith(u"MSDAORA"_s))
        translateOracle(cs, connectionTimeoutSeconds, odbcDrivers, t);
    else
        refuse(u"Provider cannot be found: \"%1\" (known here: SQLite, PostgreSQL, SQLOLEDB, MSDASQL, "
               "Microsoft.Jet.OLEDB.4.0, MSDAORA)"_s.arg(t.provider),
            kErrProviderNotFound);
    return t;
}

QStringList installedOdbcDrivers()
{
    QStringList names;
#ifdef TAVO_HAVE_ODBCINST
    QByteArray buffer(64 * 1024, '\0');
    WORD used = 0;
    if (SQLGetInstalledDrivers(buffer.data(), WORD(buffer.size() - 1), &used)) {
        // Names separated by NUL, the list ended by an empty name.
        for (const QByteArray &name : buffer.left(used).split('\0'))
            if (!name.isEmpty())
                names << QString::fromLocal8Bit(name);
    }
#endif
    if (names.isEmpty()) {
        QString dir = qEnvironmentVariable("ODBCSYSINI");
        if (dir.isEmpty())
            dir = u"/etc"_s;
        QFile file(dir + u"/odbcinst.ini"_s);
        if (file.open(QIODevice::ReadOnly)) {
            static const QRegularExpression section(u"^\\s*\\[([^\\]]+)\\]"_s);
            for (const QByteArray &line : file.readAll().split('\n')) {
                const auto m = section.match(QString::fromLocal8Bit(line));
                if (m.hasMatch() && m.captured(1).compare(u"ODBC"_s, Qt::CaseInsensitive) != 0
                    && m.captured(1).compare(u"ODBC Drivers"_s, Qt::CaseInsensitive) != 0)
                    names << m.captured(1).trimmed();
            }
        }
    }
    names.removeDuplicates();
    return names;
}

QString maskPassword(const QString &connectionString)
{
    try {
        const Scan s = scan(connectionString);
        QString out = connectionString;
        // Right to left, so earlier spans keep their positions.
        for (auto it = s.tokens.rbegin(); it != s.tokens.rend(); ++it) {
            QString replacement;
            // Jet's "Jet OLEDB:Database Password" and its kin are secrets as much as Password.
            if (sameKey(it->key, u"PWD"_s)
                || it->key.trimmed().endsWith(u"Password"_s, Qt::CaseInsensitive)) {
                replacement = u"***"_s;
            } else if (sameKey(it->key, u"Extended Properties"_s) && !it->quote.isNull()) {
                const QChar close = it->quote == u'{' ? u'}' : it->quote;
                const QString inner = maskPassword(it->value);
                if (inner == it->value)
                    continue;
                replacement = it->quote + QString(inner).replace(close, QString(2, close)) + close;
            } else {
                continue;
            }
            out.replace(it->rawBegin, it->rawEnd - it->rawBegin, replacement);
        }
        return out;
    } catch (...) {
        return u"***"_s; // never let a secret out because the mask itself stumbled
    }
}

} // namespace tavo::db
