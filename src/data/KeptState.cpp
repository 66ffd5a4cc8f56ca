#include "data/KeptState.h"

#include "data/KeptStateServer.h"

#include "platform/db/Database.h"
#include "platform/db/ValueText.h"

#include <QStringList>

namespace tunnel::data {

const QList<KeptHistory>& keptHistories() {
    static const QList<KeptHistory> histories{
        {QStringLiteral("DEVICESTATUS"),
         QStringLiteral("STATUSTIME"),
         {QStringLiteral("CURSTATUS")}},
        {QStringLiteral("DEVICEALERT"),
         QStringLiteral("ALERTTIME"),
         {QStringLiteral("ALERTTYPE"), QStringLiteral("ALERTDESC")}},
    };
    return histories;
}

namespace {

constexpr const char* kTriggerKinds[] = {"INSERT", "DELETE", "UPDATE"};

QString triggerName(const QString& table, const char* kind) {
    return QStringLiteral("%1_KEPT_%2").arg(table, QLatin1String(kind));
}

QStringList triggerNames() {
    QStringList names;
    for (const KeptHistory& history : keptHistories()) {
        for (const char* kind : kTriggerKinds) {
            names.append(triggerName(history.table, kind));
        }
    }
    for (const char* kind : kTriggerKinds) {
        names.append(triggerName(QStringLiteral("DEVICE"), kind));
    }
    return names;
}

QString ofDevice(const QString& row) {
    return QStringLiteral("DEVICETYPE=%1.DEVICETYPE AND DEVICECODE=%1.DEVICECODE").arg(row);
}

// The kept row takes `row`'s values when they are at least as new as what it holds; a device
// gets its kept row with its first history row.
QString keepRow(const KeptHistory& history, const QString& row) {
    const QString time = history.time;
    QStringList sets;
    for (const QString& column : QStringList{time} + history.values) {
        sets.append(QStringLiteral("%1=%2.%1").arg(column, row));
    }
    return QStringLiteral(
               "INSERT INTO DEVICE_LATEST (DEVICETYPE, DEVICECODE) SELECT %1.DEVICETYPE, "
               "%1.DEVICECODE WHERE %1.DEVICETYPE IS NOT NULL AND %1.DEVICECODE IS NOT NULL AND "
               "NOT EXISTS (SELECT 1 FROM DEVICE_LATEST WHERE %2); UPDATE DEVICE_LATEST SET %3 "
               "WHERE %2 AND (%4 IS NULL OR %4<=%1.%4);")
        .arg(row, ofDevice(row), sets.join(u','), time);
}

// The kept columns set to the device's latest row of the history, the device that of `row`.
QString takeLatest(const KeptHistory& history, const QString& row) {
    const QString time = history.time;
    QStringList sets;
    for (const QString& column : QStringList{time} + history.values) {
        sets.append(QStringLiteral("%1=(SELECT h.%1 FROM %2 h WHERE h.DEVICETYPE=%3.DEVICETYPE "
                                   "AND h.DEVICECODE=%3.DEVICECODE ORDER BY h.%4 DESC LIMIT 1)")
                        .arg(column, history.table, row, time));
    }
    return sets.join(u',');
}

// When `row` was the kept one, the kept row takes the device's latest row that remains.
QString forgetRow(const KeptHistory& history, const QString& row) {
    return QStringLiteral("UPDATE DEVICE_LATEST SET %1 WHERE %2 AND %3 IS %4.%3;")
        .arg(takeLatest(history, row), ofDevice(row), history.time, row);
}

QString trigger(const QString& table, const char* kind, const QString& body) {
    return QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 BEGIN %4 END")
        .arg(triggerName(table, kind), QLatin1String(kind), table, body);
}

QStringList historyTriggers(const KeptHistory& history) {
    const QString table = history.table;
    const QString kept = keepRow(history, QStringLiteral("NEW"));
    const QString forgotten = forgetRow(history, QStringLiteral("OLD"));
    return {trigger(table, "INSERT", kept), trigger(table, "DELETE", forgotten),
            trigger(table, "UPDATE", forgotten + u' ' + kept)};
}

QStringList registerTriggers() {
    QStringList triggers;
    for (const char* kind : kTriggerKinds) {
        triggers.append(trigger(QStringLiteral("DEVICE"), kind,
                                QStringLiteral("UPDATE DEVICE_VERSION SET VERSION=VERSION+1;")));
    }
    return triggers;
}

// Each device's latest row of a history, taken into the kept rows (made for every device the
// histories name).
QString fillFrom(const KeptHistory& history) {
    return QStringLiteral("UPDATE DEVICE_LATEST SET ") +
           takeLatest(history, QStringLiteral("DEVICE_LATEST"));
}

QStringList creationStatements() {
    QStringList statements{
        QStringLiteral("CREATE TABLE DEVICE_LATEST (DEVICETYPE INT NOT NULL, DEVICECODE INT NOT "
                       "NULL, STATUSTIME TEXT, CURSTATUS INT, ALERTTIME TEXT, ALERTTYPE INT, "
                       "ALERTDESC VARCHAR(200), PRIMARY KEY (DEVICETYPE, DEVICECODE)) WITHOUT "
                       "ROWID"),
        QStringLiteral("CREATE TABLE DEVICE_VERSION (VERSION INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO DEVICE_VERSION (VERSION) VALUES (0)"),
        QStringLiteral("INSERT INTO DEVICE_LATEST (DEVICETYPE, DEVICECODE) SELECT DEVICETYPE, "
                       "DEVICECODE FROM DEVICESTATUS WHERE DEVICETYPE IS NOT NULL AND DEVICECODE "
                       "IS NOT NULL UNION SELECT DEVICETYPE, DEVICECODE FROM DEVICEALERT WHERE "
                       "DEVICETYPE IS NOT NULL AND DEVICECODE IS NOT NULL"),
    };
    for (const KeptHistory& history : keptHistories()) {
        statements.append(fillFrom(history));
        statements += historyTriggers(history);
    }
    return statements + registerTriggers();
}

}  // namespace

bool hasKeptState(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        return hasServerKeptState(db);
    }
    if (db.engine() != db::Engine::SQLite) {
        return false;
    }
    const QStringList names = triggerNames();
    int found = 0;
    db.forEachRow(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE (type='trigger' AND "
                                 "name IN ('%1')) OR (type='table' AND name IN ('DEVICE_LATEST', "
                                 "'DEVICE_VERSION'))")
                      .arg(names.join(QStringLiteral("','"))),
                  {}, [&](const QVariantList& row) { found = db::integerOf(row[0]); });
    return found == names.size() + 2;
}

