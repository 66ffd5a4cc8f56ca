#pragma once

#include <QStringList>

#include <functional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// The tables other programs of the installation write (drivers, the alarm server, other makers'
// tools): the module may read them and index them, and nothing of its own may run inside their
// statements.
QStringList sharedTables();

// What earlier versions of the module put inside the shared tables, and what served only it:
// the row triggers that kept each device's latest history rows (and their copies), the triggers
// that sent notices (and the functions they called), SQLite's search index and register version
// kept by triggers. Each is dropped in a step of its own that waits for a table at most a
// second, retried while another program holds the table; returns what was dropped, in order.
// `waiting` is told of each table found busy. Throws DbError when a table stays busy through
// every try (what was dropped before stays dropped; a later run drops the rest).
QStringList removeEarlierHooks(db::Database& db,
                               const std::function<void(const QString& busy)>& waiting = {});

// The triggers on the shared tables and their partitions, whoever made them, as "TABLE.TRIGGER".
QStringList triggersOnSharedTables(db::Database& db);

}  // namespace tunnel::data
