#pragma once

#include <QString>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// On PostgreSQL, builds an index of a table other programs write (`create` as the schema writes
// it: "CREATE INDEX name ON table ...") without holding their writes meanwhile: concurrently,
// and on a partitioned table partition by partition, each attached to the table's own index
// when built. A build that fails leaves no unusable index behind. Outside any transaction.
// Throws DbError.
void buildIndexBesideWriters(db::Database& db, const QString& table, const QString& create);

// The statement that drops such an index beside the writers (concurrently where the server can:
// not for a partitioned table's own index).
QString dropIndexBesideWritersStatement(db::Database& db, const QString& name);

}  // namespace tunnel::data
