#include "platform/db/ConnectionString.h"

#include "platform/db/DbError.h"

#include <QRegularExpression>

namespace tunnel::db {
namespace {

// Error texts name positions and the keys this parser knows, never a piece of the text itself:
// in a malformed string any piece may hold a password.
QString malformed(const QString& what) {
    return QStringLiteral("连接字符串格式错误：%1。").arg(what);
}

QString atPosition(qsizetype pos) {
    return QStringLiteral("第 %1 个字符处").arg(pos + 1);
}

// A provider name is echoed only when it looks like one (a word such as "Oracle" or
// "SQLNCLI11.1"), so that "PostgreSQL Password=..." with a missing ";" shows no password.
bool looksLikeProviderName(const QString& provider) {
    if (provider.size() > 32) {
        return false;
    }
    for (const QChar c : provider) {
        if (!(c.isLetterOrNumber() || c == u'.' || c == u'_' || c == u'-')) {
            return false;
        }
    }
    return true;
}

// Reads one value starting at `pos`; leaves `pos` on the ";" that ends it (or at the end).
QString readValue(const QString& text, qsizetype& pos) {
    while (pos < text.size() && text[pos].isSpace()) {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == u'"' || text[pos] == u'\'')) {
        const qsizetype opening = pos;
        const QChar quote = text[pos++];
        QString value;
        for (;;) {
            if (pos >= text.size()) {
                throw DbError(
                    malformed(atPosition(opening) + QStringLiteral("的引号没有结束引号")));
            }
            if (text[pos] == quote) {
                if (pos + 1 < text.size() && text[pos + 1] == quote) {
                    value.append(quote);
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            value.append(text[pos++]);
        }
        while (pos < text.size() && text[pos].isSpace()) {
            ++pos;
        }
        if (pos < text.size() && text[pos] != u';') {
            throw DbError(
                malformed(atPosition(pos) + QStringLiteral("在引号括起的值之后还有文字")));
        }
        return value;
    }
    const qsizetype end = text.indexOf(u';', pos);
    const qsizetype stop = end < 0 ? text.size() : end;
    QString value = text.mid(pos, stop - pos).trimmed();
    pos = stop;
    return value;
}

Engine engineOfProvider(const QString& provider) {
    const QString p = provider.trimmed().toLower();
    if (p == u"sqlite")
        return Engine::SQLite;
    if (p == u"postgresql" || p == u"postgres")
        return Engine::PostgreSQL;
    if (p == u"sqloledb" || p.startsWith(u"sqloledb.") || p.startsWith(u"sqlncli") ||
        p.startsWith(u"msoledbsql") || p == u"sqlserver") {
        return Engine::SqlServer;
    }
    if (p.isEmpty()) {
        throw DbError(QStringLiteral("连接字符串没有指定数据库提供程序（Provider）。"));
    }
    const QString known = QStringLiteral(
        "可用的是 SQLite、PostgreSQL 和 SQL Server（SQLOLEDB、SQLNCLI、MSOLEDBSQL、SQLServer）。");
    if (!looksLikeProviderName(provider.trimmed())) {
        throw DbError(QStringLiteral("连接字符串中的数据库提供程序（Provider）无法识别；") + known);
    }
    throw DbError(QStringLiteral("连接字符串中的数据库提供程序“%1”未知；").arg(provider.trimmed()) +
                  known);
}

int parsePort(const QString& text, const QString& key) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        throw DbError(malformed(QStringLiteral("“%1”的端口号无效（应为 1 至 65535）").arg(key)));
    }
    return port;
}

// "db1[,db2...]", each name without the blanks around it (libpq would look up " db2"); an
// empty one would send libpq to a local socket instead of the server meant.
QString parseHosts(const QString& text) {
    QStringList hosts;
    for (const QString& part : text.split(u',')) {
        const QString host = part.trimmed();
        if (host.isEmpty()) {
            throw DbError(malformed(QStringLiteral("“Host”中有空的服务器名")));
        }
        hosts.append(host);
    }
    return hosts.join(u',');
}

// One port for every server, or one a server: "5432" or "5432,5433".
QString parsePorts(const QString& text, qsizetype servers) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 1 && parts.size() != servers) {
        throw DbError(malformed(QStringLiteral("“Port”应给出一个端口，或每个“Host”一个端口")));
    }
    QStringList ports;
    for (const QString& part : parts) {
        ports.append(QString::number(parsePort(part.trimmed(), QStringLiteral("Port"))));
    }
    return ports.join(u',');
}

