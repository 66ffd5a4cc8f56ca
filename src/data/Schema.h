#pragma once

#include <QStringList>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// Whether the installation's tables exist already (any of them).
bool schemaExists(db::Database& db);

// Creates the installation's tables with their keys and indexes, in one transaction.
void createSchema(db::Database& db);

// Adds to an existing installation's database what this version's schema has and it lacks
// (tables, indexes, the search index), touching nothing else; returns the names of what it
// added.
QStringList upgradeSchema(db::Database& db);

// Drops the installation's tables if they exist, in one transaction.
void dropSchema(db::Database& db);

// The indexes of `table` as the schema creates them, and the statements that drop them: a bulk
// load into an empty table builds its indexes once, after the rows.
QStringList createIndexStatements(db::Database& db, const QString& table);
QStringList dropIndexStatements(db::Database& db, const QString& table);
// On PostgreSQL, whether the schemas the session sees hold an index named `name` (one of this
// program's search indexes). Throws DbError.
bool serverIndexExists(db::Database& db, const QString& name);
// The statement that creates `table` as the schema has it. Throws DbError for a table it lacks.
QString createTableStatement(db::Database& db, const QString& table);

}  // namespace tunnel::data
