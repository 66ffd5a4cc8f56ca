#include "data/KeptStateServer.h"

#include "data/KeptState.h"
#include "data/Partitions.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <QStringList>

namespace tunnel::data {
namespace {

// A history's copies, their functions and triggers.
struct ServerHistory : KeptHistory {
    explicit ServerHistory(const KeptHistory& history) : KeptHistory(history) {}

    QString kept() const { return table + QStringLiteral("_KEPT"); }
    QString function() const { return table + QStringLiteral("_KEEP"); }
    QString rowTrigger() const { return table + QStringLiteral("_KEEP"); }
    QString truncateTrigger() const { return table + QStringLiteral("_KEEP_ALL"); }
    QStringList columns() const {
        return QStringList{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"), time} +
               values;
    }
    // The columns as `row`'s (NEW, OLD, an alias).
    QString columnsOf(const QString& row) const {
        QStringList of;
        for (const QString& column : columns()) {
            of.append(row + u'.' + column);
        }
        return of.join(u',');
    }
};

const QList<ServerHistory>& serverHistories() {
    static const QList<ServerHistory> histories = [] {
        QList<ServerHistory> made;
        for (const KeptHistory& history : keptHistories()) {
            made.append(ServerHistory(history));
        }
        return made;
    }();
    return histories;
}

QString sameDevice(const QString& alias, const QString& row) {
    return QStringLiteral("%1.DEVICETYPE=%2.DEVICETYPE AND %1.DEVICECODE=%2.DEVICECODE")
        .arg(alias, row);
}

// A copy as new as `row`'s time (a row without a time comes first in the history's newest-first
// order, as the server orders nulls).
QString copyAsNewAs(const ServerHistory& history, const QString& row) {
    return QStringLiteral("EXISTS (SELECT 1 FROM %1 k WHERE %2 AND (k.%3 IS NULL OR k.%3>=%4.%3))")
        .arg(history.kept(), sameDevice(QStringLiteral("k"), row), history.time, row);
}

// Copies taken away without waiting for another transaction and never in one whose snapshot
// would fail on a copy taken meanwhile; `then` follows the taking, in the same case.
QString takeCopies(const ServerHistory& history, const QString& which,
                   const QString& then = QString()) {
    return QStringLiteral(
               "IF current_setting('transaction_isolation')='read committed' THEN DELETE FROM %1 "
               "WHERE ctid=ANY(ARRAY(SELECT k.ctid FROM %1 k WHERE %2 FOR UPDATE SKIP LOCKED)); "
               "%3END IF; ")
        .arg(history.kept(), which, then);
}

// A row gone from the history takes its copy with it; when that was the device's newest, the
// device's newest remaining row is copied.
QString forgetOld(const ServerHistory& history) {
    QStringList same{sameDevice(QStringLiteral("k"), QStringLiteral("OLD"))};
    for (const QString& column : QStringList{history.time} + history.values) {
        same.append(QStringLiteral("k.%1 IS NOT DISTINCT FROM OLD.%1").arg(column));
    }
    const QString newestRemaining =
        QStringLiteral(
            "IF FOUND AND NOT %1 THEN INSERT INTO %2 (%3) SELECT %4 FROM %5 h WHERE %6 ORDER BY "
            "h.%7 DESC LIMIT 1; END IF; ")
            .arg(copyAsNewAs(history, QStringLiteral("OLD")), history.kept(),
                 history.columns().join(u','), history.columnsOf(QStringLiteral("h")),
                 history.table, sameDevice(QStringLiteral("h"), QStringLiteral("OLD")),
                 history.time);
    return takeCopies(history, same.join(QStringLiteral(" AND ")) + QStringLiteral(" LIMIT 1"),
                      newestRemaining);
}

// A row written is copied, and the device's older copies are taken away.
QString keepNew(const ServerHistory& history) {
    return QStringLiteral(
               "IF NEW.DEVICETYPE IS NOT NULL AND NEW.DEVICECODE IS NOT NULL THEN INSERT INTO %1 "
               "(%2) VALUES (%3); IF NEW.%4 IS NOT NULL THEN %5END IF; END IF; ")
        .arg(history.kept(), history.columns().join(u','), history.columnsOf(QStringLiteral("NEW")),
             history.time,
             takeCopies(history, sameDevice(QStringLiteral("k"), QStringLiteral("NEW")) +
                                     QStringLiteral(" AND k.%1<NEW.%1").arg(history.time)));
}

// Run with its owner's rights: a program allowed to write a history but not the copies still
// writes it. Without sequential scans: a session keeps a function's plans, and one made while
// the copies were a page would read them all for every row written after they grew.
QString functionStatement(const ServerHistory& history) {
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
               "SET search_path FROM CURRENT SET enable_seqscan=off AS $keep$ BEGIN "
               "IF TG_OP='TRUNCATE' THEN DELETE FROM %2; RETURN NULL; END IF; IF TG_OP<>'INSERT' "
               "THEN %3END IF; IF TG_OP<>'DELETE' THEN %4END IF; RETURN NULL; END $keep$")
        .arg(history.function(), history.kept(), forgetOld(history), keepNew(history));
}

QStringList dropTriggerStatements(const ServerHistory& history) {
    return {
        QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(history.rowTrigger(), history.table),
        QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2")
            .arg(history.truncateTrigger(), history.table),
    };
}

QStringList creationStatements(const ServerHistory& history) {
    return QStringList{
               QStringLiteral("CREATE TABLE IF NOT EXISTS %1 AS SELECT %2 FROM %3 WITH NO DATA")
                   .arg(history.kept(), history.columns().join(u','), history.table),
               QStringLiteral(
                   "CREATE INDEX IF NOT EXISTS IX_%1 ON %1 (DEVICETYPE, DEVICECODE, %2 DESC) "
                   "INCLUDE (%3)")
                   .arg(history.kept(), history.time, history.values.join(u',')),
               QStringLiteral("DELETE FROM ") + history.kept(),
               functionStatement(history),
           } +
           dropTriggerStatements(history) +
           QStringList{
               QStringLiteral(
                   "CREATE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE ON %2 FOR EACH ROW "
                   "EXECUTE FUNCTION %3()")
                   .arg(history.rowTrigger(), history.table, history.function()),
               QStringLiteral("CREATE TRIGGER %1 AFTER TRUNCATE ON %2 FOR EACH STATEMENT EXECUTE "
                              "FUNCTION %3()")
                   .arg(history.truncateTrigger(), history.table, history.function()),
           };
}

const ServerHistory& serverHistory(const QString& table) {
    for (const ServerHistory& history : serverHistories()) {
        if (history.table.compare(table, Qt::CaseInsensitive) == 0) {
            return history;
        }
    }
    throw db::DbError(QStringLiteral("%1 is not a history.").arg(table));
}

// The newest row of each device among `rows` (a table, or a statement in brackets) that has no
// copy as new, copied. Read newest first in the device index's own backward order, so that a
// history of tens of millions of rows is not sorted.
void copyNewestRows(db::Database& db, const ServerHistory& history, const QString& rows) {
    db.execute(
        QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM (SELECT DISTINCT ON (h.DEVICETYPE, "
                       "h.DEVICECODE) %4 FROM %5 h WHERE h.DEVICETYPE IS NOT NULL AND h.DEVICECODE "
                       "IS NOT NULL ORDER BY h.DEVICETYPE DESC, h.DEVICECODE DESC, h.%6 DESC) n "
                       "WHERE NOT %7")
            .arg(history.kept(), history.columns().join(u','),
                 history.columnsOf(QStringLiteral("n")), history.columnsOf(QStringLiteral("h")),
                 rows, history.time, copyAsNewAs(history, QStringLiteral("n"))));
}

}  // namespace

bool hasServerKeptState(db::Database& db) {
    QStringList histories;
    QStringList triggers;
    QStringList kept;
    for (const ServerHistory& history : serverHistories()) {
        histories.append(QStringLiteral("to_regclass('%1')").arg(history.table.toLower()));
        triggers.append(
            QStringLiteral("'%1','%2'")
                .arg(history.rowTrigger().toLower(), history.truncateTrigger().toLower()));
        kept.append(QStringLiteral("to_regclass('%1')").arg(history.kept().toLower()));
    }
    int found = 0;
    db.forEachRow(QStringLiteral("SELECT (SELECT count(*) FROM pg_trigger WHERE tgrelid IN (%1) "
                                 "AND tgname IN (%2))+(SELECT count(*) FROM pg_class WHERE oid "
                                 "IN (%3) AND has_table_privilege(oid, 'SELECT'))")
                      .arg(histories.join(u','), triggers.join(u','), kept.join(u',')),
                  {}, [&](const QVariantList& row) { found = db::integerOf(row[0]); });
    return found == 3 * static_cast<int>(serverHistories().size());
}

bool addServerKeptState(db::Database& db) {
    if (hasServerKeptState(db)) {
        return false;
    }
    for (const ServerHistory& history : serverHistories()) {
        for (const QString& statement : creationStatements(history)) {
            db.execute(statement);
        }
        copyNewestRows(db, history, history.table);
    }
    return true;
}

void dropServerKeptState(db::Database& db) {
    for (const ServerHistory& history : serverHistories()) {
        if (db.hasTable(history.table)) {
            for (const QString& statement : dropTriggerStatements(history)) {
                db.execute(statement);
            }
        }
        db.execute(QStringLiteral("DROP FUNCTION IF EXISTS %1()").arg(history.function()));
        db.execute(QStringLiteral("DROP TABLE IF EXISTS ") + history.kept());
    }
}

QString serverKeptStateJoin() {
    // The tunnel view's names for the states' and the alerts' latest rows.
    const QStringList aliases{QStringLiteral("s"), QStringLiteral("a")};
    QString join;
    for (qsizetype i = 0; i < serverHistories().size(); ++i) {
        const ServerHistory& history = serverHistories()[i];
        join += QStringLiteral(
                    " left join (select distinct on (DEVICETYPE, DEVICECODE) %1 from %2 order by "
                    "DEVICETYPE, DEVICECODE, %3 desc) %4 on %5")
                    .arg(history.columns().join(u','), history.kept(), history.time, aliases[i],
                         sameDevice(aliases[i], QStringLiteral("d")));
    }
    return join;
}

void keepLatestRowsOf(db::Database& db, const QString& history, const QString& source) {
    copyNewestRows(db, serverHistory(history), source);
}

void keepLoadedRows(db::Database& db, const QString& history, const QString& loaded,
                    LoadedRows which) {
    const ServerHistory& kept = serverHistory(history);
    // A look-up a device loaded (one partition each where the time is known), whatever the
    // history holds: joined whole, the server would read every row of it.
    const QString rowOfDevice = which == LoadedRows::Newest
                                    ? QStringLiteral("h.%1=n.%1").arg(kept.time)
                                    : QStringLiteral("TRUE ORDER BY h.%1 DESC").arg(kept.time);
    copyNewestRows(db, kept,
                   QStringLiteral("(SELECT h.* FROM %1 n CROSS JOIN LATERAL (SELECT * FROM %2 h "
                                  "WHERE %3 AND %4 LIMIT 1) h)")
                       .arg(loaded, kept.table,
                            sameDevice(QStringLiteral("h"), QStringLiteral("n")), rowOfDevice));
    // Copies older than a committed copy are taken safely: a writer deleting the newer row copies
    // the device's newest remaining row from the history itself.
    db.execute(QStringLiteral("DELETE FROM %1 WHERE ctid=ANY(ARRAY(SELECT o.ctid FROM %1 o JOIN %2 "
                              "n ON %3 AND o.%4<n.%4 WHERE %5 FOR UPDATE OF o SKIP LOCKED))")
                   .arg(kept.kept(), loaded, sameDevice(QStringLiteral("o"), QStringLiteral("n")),
                        kept.time, copyAsNewAs(kept, QStringLiteral("n"))));
}

QString serverHistoryTime(const QString& history) {
    return serverHistory(history).time;
}

void forgetKeptBefore(db::Database& db, const QString& history, QDate bound) {
    const ServerHistory& kept = serverHistory(history);
    db.execute(QStringLiteral("DELETE FROM %1 WHERE %2<%3")
                   .arg(kept.kept(), kept.time, dateLiteral(bound)));
    copyNewestRows(db, kept,
                   QStringLiteral("(SELECT * FROM %1_default WHERE %2<%3)")
                       .arg(history.toLower(), kept.time, dateLiteral(bound)));
}

}  // namespace tunnel::data
