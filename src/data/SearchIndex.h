#pragma once

#include <QStringList>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// On SQLite, a trigram index of the texts a device search matches as substrings (the number,
// the physical number, the connection parameters), kept by triggers on DEVICE for every program
// that writes it: a text few devices hold is then found without reading the whole register.
// Every program that writes the database file needs an SQLite with FTS5 (3.34 or later); an
// installation whose programs lack it drops the index (README) and the search reads the
// register as before. On PostgreSQL, an index of every device's pieces of one to three
// characters of the same texts (IndexedGrams.h), kept by the server. SQL Server has none.
QStringList searchIndexStatements(db::Database& db);
bool hasSearchIndex(db::Database& db);

// How the database lets a device search find texts: by the server's own reading of its texts
// (PostgreSQL, SQL Server decode what other programs write), or on SQLite, where texts are
// stored as the writing program's bytes (GBK among them), by those bytes too: with the index
// (Index) or by reading the register (ScanStoredBytes, also with an index of an earlier
// version, which `tunneldb upgrade` replaces); on PostgreSQL with its index (ServerIndex).
enum class TextSearch { Scan, ScanStoredBytes, Index, ServerIndex };
TextSearch textSearchOf(db::Database& db);
// Creates the index and fills it from the register, when the engine has one and it is
// missing or of an earlier version; returns whether it did. Inside the caller's transaction. Throws
// DbError.
bool addSearchIndex(db::Database& db);
void dropSearchIndex(db::Database& db);
// On PostgreSQL, a register loaded from empty drops the index before the rows and builds it
// once after them (each row's pieces entered one by one cost more); whether there was one.
// Inside the load's transaction. Throws DbError.
bool dropServerSearchIndexForLoad(db::Database& db);
void buildServerSearchIndexAfterLoad(db::Database& db);

}  // namespace tunnel::data
