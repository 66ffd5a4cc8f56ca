#include "data/EarlierHooks.h"

#include "platform/db/BriefStep.h"
#include "platform/db/Database.h"

namespace tunnel::data {
namespace {

// A step waits for its table this long, and is tried this many times while the table is busy:
// a driver that holds a history for a long transaction delays the upgrade, never the reverse.
constexpr int kStepWaitMs = 1000;
constexpr int kTries = 30;

struct Hook {
    QString kind;   // TRIGGER, FUNCTION, TABLE
    QString name;   // as created
    QString table;  // the table a trigger is on, or the table a step locks
};

QString quotedList(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names) {
        quoted.append(u'\'' + name.toLower() + u'\'');
    }
    return quoted.join(u',');
}

// What earlier versions made on PostgreSQL.
QList<Hook> serverHooks() {
    QList<Hook> hooks;
    for (const char* history : {"DEVICESTATUS", "DEVICEALERT"}) {
        const QString table = QString::fromLatin1(history);
        hooks.append({QStringLiteral("TRIGGER"), table + QStringLiteral("_KEEP"), table});
        hooks.append({QStringLiteral("TRIGGER"), table + QStringLiteral("_KEEP_ALL"), table});
    }
    for (const char* table : {"DEVICE", "DEVICESTATUS", "DEVICEALERT"}) {
        hooks.append({QStringLiteral("TRIGGER"),
                      QString::fromLatin1(table) + QStringLiteral("_CHANGE_NOTICE"),
                      QString::fromLatin1(table)});
    }
    for (const char* table : {"AREA", "DEVICETYPE"}) {
        hooks.append({QStringLiteral("TRIGGER"),
                      QString::fromLatin1(table) + QStringLiteral("_CATALOGUE_NOTICE"),
                      QString::fromLatin1(table)});
    }
    for (const char* function : {"DEVICESTATUS_KEEP", "DEVICEALERT_KEEP", "TUNNEL_CHANGE_NOTICE",
                                 "TUNNEL_CATALOGUE_NOTICE"}) {
        hooks.append({QStringLiteral("FUNCTION"), QString::fromLatin1(function), {}});
    }
    for (const char* table : {"DEVICESTATUS_KEPT", "DEVICEALERT_KEPT"}) {
        hooks.append(
            {QStringLiteral("TABLE"), QString::fromLatin1(table), QString::fromLatin1(table)});
    }
    return hooks;
}

// What earlier versions made on SQLite: the kept latest rows, the register's version, the
// search index, each with the triggers that kept it.
QList<Hook> fileHooks() {
    QList<Hook> hooks;
    for (const char* table : {"DEVICESTATUS", "DEVICEALERT", "DEVICE"}) {
        for (const char* kind : {"INSERT", "DELETE", "UPDATE"}) {
            hooks.append(
                {QStringLiteral("TRIGGER"),
                 QStringLiteral("%1_KEPT_%2").arg(QLatin1String(table), QLatin1String(kind)),
                 QString::fromLatin1(table)});
        }
    }
    for (const char* kind : {"INSERT", "DELETE", "UPDATE"}) {
        hooks.append({QStringLiteral("TRIGGER"),
                      QStringLiteral("DEVICE_SEARCH_%1").arg(QLatin1String(kind)),
                      QStringLiteral("DEVICE")});
    }
    for (const char* table : {"DEVICE_LATEST", "DEVICE_VERSION", "DEVICE_SEARCH"}) {
        hooks.append(
            {QStringLiteral("TABLE"), QString::fromLatin1(table), QString::fromLatin1(table)});
    }
    return hooks;
}

// The triggers of `hooks` that exist, each on the table it stands on (a trigger cloned onto a
// month's partition goes with the history's own).
QList<Hook> existingServerTriggers(db::Database& db, const QList<Hook>& hooks) {
    QStringList names;
    for (const Hook& hook : hooks) {
        if (hook.kind == u"TRIGGER") {
            names.append(hook.name);
        }
    }
    QList<Hook> found;
    db.forEachRow(
        QStringLiteral("SELECT upper(t.tgname), upper(c.oid::regclass::text) FROM pg_trigger t "
                       "JOIN pg_class c ON c.oid = t.tgrelid WHERE NOT t.tgisinternal "
                       "AND NOT c.relispartition AND lower(t.tgname) IN (%1) ORDER BY 2, 1")
            .arg(quotedList(names)),
        {},
        [&](const QVariantList& row) {
            found.append({QStringLiteral("TRIGGER"), row[0].toString(), row[1].toString()});
        },
        db::Database::Written::ForEngine);
    return found;
}

bool serverObjectExists(db::Database& db, const Hook& hook) {
    const QString sql = hook.kind == u"FUNCTION"
                            ? QStringLiteral(
                                  "SELECT count(*) FROM pg_proc WHERE proname = ? AND "
                                  "pg_function_is_visible(oid)")
                            : QStringLiteral(
                                  "SELECT count(*) FROM pg_class WHERE relname = ? AND "
                                  "pg_table_is_visible(oid)");
    int count = 0;
    db.forEachRow(
        sql, {hook.name.toLower()}, [&](const QVariantList& row) { count = row[0].toInt(); },
        db::Database::Written::ForEngine);
    return count > 0;
}

QList<Hook> existingServerHooks(db::Database& db) {
    const QList<Hook> hooks = serverHooks();
    QList<Hook> found = existingServerTriggers(db, hooks);
    for (const Hook& hook : hooks) {
        if (hook.kind != u"TRIGGER" && serverObjectExists(db, hook)) {
            found.append(hook);
        }
    }
    return found;
}

QList<Hook> existingFileHooks(db::Database& db) {
    QList<Hook> found;
    for (const Hook& hook : fileHooks()) {
        const QString type =
            hook.kind == u"TRIGGER" ? QStringLiteral("trigger") : QStringLiteral("table");
        int count = 0;
        db.forEachRow(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = ? AND "
                           "upper(name) = ?"),
            {type, hook.name}, [&](const QVariantList& row) { count = row[0].toInt(); },
            db::Database::Written::ForEngine);
        if (count > 0) {
            found.append(hook);
        }
    }
    return found;
}

