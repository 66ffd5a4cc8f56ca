#pragma once

#include <QStringList>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// On PostgreSQL, an index of every device's pieces of one to three characters of the texts a
// device search matches as substrings (the number, the physical number, the connection
// parameters; IndexedGrams.h), kept by the server as it keeps any index of the register: a text
// few devices hold is then found without reading the whole register. SQLite and SQL Server read
// the register.
QStringList searchIndexStatements(db::Database& db);
bool hasSearchIndex(db::Database& db);

// How the database lets a device search find texts: by the server's own reading of its texts
// (PostgreSQL, SQL Server decode what other programs write), with the server's index where it
// has one (ServerIndex), or on SQLite, where texts are stored as the writing program's bytes
// (GBK among them), by reading those bytes too (ScanStoredBytes).
enum class TextSearch { Scan, ScanStoredBytes, ServerIndex };
TextSearch textSearchOf(db::Database& db);
// Creates the index, when the engine has one and it is missing; returns whether it did. Inside the
// caller's transaction. Throws DbError.
bool addSearchIndex(db::Database& db);
// The same on a server, beside the register's writers (outside any transaction).
bool addSearchIndexBesideWriters(db::Database& db);
void dropSearchIndex(db::Database& db);
// On PostgreSQL, a register loaded from empty drops the index before the rows and builds it
// once after them (each row's pieces entered one by one cost more); whether there was one.
// Inside the load's transaction. Throws DbError.
bool dropServerSearchIndexForLoad(db::Database& db);
void buildServerSearchIndexAfterLoad(db::Database& db);

}  // namespace tunnel::data
