#pragma once

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// SQLite's own reckoning of a device's periods in a range, an aggregate over the device's rows
// taken in the order of its device index (a look-up a device, no sort: SQLite's window
// functions sort the month's rows and keep each in a table of their own, seconds for a month of
// a large installation). Each returns a JSON array:
//   tunnel_state_periods(STATUSTIME, CURSTATUS) -> [first time, last time, last state,
//       milliseconds in each state of kReportStates' order up to the last change, rows]
//       (each change lasting to the next; the last change's period is the caller's)
//   tunnel_alert_periods(ALERTTIME, ALERTTYPE, end) -> [alerts raised, their milliseconds, rows]
//       (a raise lasting to the device's next row, the last one to `end`)
// Times are the stored texts; a text not of the form yyyy-mm-dd[ hh:mm[:ss[.fff]]] is not a
// moment, as julianday() gives none for it, and ends no period. Rows must come in the order of
// their times' texts, as the index gives them; rows out of it make the statement fail rather
// than reckon wrongly.
// Adds both to the SQLite connection of `db`; nothing on the other engines. Throws DbError.
void addPeriodFunctions(db::Database& db);

}  // namespace tunnel::data