QString dropStatement(db::Engine engine, const Hook& hook) {
    if (hook.kind == u"TRIGGER") {
        // SQLite names a trigger alone, a server by its table.
        return QStringLiteral("DROP TRIGGER IF EXISTS %1%2")
            .arg(hook.name,
                 engine == db::Engine::SQLite ? QString() : QStringLiteral(" ON ") + hook.table);
    }
    if (hook.kind == u"FUNCTION") {
        return QStringLiteral("DROP FUNCTION IF EXISTS %1()").arg(hook.name);
    }
    return QStringLiteral("DROP TABLE IF EXISTS ") + hook.name;
}

QString describe(const Hook& hook) {
    if (hook.kind == u"TRIGGER") {
        return QStringLiteral("trigger %1 on %2").arg(hook.name, hook.table);
    }
    return hook.kind.toLower() + u' ' + hook.name;
}

}  // namespace

QStringList sharedTables() {
    return {QStringLiteral("DEVICE"),       QStringLiteral("DEVICETYPE"),
            QStringLiteral("AREA"),         QStringLiteral("NGDEVICEPARAM"),
            QStringLiteral("NGCONFIG"),     QStringLiteral("PLCCONFIG"),
            QStringLiteral("DEVICESTATUS"), QStringLiteral("DEVICEALERT")};
}

QStringList removeEarlierHooks(db::Database& db,
                               const std::function<void(const QString& busy)>& waiting) {
    QList<Hook> hooks;
    if (db.engine() == db::Engine::PostgreSQL) {
        hooks = existingServerHooks(db);
    } else if (db.engine() == db::Engine::SQLite) {
        hooks = existingFileHooks(db);
    }
    QStringList removed;
    if (hooks.isEmpty()) {
        return removed;
    }
    for (const Hook& hook : hooks) {
        db::runInBriefSteps(db, dropStatement(db.engine(), hook), kStepWaitMs, kTries, [&] {
            if (waiting) {
                waiting(hook.table);
            }
        });
        removed.append(describe(hook));
    }
    return removed;
}

QStringList triggersOnSharedTables(db::Database& db) {
    QStringList triggers;
    const auto take = [&](const QVariantList& row) {
        triggers.append(row[0].toString().toUpper() + u'.' + row[1].toString().toUpper());
    };
    if (db.engine() == db::Engine::PostgreSQL) {
        db.forEachRow(
            QStringLiteral("SELECT c.relname, t.tgname FROM pg_trigger t JOIN pg_class c ON c.oid "
                           "= t.tgrelid WHERE NOT t.tgisinternal AND (lower(c.relname) IN (%1) "
                           "OR c.oid IN (SELECT i.inhrelid FROM pg_inherits i JOIN pg_class p ON "
                           "p.oid = i.inhparent WHERE lower(p.relname) IN (%1))) ORDER BY 1, 2")
                .arg(quotedList(sharedTables())),
            {}, take, db::Database::Written::ForEngine);
    } else if (db.engine() == db::Engine::SQLite) {
        db.forEachRow(QStringLiteral("SELECT tbl_name, name FROM sqlite_master WHERE type = "
                                     "'trigger' AND upper(tbl_name) IN (%1) ORDER BY 1, 2")
                          .arg(quotedList(sharedTables()).toUpper()),
                      {}, take, db::Database::Written::ForEngine);
    } else {
        db.forEachRow(QStringLiteral("SELECT OBJECT_NAME(parent_id), name FROM sys.triggers WHERE "
                                     "UPPER(OBJECT_NAME(parent_id)) IN (%1) ORDER BY 1, 2")
                          .arg(quotedList(sharedTables()).toUpper()),
                      {}, take, db::Database::Written::ForEngine);
    }
    return triggers;
}

}  // namespace tunnel::data