bool addKeptState(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        return addServerKeptState(db);
    }
    if (db.engine() != db::Engine::SQLite || hasKeptState(db)) {
        return false;
    }
    dropKeptState(db);  // what a part of an earlier one left
    for (const QString& statement : creationStatements()) {
        db.execute(statement);
    }
    return true;
}

void dropKeptState(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        dropServerKeptState(db);
        return;
    }
    if (db.engine() != db::Engine::SQLite) {
        return;
    }
    for (const QString& name : triggerNames()) {
        db.execute(QStringLiteral("DROP TRIGGER IF EXISTS ") + name);
    }
    db.execute(QStringLiteral("DROP TABLE IF EXISTS DEVICE_LATEST"));
    db.execute(QStringLiteral("DROP TABLE IF EXISTS DEVICE_VERSION"));
}

QStringList keptStateTables(db::Engine engine) {
    return engine == db::Engine::PostgreSQL ? QStringList{QStringLiteral("DEVICESTATUS_KEPT"),
                                                          QStringLiteral("DEVICEALERT_KEPT")}
                                            : QStringList{QStringLiteral("DEVICE_LATEST")};
}

qint64 registerVersion(db::Database& db) {
    qint64 version = 0;
    db.forEachRow(QStringLiteral("SELECT VERSION FROM DEVICE_VERSION"), {},
                  [&](const QVariantList& row) { version = row[0].toLongLong(); });
    return version;
}

QString keptStateColumns() {
    return QStringLiteral(
        "k.CURSTATUS AS CURSTATE, k.STATUSTIME AS STATESINCE, k.ALERTTYPE AS ALERTFLAG, "
        "CAST(k.ALERTDESC AS BLOB) AS ALERTTEXT, k.ALERTTIME AS ALERTAT");
}

QString keptStateJoin() {
    return QStringLiteral(
        " left join DEVICE_LATEST k on k.DEVICETYPE=d.DEVICETYPE and k.DEVICECODE=d.DEVICECODE");
}

}  // namespace tunnel::data
