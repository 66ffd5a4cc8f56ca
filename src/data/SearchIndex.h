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
// register as before. Other engines have none.
QStringList searchIndexStatements(db::Database& db);
bool hasSearchIndex(db::Database& db);
// Creates the index and fills it from the register, when the engine has one and it is
// missing; returns whether it did. Inside the caller's transaction. Throws DbError.
bool addSearchIndex(db::Database& db);
void dropSearchIndex(db::Database& db);

}  // namespace tunnel::data
