#include "data/Schema.h"

#include "data/EarlierHooks.h"
#include "data/IndexBesideWriters.h"
#include "data/LogSearchIndex.h"
#include "data/SearchIndex.h"
#include "data/Tables.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/SqlTokens.h"
#include "platform/db/Transaction.h"

#include <QFile>
#include <QRegularExpression>

#include <array>

namespace tunnel::data {
namespace {

QString schemaResource(db::Engine engine) {
    switch (engine) {
        case db::Engine::SQLite:
            return QStringLiteral(":/schema/sqlite.sql");
        case db::Engine::PostgreSQL:
            return QStringLiteral(":/schema/postgresql.sql");
        case db::Engine::SqlServer:
            return QStringLiteral(":/schema/sqlserver.sql");
    }
    return {};
}

QString readSchema(db::Engine engine) {
    QFile file(schemaResource(engine));
    if (!file.open(QIODevice::ReadOnly)) {
        throw db::DbError(QStringLiteral("程序中缺少数据库结构脚本 %1。").arg(file.fileName()));
    }
    return QString::fromUtf8(file.readAll());
}

bool tableExists(db::Database& db, const QString& table) {
    return db.hasTable(table);
}

}  // namespace

bool schemaExists(db::Database& db) {
    for (const QString& table : installationTables()) {
        if (tableExists(db, table)) {
            return true;
        }
    }
    return false;
}

void createSchema(db::Database& db) {
    db::Transaction transaction(db);
    for (const QString& statement : db::splitStatements(readSchema(db.engine()))) {
        db.execute(statement);
    }
    addSearchIndex(db);
    addLogSearch(db);
    transaction.commit();
}

bool serverIndexExists(db::Database& db, const QString& name) {
    bool exists = false;
    db.forEachRow(QStringLiteral("SELECT to_regclass(?) IS NOT NULL"), {name.toLower()},
                  [&](const QVariantList& row) { exists = row[0].toBool(); });
    return exists;
}

QStringList createIndexStatements(db::Database& db, const QString& table) {
    static const QRegularExpression index(QStringLiteral("^CREATE INDEX \\w+ ON \\[?(\\w+)\\]? "),
                                          QRegularExpression::CaseInsensitiveOption);
    QStringList statements;
    for (const QString& statement : db::splitStatements(readSchema(db.engine()))) {
        const QRegularExpressionMatch match = index.match(statement);
        if (match.hasMatch() && match.captured(1).compare(table, Qt::CaseInsensitive) == 0) {
            statements.append(statement);
        }
    }
    return statements;
}

QString createTableStatement(db::Database& db, const QString& table) {
    static const QRegularExpression create(QStringLiteral("^CREATE TABLE \\[?(\\w+)\\]? \\("),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QString& statement : db::splitStatements(readSchema(db.engine()))) {
        const QRegularExpressionMatch match = create.match(statement);
        if (match.hasMatch() && match.captured(1).compare(table, Qt::CaseInsensitive) == 0) {
            return statement;
        }
    }
    throw db::DbError(QStringLiteral("程序的数据库结构脚本中没有表 %1。").arg(table));
}

namespace {

// Whether a catalogue query's count N is above zero.
bool anyCounted(db::Database& db, const QString& sql) {
    db::Query query(db);
    query.setSql(sql);
    query.open();
    const bool any = query.integer(QStringLiteral("N")) > 0;
    query.close();
    return any;
}

bool indexExists(db::Database& db, const QString& name) {
    QString sql;
    switch (db.engine()) {
        case db::Engine::SQLite:
            sql = QStringLiteral(
                "select count(*) AS N from sqlite_master where type='index' and "
                "name=%1");
            break;
        case db::Engine::PostgreSQL:
            sql = QStringLiteral("select count(*) AS N from pg_indexes where indexname=lower(%1)");
            break;
        case db::Engine::SqlServer:
            sql = QStringLiteral("select count(*) AS N from sys.indexes where name=%1");
            break;
    }
    return anyCounted(db, sql.arg(db::sqlQuote(name)));
}

// An older version kept 64 characters of the station's and the operator's names.
bool logNamesAreNarrow(db::Database& db) {
    QString sql;
    switch (db.engine()) {
        case db::Engine::SQLite:
            sql = QStringLiteral(
                "select count(*) AS N from sqlite_master where type='table' and "
                "name='OPERLOG' and sql like '%length(OPERATOR) <= 64%'");
            break;
        case db::Engine::PostgreSQL:
            sql = QStringLiteral(
                "select count(*) AS N from information_schema.columns where "
                "table_schema=current_schema() and table_name='operlog' and "
                "column_name='operator' and character_maximum_length < 128");
            break;
        case db::Engine::SqlServer:
            sql = QStringLiteral(
                "select count(*) AS N from sys.columns where "
                "object_id=OBJECT_ID('OPERLOG') and name='OPERATOR' and "
                "max_length < 128");
            break;
    }
    return anyCounted(db, sql);
}

// SQLite cannot change a column's CHECK: the table is made again under its name, rows, keys and
// indexes kept.
void widenLogNames(db::Database& db) {
    if (db.engine() != db::Engine::SQLite) {
        const QString alter =
            db.engine() == db::Engine::PostgreSQL
                ? QStringLiteral("ALTER TABLE OPERLOG ALTER COLUMN %1 TYPE VARCHAR(128)")
                : QStringLiteral("ALTER TABLE OPERLOG ALTER COLUMN %1 VARCHAR(128)");
        db.execute(alter.arg(QStringLiteral("STATION")));
        db.execute(alter.arg(QStringLiteral("OPERATOR")));
        return;
    }
    QString create = createTableStatement(db, QStringLiteral("OPERLOG"));
    create.replace(QStringLiteral("CREATE TABLE OPERLOG "),
                   QStringLiteral("CREATE TABLE OPERLOG_WIDE "));
    db.execute(create);
    db.execute(QStringLiteral("INSERT INTO OPERLOG_WIDE SELECT * FROM OPERLOG"));
    db.execute(QStringLiteral("DROP TABLE OPERLOG"));
    db.execute(QStringLiteral("ALTER TABLE OPERLOG_WIDE RENAME TO OPERLOG"));
}

QString dropIndexStatement(db::Engine engine, const QString& table, const QString& name) {
    return engine == db::Engine::SqlServer
               ? QStringLiteral("DROP INDEX %1 ON [%2]").arg(name, table)
               : QStringLiteral("DROP INDEX %1").arg(name);
}

// An index of an earlier version and the one of this version that took its place: the new one
// holds the old one's columns first, in their order, and carries more, so that the old one
// would only cost every writer of the table a second index to keep.
struct SupersededIndex {
    QString table;
    QString old;
    QString replacement;
};

const std::array<SupersededIndex, 2>& supersededIndexes() {
    static const std::array<SupersededIndex, 2> indexes{
        {{QStringLiteral("DEVICESTATUS"), QStringLiteral("IX_DEVICESTATUS_DEVICE"),
          QStringLiteral("IX_DEVICESTATUS_DEVICE_STATE")},
         {QStringLiteral("DEVICEALERT"), QStringLiteral("IX_DEVICEALERT_DEVICE"),
          QStringLiteral("IX_DEVICEALERT_DEVICE_ALERT")}}};
    return indexes;
}

// Drops the old indexes whose replacements exist, and says so beside the replacement's name.
void dropSupersededIndexes(db::Database& db, QStringList& added) {
    for (const SupersededIndex& index : supersededIndexes()) {
        if (!indexExists(db, index.old) || !indexExists(db, index.replacement)) {
            continue;
        }
        db.execute(db.engine() == db::Engine::PostgreSQL
                       ? dropIndexBesideWritersStatement(db, index.old)
                       : dropIndexStatement(db.engine(), index.table, index.old));
        const qsizetype at = added.indexOf(index.replacement);
        const QString said =
            QStringLiteral("%1 (in place of %2)").arg(index.replacement, index.old);
        if (at < 0) {
            added.append(said);
        } else {
            added[at] = said;
        }
    }
}

}  // namespace

QStringList upgradeSchema(db::Database& db) {
    QStringList added;
    const bool server = db.engine() == db::Engine::PostgreSQL;
    // On a server the indexes of the tables other programs write are built after, beside their
    // writers (a plain build holds every writer of the table until it ends).
    QList<std::pair<QString, QString>> besideWriters;
    db::Transaction transaction(db);
    if (logNamesAreNarrow(db)) {
        widenLogNames(db);
        added.append(QStringLiteral("OPERLOG.STATION/OPERATOR(128)"));
    }
    for (const QString& table : installationTables()) {
        const bool existed = tableExists(db, table);
        if (!existed) {
            db.execute(createTableStatement(db, table));
            added.append(table);
        }
        for (const QString& statement : createIndexStatements(db, table)) {
            const QString name = statement.section(u' ', 2, 2);
            if (indexExists(db, name)) {
                continue;
            }
            if (server && existed && sharedTables().contains(table, Qt::CaseInsensitive)) {
                besideWriters.append({table, statement});
            } else {
                db.execute(statement);
            }
            added.append(name);
        }
    }
    if (!server) {
        dropSupersededIndexes(db, added);
        if (addSearchIndex(db)) {
            added.append(QStringLiteral("DEVICE_SEARCH"));
        }
    }
    if (addLogSearch(db)) {
        added.append(QStringLiteral("OPERLOG_SEARCH"));
    }
    transaction.commit();
    if (!server) {
        return added;
    }
    for (const auto& [table, statement] : besideWriters) {
        buildIndexBesideWriters(db, table, statement);
    }
    dropSupersededIndexes(db, added);
    if (addSearchIndexBesideWriters(db)) {
        added.append(QStringLiteral("DEVICE_SEARCH"));
    }
    return added;
}

QStringList dropIndexStatements(db::Database& db, const QString& table) {
    QStringList statements;
    for (const QString& statement : createIndexStatements(db, table)) {
        statements.append(dropIndexStatement(db.engine(), table, statement.section(u' ', 2, 2)));
    }
    return statements;
}

void dropSchema(db::Database& db) {
    removeEarlierHooks(db);
    QStringList tables = installationTables();
    std::reverse(tables.begin(), tables.end());
    db::Transaction transaction(db);
    dropSearchIndex(db);
    dropLogSearch(db);
    for (const QString& table : tables) {
        if (tableExists(db, table)) {
            db.execute(QStringLiteral("DROP TABLE ") + table);
        }
    }
    transaction.commit();
}

}  // namespace tunnel::data
