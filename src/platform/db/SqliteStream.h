#pragma once

#include "platform/db/RowCache.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct sqlite3_stmt;

namespace tunnel::db {

class Database;

// A statement's whole result read straight from SQLite on a connection of its own, one row
// after another, for a walk through millions of rows (a CSV export): the driver's per-value
// variants and a statement a batch cost more than the rows themselves. It is the one SQLite the
// process has (Debian's, which Qt's driver links too). While it is open it holds one read
// snapshot on its connection: the walk sees one state of the database, other programs write
// meanwhile, and the log file cannot be checkpointed past that snapshot until it is gone.
class SqliteStream {
public:
    // Throws DbError.
    SqliteStream(const QString& connectionString, const QString& sql);
    ~SqliteStream();
    SqliteStream(const SqliteStream&) = delete;
    SqliteStream& operator=(const SqliteStream&) = delete;

    const QStringList& fields() const { return fields_; }
    // Hands on at most `rows` rows, each value as the grid reads it (a text decoded as the
    // installation's programs wrote it); false once the result has ended. Throws DbError.
    bool read(int rows, const std::function<void(RowCache::Row&)>& take);

private:
    std::shared_ptr<Database> db_;
    QString sql_;
    sqlite3_stmt* statement_ = nullptr;
    QStringList fields_;
};

}  // namespace tunnel::db