// "db2[:port][,db3...]"
QStringList parseStandbys(const QString& text) {
    QStringList standbys;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        const QString standby = part.trimmed();
        const qsizetype colon = standby.lastIndexOf(u':');
        if (standby.isEmpty() || colon == 0) {
            throw DbError(malformed(QStringLiteral("“Standby”的服务器名无效")));
        }
        if (colon > 0) {
            parsePort(standby.mid(colon + 1), QStringLiteral("Standby"));
        }
        standbys.append(standby);
    }
    return standbys;
}

// A number of seconds from `least` to `most`, the value of `key`.
int parseSeconds(const QString& text, const QString& key, int least, int most) {
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    if (!ok || seconds < least || seconds > most) {
        throw DbError(malformed(
            QStringLiteral("“%1”的值无效（应为 %2 至 %3 秒）").arg(key).arg(least).arg(most)));
    }
    return seconds;
}

// "Pooler=transaction" (or "statement"): the sessions go through a pooler that hands the server's
// sessions round at each transaction's end; "session" or none: a session is the module's own.
bool parsePooledTransactions(const QString& text) {
    const QString mode = text.trimmed().toLower();
    if (mode.isEmpty() || mode == u"session" || mode == u"none") {
        return false;
    }
    if (mode == u"transaction" || mode == u"statement") {
        return true;
    }
    throw DbError(
        malformed(QStringLiteral("“Pooler”的值无效（应为 transaction、statement 或 session）")));
}

QString required(const QMap<QString, QString>& pairs, const QString& key, const QString& label) {
    QString value = pairs.value(key).trimmed();
    if (value.isEmpty()) {
        throw DbError(QStringLiteral("连接字符串缺少“%1”。").arg(label));
    }
    return value;
}

}  // namespace

QMap<QString, QString> parseConnectionPairs(const QString& text) {
    QMap<QString, QString> pairs;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype separator = text.indexOf(u';', pos);
        const qsizetype equals = text.indexOf(u'=', pos);
        if (equals < 0 || (separator >= 0 && separator < equals)) {
            const qsizetype stop = separator < 0 ? text.size() : separator;
            if (!text.mid(pos, stop - pos).trimmed().isEmpty()) {
                throw DbError(malformed(atPosition(pos) + QStringLiteral("的内容不是“键=值”")));
            }
            pos = stop + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed();
        if (key.isEmpty()) {
            throw DbError(malformed(atPosition(equals) + QStringLiteral("的值没有键")));
        }
        pos = equals + 1;
        pairs.insert(key.toLower(), readValue(text, pos));
        ++pos;
    }
    return pairs;
}

ConnectionSettings ConnectionSettings::parse(const QString& text) {
    const QMap<QString, QString> pairs = parseConnectionPairs(text);
    const QString password =
        pairs.value(QStringLiteral("password"), pairs.value(QStringLiteral("pwd")));
    try {
        ConnectionSettings settings = settingsOf(pairs, password);
        settings.hideValuesHoldingPasswords(text);
        return settings;
    } catch (const DbError& error) {
        // A provider name is echoed, and a password may read like one.
        if (!password.isEmpty() && error.message().contains(password)) {
            throw DbError(QString(error.message()).replace(password, QStringLiteral("***")));
        }
        throw;
    }
}

ConnectionSettings ConnectionSettings::settingsOf(const QMap<QString, QString>& pairs,
                                                  const QString& password) {
    ConnectionSettings s;
    s.provider = pairs.value(QStringLiteral("provider")).trimmed();
    s.engine = engineOfProvider(s.provider);
    s.user = pairs.value(QStringLiteral("user id"), pairs.value(QStringLiteral("uid")));
    s.password = password;
    if (pairs.contains(QStringLiteral("lock timeout"))) {
        s.lockTimeoutSeconds = parseSeconds(pairs.value(QStringLiteral("lock timeout")),
                                            QStringLiteral("Lock Timeout"), 1, 600);
    }
    switch (s.engine) {
        case Engine::SQLite:
            s.file = required(pairs, QStringLiteral("data source"), QStringLiteral("Data Source"));
            break;
        case Engine::PostgreSQL:
            s.host = parseHosts(pairs.value(QStringLiteral("host"), QStringLiteral("localhost")));
            s.ports = parsePorts(pairs.value(QStringLiteral("port"), QStringLiteral("5432")),
                                 s.host.count(u',') + 1);
            s.port = s.ports.section(u',', 0, 0).toInt();
            s.database = required(pairs, QStringLiteral("database"), QStringLiteral("Database"));
            s.standbys = parseStandbys(pairs.value(QStringLiteral("standby")));
            if (pairs.contains(QStringLiteral("maxlag"))) {
                s.maxLagSeconds = parseSeconds(pairs.value(QStringLiteral("maxlag")),
                                               QStringLiteral("MaxLag"), 0, 86400);
            }
            s.readsFromStandby =
                pairs.value(QStringLiteral("reads from standby")).trimmed() == u"1" &&
                !s.standbys.isEmpty();
            s.pooledTransactions = parsePooledTransactions(pairs.value(QStringLiteral("pooler")));
            break;
        case Engine::SqlServer: {
            const QString source =
                required(pairs, QStringLiteral("data source"), QStringLiteral("Data Source"));
            const qsizetype comma = source.indexOf(u',');
            s.server = comma < 0 ? source : source.left(comma).trimmed();
            if (comma >= 0) {
                s.port = parsePort(source.mid(comma + 1).trimmed(), QStringLiteral("Data Source"));
            }
            s.database = pairs.value(QStringLiteral("initial catalog")).trimmed();
            break;
        }
    }
    return s;
}

