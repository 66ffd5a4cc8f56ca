#pragma once

#include <QDate>
#include <QHash>
#include <QStringList>

#include <functional>
#include <optional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// The history tables (DEVICESTATUS, DEVICEALERT) of a PostgreSQL database partitioned by the
// month of their time column: one partition a month ("devicestatus_p202401"), with the same
// columns and indexes as the plain tables, and a default partition for every other time (and
// none). A day's query reads one partition; old months are detached, never dropped, for the
// administrator to archive.

// The time column a history table is partitioned by.
QString partitionColumn(const QString& table);

// Makes the (empty) history tables of a schema just created partitioned, with partitions from
// the month of `from` to `ahead` months after the month of `today`. PostgreSQL only; throws
// DbError elsewhere, or when the tables hold rows.
void partitionHistories(db::Database& db, QDate from, QDate today, int ahead);

// A day as a statement's literal: '2024-01-01'.
QString dateLiteral(QDate day);

// The months that have a partition of `table` attached; none for a plain table.
QList<QDate> partitionMonths(db::Database& db, const QString& table);
// The same for several tables in one statement, by their names in lower case.
QHash<QString, QList<QDate>> partitionMonthsOf(db::Database& db, const QStringList& tables);

// Whether the history tables are partitioned.
bool historiesPartitioned(db::Database& db);

// Whether the month of `month` is over by `today`: only such months are detached (new rows of a
// detached month would go to the default partition, and the next run could not create that
// month's partition again).
bool isPastMonth(QDate month, QDate today);

struct PartitionChanges {
    QStringList created;
    QStringList reattached;  // a coming month's table that an earlier run had detached
    QStringList detached;
};
// What a run of maintenance says while it waits (another run, a busy history).
using PartitionNotice = std::function<void(const QString& text)>;

// Creates the partitions of the months from now to `ahead` months on that are missing (rows of
// those months already in the default partition move into theirs; a table of such a month left
// detached is attached again), and detaches those whose months end before `detachBefore`'s
// month, while other programs write the histories: in short steps, none of which makes a writer
// wait more than about a second (a step that finds a history held waits that long and is tried
// again). A second run waits for the first to end, and says so. Outside any transaction. Throws
// DbError, and for a `detachBefore` that is not a past month; what a failed run did stands, and
// the next run does the rest.
PartitionChanges maintainPartitions(
    db::Database& db, QDate today, int ahead, std::optional<QDate> detachBefore,
    const PartitionNotice& say = [](const QString&) {});

}  // namespace tunnel::data
