#pragma once

namespace tunnel::db {

// Adds `rows_print(v1, v2, ...)` to an SQLite connection (sqlite3*): an aggregate of the rows'
// values, a 64-bit hash of each row's values summed (so that the order the rows are read in
// does not matter), which moves with any row added, removed or changed in one of the values.
// A read of the connection's own: nothing of it is stored in the file or runs for another
// program, whose SQLite may not have it.
void addRowsPrint(void* connection);

}  // namespace tunnel::db
