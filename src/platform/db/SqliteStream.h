#pragma once

#include "platform/db/RowStream.h"

#include <memory>

struct sqlite3_stmt;

namespace tunnel::db {

class Database;

// SQLite's row stream. It is the one SQLite the process has (Debian's, which Qt's driver links
// too). While it is open it holds one read
// snapshot on its connection: the walk sees one state of the database, other programs write
// meanwhile, and the log file cannot be checkpointed past that snapshot until it is gone.
class SqliteStream : public RowStream {
public:
    // Throws DbError.
    SqliteStream(const QString& connectionString, const QString& sql);
    ~SqliteStream() override;
    SqliteStream(const SqliteStream&) = delete;
    SqliteStream& operator=(const SqliteStream&) = delete;

    // A text is decoded as the installation's programs wrote it.
    bool read(int rows, const std::function<void(RowCache::Row&)>& take) override;

private:
    std::shared_ptr<Database> db_;
    QString sql_;
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tunnel::db
