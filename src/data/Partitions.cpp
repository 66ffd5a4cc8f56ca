#include "data/Partitions.h"

#include "data/Schema.h"
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

// A month's partition, made apart (or, detached by an earlier run, taken as it is) and attached:
// rows of that month that wait in the default partition move into it first, so that attaching
// it never finds them in the way.
void addMonth(db::Database& db, const QString& table, QDate month, bool made) {
    const QString name = partitionName(table, month);
    const QString column = partitionColumn(table);
    const QString range = QStringLiteral("%1 >= %2 AND %1 < %3")
                              .arg(column, dateLiteral(month), dateLiteral(month.addMonths(1)));
    if (!made) {
        db.execute(QStringLiteral("CREATE TABLE %1 (LIKE %2 INCLUDING DEFAULTS)").arg(name, table));
    }
    db.execute(QStringLiteral("WITH moved AS (DELETE FROM %1_default WHERE %2 RETURNING *) "
                              "INSERT INTO %3 SELECT * FROM moved")
                   .arg(table.toLower(), range, name));
    db.execute(QStringLiteral("ALTER TABLE %1 ATTACH PARTITION %2 FOR VALUES FROM (%3) TO (%4)")
                   .arg(table, name, dateLiteral(month), dateLiteral(month.addMonths(1))));
}

}  // namespace

QString dateLiteral(QDate day) {
    return day.toString(QStringLiteral("''yyyy-MM-dd''"));
}

QList<QDate> partitionMonths(db::Database& db, const QString& table) {
    static const QRegularExpression name(QStringLiteral("_p(\\d{4})(\\d{2})$"));
    QList<QDate> months;
    const QStringList children = queryTexts(
        db, QStringLiteral("select c.relname from pg_inherits i join pg_class c on c.oid = "
                           "i.inhrelid where i.inhparent = '%1'::regclass")
                .arg(table.toLower()));
    for (const QString& child : children) {
        const QRegularExpressionMatch match = name.match(child);
        if (match.hasMatch()) {
            months.append(QDate(match.captured(1).toInt(), match.captured(2).toInt(), 1));
        }
    }
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
                                    std::optional<QDate> detachBefore) {
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
    PartitionChanges changes;
    db::Transaction transaction(db);
    for (const QString& table : kPartitioned) {
        const QList<QDate> months = partitionMonths(db, table);
        for (QDate month = monthOf(today); month <= monthOf(today).addMonths(ahead);
             month = month.addMonths(1)) {
            if (!months.contains(month)) {
                const bool detached = db.hasTable(partitionName(table, month));
                addMonth(db, table, month, detached);
                (detached ? changes.reattached : changes.created)
                    .append(partitionName(table, month));
            }
        }
        if (!detachBefore) {
            continue;
        }
        for (const QDate& month : months) {
            if (month.addMonths(1) <= monthOf(*detachBefore)) {
                db.execute(QStringLiteral("ALTER TABLE %1 DETACH PARTITION %2")
                               .arg(table, partitionName(table, month)));
                changes.detached.append(partitionName(table, month));
            }
        }
    }
    transaction.commit();
    changes.created.sort();
    changes.reattached.sort();
    changes.detached.sort();
    return changes;
}

}  // namespace tunnel::data
