#pragma once

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// Whether the installation's tables exist already (any of them).
bool schemaExists(db::Database& db);

// Creates the eight tables with their keys and indexes, in one transaction.
void createSchema(db::Database& db);

// Drops the eight tables if they exist, in one transaction.
void dropSchema(db::Database& db);

}  // namespace tunnel::data
