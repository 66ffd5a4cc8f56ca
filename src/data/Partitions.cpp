#include "data/Partitions.h"

#include "data/Schema.h"
#include "platform/db/BriefStep.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Transaction.h"

#include <QRegularExpression>

namespace tunnel::data {
namespace {

const QStringList kPartitioned = {QStringLiteral("DEVICESTATUS"), QStringLiteral("DEVICEALERT")};

QDate monthOf(QDate day) {
    return QDate(day.year(), day.month(), 1);
}

QString partitionName(const QString& table, QDate month) {
    return table.toLower() + month.toString(QStringLiteral("'_p'yyyyMM"));
}

void requirePostgres(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL) {
        throw db::DbError(
            QStringLiteral("Partitioned histories are made on PostgreSQL only, not in the %1.")
                .arg(db.settings().describe()));
    }
}

QStringList queryTexts(db::Database& db, const QString& sql) {
    QStringList texts;
    db.forEachRow(sql, {}, [&](const QVariantList& row) { texts.append(row.value(0).toString()); });
    return texts;
}

// Rows of a coming month that wait in the default partition move into its table this many at a
// time, each move a short transaction of its own, while writers go on.
constexpr int kMovedAtOnce = 10'000;
// A step that needs a history or one of its partitions to itself waits at most this long for
// the writers before it, which then wait no longer for it; tried again for about a minute.
constexpr int kStepWaitMs = 1000;
constexpr int kStepTries = 60;

// A month's partition, made apart (or, detached by an earlier run, taken as it is) and attached
// while writers go on: its bound is first given to the table as a check (so that attaching
// need not read its rows), the month's rows waiting in the default partition move over in
// short steps, and the last of them move and the table is attached in one brief step that
// holds the history and its default partition, so that no row of the month comes in between.
void addMonth(db::Database& db, const QString& table, QDate month, bool made,
              const PartitionNotice& say) {
    const QString name = partitionName(table, month);
    const QString column = partitionColumn(table);
    const QString range = QStringLiteral("%1 IS NOT NULL AND %1 >= %2 AND %1 < %3")
                              .arg(column, dateLiteral(month), dateLiteral(month.addMonths(1)));
    const QString defaultPartition = table.toLower() + QStringLiteral("_default");
    if (!made) {
        db.execute(QStringLiteral("CREATE TABLE %1 (LIKE %2 INCLUDING DEFAULTS)").arg(name, table));
    }
    db.execute(QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT IF EXISTS %1_bound").arg(name));
    db.execute(
        QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %1_bound CHECK (%2)").arg(name, range));
    const QString move = QStringLiteral(
                             "WITH moved AS (DELETE FROM %1 WHERE ctid IN (SELECT ctid FROM %1 "
                             "WHERE %2%3) RETURNING *) INSERT INTO %4 SELECT * FROM moved")
                             .arg(defaultPartition, range);
    while (db.execute(move.arg(QStringLiteral(" LIMIT %1").arg(kMovedAtOnce), name)) > 0) {
    }
    // The history itself is held too: an insert that had chosen the default partition before
    // the month's came would be refused there after it (its row no longer the default's); held,
    // the insert waits for the step and then finds the month's partition.
    db::runInBriefSteps(
        db,
        QStringLiteral("LOCK TABLE %3 IN SHARE MODE; LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE; %2; "
                       "ALTER TABLE %3 ATTACH PARTITION %4 FOR VALUES FROM (%5) TO (%6)")
            .arg(defaultPartition, move.arg(QString(), name), table, name, dateLiteral(month),
                 dateLiteral(month.addMonths(1))),
        kStepWaitMs, kStepTries,
        [&] { say(QStringLiteral("%1 is busy; trying again.").arg(table)); });
}

// A month's partition detached in a brief step of its own: detaching needs the history to
// itself for a moment, and a transaction that holds it (a long insert) delays the step, never
// the writers behind it for more than a try.
void detachMonth(db::Database& db, const QString& table, QDate month, const PartitionNotice& say) {
    db::runInBriefSteps(db,
                        QStringLiteral("ALTER TABLE %1 DETACH PARTITION %2")
                            .arg(table, partitionName(table, month)),
                        kStepWaitMs, kStepTries,
                        [&] { say(QStringLiteral("%1 is busy; trying again.").arg(table)); });
}

// One run at a time: a second run waits for the first to end (the server lets go of the lock
// with the run's session, however it ends).
class OneRunAtATime {
public:
    OneRunAtATime(db::Database& db, const PartitionNotice& say) : db_(db) {
        bool taken = false;
        db_.forEachRow(
            QStringLiteral("SELECT pg_try_advisory_lock(%1)").arg(kRunLock), {},
            [&](const QVariantList& row) { taken = row[0].toBool(); },
            db::Database::Written::ForEngine);
        if (!taken) {
            say(QStringLiteral("Another run of partitions is under way; waiting for it to end."));
            db_.execute(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(kRunLock));
        }
    }
    ~OneRunAtATime() {
        try {
            db_.execute(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(kRunLock));
        } catch (const db::DbError&) {
            // The session is gone, and its lock with it.
        }
    }
    OneRunAtATime(const OneRunAtATime&) = delete;
    OneRunAtATime& operator=(const OneRunAtATime&) = delete;

private:
    static constexpr qint64 kRunLock = 7'310'500'101;  // the module's partitions run
    db::Database& db_;
};

}  // namespace

QString dateLiteral(QDate day) {
    return day.toString(QStringLiteral("''yyyy-MM-dd''"));
}

QList<QDate> partitionMonths(db::Database& db, const QString& table) {
    return partitionMonthsOf(db, {table}).value(table.toLower());
}

QHash<QString, QList<QDate>> partitionMonthsOf(db::Database& db, const QStringList& tables) {
    static const QRegularExpression name(QStringLiteral("_p(\\d{4})(\\d{2})$"));
    QStringList parents;
    for (const QString& table : tables) {
        parents.append(QStringLiteral("'%1'::regclass").arg(table.toLower()));
    }
    QHash<QString, QList<QDate>> months;
    db.forEachRow(
        QStringLiteral("select p.relname, c.relname from pg_inherits i join pg_class c on c.oid = "
                       "i.inhrelid join pg_class p on p.oid = i.inhparent where i.inhparent in "
                       "(%1)")
            .arg(parents.join(QStringLiteral(", "))),
        {}, [&](const QVariantList& row) {
            const QRegularExpressionMatch match = name.match(row[1].toString());
            if (match.hasMatch()) {
                months[row[0].toString()].append(
                    QDate(match.captured(1).toInt(), match.captured(2).toInt(), 1));
            }
        });
    return months;
}

QString partitionColumn(const QString& table) {
    return table.compare(QStringLiteral("DEVICESTATUS"), Qt::CaseInsensitive) == 0
               ? QStringLiteral("STATUSTIME")
               : QStringLiteral("ALERTTIME");
}

bool isPastMonth(QDate month, QDate today) {
    return monthOf(month) < monthOf(today);
}

bool historiesPartitioned(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL) {
        return false;
    }
    return !queryTexts(db, QStringLiteral("select relname from pg_class where relkind = 'p' and "
                                          "relname = 'devicestatus'"))
                .isEmpty();
}

void partitionHistories(db::Database& db, QDate from, QDate today, int ahead) {
    requirePostgres(db);
    db::Transaction transaction(db);
    for (const QString& table : kPartitioned) {
        if (!queryTexts(db, QStringLiteral("select 1 from %1 limit 1").arg(table)).isEmpty()) {
            throw db::DbError(
                QStringLiteral("%1 holds rows: only an empty table is partitioned.").arg(table));
        }
        db.execute(QStringLiteral("DROP TABLE ") + table);
        db.execute(createTableStatement(db, table) +
                   QStringLiteral(" PARTITION BY RANGE (%1)").arg(partitionColumn(table)));
        for (const QString& index : createIndexStatements(db, table)) {
            db.execute(index);
        }
        db.execute(QStringLiteral("CREATE TABLE %1_default PARTITION OF %2 DEFAULT")
                       .arg(table.toLower(), table));
        for (QDate month = monthOf(from); month <= monthOf(today).addMonths(ahead);
             month = month.addMonths(1)) {
            db.execute(
                QStringLiteral("CREATE TABLE %1 PARTITION OF %2 FOR VALUES FROM (%3) TO (%4)")
                    .arg(partitionName(table, month), table, dateLiteral(month),
                         dateLiteral(month.addMonths(1))));
        }
    }
    transaction.commit();
}

PartitionChanges maintainPartitions(db::Database& db, QDate today, int ahead,
                                    std::optional<QDate> detachBefore, const PartitionNotice& say) {
    requirePostgres(db);
    if (!historiesPartitioned(db)) {
        throw db::DbError(QStringLiteral("The history tables of the %1 are not partitioned; "
                                         "init --partitioned makes them so.")
                              .arg(db.settings().describe()));
    }
    if (detachBefore && !isPastMonth(*detachBefore, today)) {
        throw db::DbError(QStringLiteral("Only past months are detached: %1 is not before %2.")
                              .arg(detachBefore->toString(QStringLiteral("yyyy-MM")),
                                   today.toString(QStringLiteral("yyyy-MM"))));
    }
    const OneRunAtATime oneRun(db, say);
    PartitionChanges changes;
    for (const QString& table : kPartitioned) {
        const QList<QDate> months = partitionMonths(db, table);
        for (QDate month = monthOf(today); month <= monthOf(today).addMonths(ahead);
             month = month.addMonths(1)) {
            if (!months.contains(month)) {
                const bool detached = db.hasTable(partitionName(table, month));
                addMonth(db, table, month, detached, say);
                (detached ? changes.reattached : changes.created)
                    .append(partitionName(table, month));
            }
        }
        if (!detachBefore) {
            continue;
        }
        for (const QDate& month : months) {
            if (month.addMonths(1) <= monthOf(*detachBefore)) {
                detachMonth(db, table, month, say);
                changes.detached.append(partitionName(table, month));
            }
        }
    }
    changes.created.sort();
    changes.reattached.sort();
    changes.detached.sort();
    return changes;
}

}  // namespace tunnel::data
