#pragma once

#include <QString>

namespace tunnel::db {

// SQLite's locks on a database file are POSIX locks: they belong to the process, and any close()
// of any descriptor of the file in the process drops every one of them, after which another
// program may delete the write-ahead log the process still writes to. So nothing in the process
// but SQLite itself may open these files, and a file the user chooses is checked against them.

// Notes an SQLite file that a connection of this process uses; it stays noted for the life of
// the process.
void noteDatabaseFile(const QString& path);

// Whether `path` names a noted database file or one of SQLite's files beside it (-wal, -shm,
// -journal), by name or, where it exists, as the same file under another name, or one of those
// files of the database under any of its names (the target of a link the database was opened
// through, a hard link of it). Looks only at names and file status: never opens anything.
bool isDatabaseFile(const QString& path);

}  // namespace tunnel::db