void ConnectionSettings::hideValuesHoldingPasswords(const QString& text) {
    static const QRegularExpression passwordKey(QStringLiteral("(password|pwd)\\s*="),
                                                QRegularExpression::CaseInsensitiveOption);
    if (!password.isEmpty()) {
        secrets.append(password);
    }
    const std::pair<QString*, const char*> values[] = {
        {&file, "Data Source"},
        {&server, "Data Source"},
        {&host, "Host"},
        {&database, engine == Engine::SqlServer ? "Initial Catalog" : "Database"}};
    for (const auto& [value, key] : values) {
        if (!value->isEmpty() && passwordKey.match(*value).hasMatch()) {
            hiddenValues.insert(QString::fromLatin1(key),
                                atPosition(std::max<qsizetype>(text.indexOf(*value), 0)));
            secrets.append(*value);
        }
    }
}

QString ConnectionSettings::shown(const QString& value, const QString& key) const {
    if (!hiddenValues.contains(key)) {
        return value;
    }
    return QStringLiteral("（“%1”的值从%2起含有密码，不予显示；可能缺少“;”）")
        .arg(key, hiddenValues.value(key));
}

QString ConnectionSettings::describe() const {
    switch (engine) {
        case Engine::SQLite:
            return QStringLiteral("SQLite 数据库“%1”")
                .arg(shown(file, QStringLiteral("Data Source")));
        case Engine::PostgreSQL:
            return QStringLiteral("PostgreSQL 数据库“%1”（%2:%3）")
                .arg(shown(database, QStringLiteral("Database")),
                     shown(host, QStringLiteral("Host")), ports);
        case Engine::SqlServer:
            return QStringLiteral("SQL Server 数据库“%1”（%2）")
                .arg(shown(database, QStringLiteral("Initial Catalog")),
                     shown(server, QStringLiteral("Data Source")));
    }
    return {};
}

QString ConnectionSettings::scrub(QString text) const {
    for (const QString& secret : secrets) {
        text.replace(secret, QStringLiteral("***"));
    }
    return text;
}

namespace {

QString odbcValue(QString value) {
    return u'{' + value.replace(u'}', QStringLiteral("}}")) + u'}';
}

}  // namespace

QString odbcConnectionText(const ConnectionSettings& s) {
    QString text = QStringLiteral("DRIVER={FreeTDS};SERVER=") + odbcValue(s.server) + u';';
    if (s.port > 0) {
        text += QStringLiteral("PORT=%1;").arg(s.port);
    }
    if (!s.database.isEmpty()) {
        text += QStringLiteral("DATABASE=") + odbcValue(s.database) + u';';
    }
    if (!s.user.isEmpty()) {
        text += QStringLiteral("UID=") + odbcValue(s.user) + u';';
    }
    if (!s.password.isEmpty()) {
        text += QStringLiteral("PWD=") + odbcValue(s.password) + u';';
    }
    return text + QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
}

QString standbyReads(const QString& connectionString) {
    ConnectionSettings settings;
    try {
        settings = ConnectionSettings::parse(connectionString);
    } catch (const DbError&) {
        return connectionString;  // the connection itself will say what is wrong
    }
    if (settings.engine != Engine::PostgreSQL || settings.standbys.isEmpty() ||
        settings.readsFromStandby) {
        return connectionString;
    }
    return connectionString + QStringLiteral(";Reads From Standby=1");
}

}  // namespace tunnel::db
