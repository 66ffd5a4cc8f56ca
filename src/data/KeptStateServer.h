#pragma once

#include <QDate>
#include <QString>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// The latest rows of the histories as a PostgreSQL server keeps them (see KeptState.h for the
// engines' common calls). Every row written to a history is copied by a row trigger into a
// table of its own (DEVICESTATUS_KEPT, DEVICEALERT_KEPT), and the device's older copies are
// taken away. No writer ever waits for the copies: they are inserted into tables without a
// unique key, and older copies are taken only where no other transaction holds them (SKIP
// LOCKED) and only in READ COMMITTED transactions (a REPEATABLE READ or SERIALIZABLE writer
// would fail on a copy another transaction took meanwhile; its older copies stay until the
// device's next row in READ COMMITTED, and each device's newest copy is the one read).
// Whether the copies are kept and this session may read them (a role allowed to read the
// histories but not the copies reads the histories).
bool hasServerKeptState(db::Database& db);
bool addServerKeptState(db::Database& db);
void dropServerKeptState(db::Database& db);
QString serverKeptStateJoin();

// The latest rows per device of `source` (a partition of `history`) taken into the copies,
// where the device has no copy as new: after rows come into the history without its triggers.
void keepLatestRowsOf(db::Database& db, const QString& history, const QString& source);
// Which rows of the devices a load wrote are copied after it: the newest it wrote, found by
// its time (a look-up a device), or, after a load that failed partway, the newest the history
// holds (a look into every partition a device).
enum class LoadedRows { Newest, NewestRemaining };
// After a load that wrote `history` without its row triggers: each loaded device's row copied
// where the device has no copy as new, and the device's older copies taken away. `loaded` is a
// table of DEVICETYPE, DEVICECODE and the history's time, a row a device: its newest time
// loaded (a row no longer in the history, rolled back or deleted since, is not copied). Inside
// the caller's transaction, which must be READ COMMITTED.
void keepLoadedRows(db::Database& db, const QString& history, const QString& loaded,
                    LoadedRows which);
// The history's time column.
QString serverHistoryTime(const QString& history);
// The copies of rows before `bound` forgotten, after the partitions holding them were detached;
// those the default partition still holds kept again.
void forgetKeptBefore(db::Database& db, const QString& history, QDate bound);

}  // namespace tunnel::data
