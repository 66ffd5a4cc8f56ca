#pragma once

#include "platform/db/Engine.h"

#include <QString>
#include <QStringList>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// A history whose latest row a device's kept row holds: the history's time column and the
// columns taken with it, under the same names in the kept rows. The states' first, then the
// alerts'.
struct KeptHistory {
    QString table;
    QString time;
    QStringList values;
};
const QList<KeptHistory>& keptHistories();

// On SQLite, what the tunnel view must read at every opening is kept by triggers for every
// program that writes the file: each device's latest state change and latest alert row
// (DEVICE_LATEST), and a number that every write of the register raises (DEVICE_VERSION).
// Where every device stands is then a read of the register's size whatever the histories hold,
// and a register another program wrote is noticed by one row. The triggers hold no conflict
// clause of their own (an outer INSERT OR REPLACE or OR FAIL would take its place and fail or
// wipe the kept row) and use statements every SQLite since 3.8 parses. A PostgreSQL server keeps
// copies of the histories' rows instead (KeptStateServer.h); SQL Server reads the histories.
bool hasKeptState(db::Database& db);
// Creates the tables and triggers and fills them from the register and histories when the
// engine keeps them and they are missing; returns whether it did. Inside the caller's
// transaction. Throws DbError.
bool addKeptState(db::Database& db);
void dropKeptState(db::Database& db);
// The tables that hold the kept rows on `engine`.
QStringList keptStateTables(db::Engine engine);

// The register's version: raised by every insert, update and delete of a device.
qint64 registerVersion(db::Database& db);

// On SQLite, the kept table's columns for a device `d` of the outer statement, under the names the
// history's latest rows are read under elsewhere: CURSTATE, STATESINCE, ALERTFLAG, ALERTTEXT,
// ALERTAT; the join that gives them, to follow `from DEVICE d`.
QString keptStateColumns();
QString keptStateJoin();

}  // namespace tunnel::data
