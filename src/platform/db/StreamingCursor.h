#pragma once

#include <QSqlQuery>
#include <QStringList>

#include <optional>

namespace tunnel::db {

class Database;

// Reads a result one row at a time without the client or the server preparing the whole of
// it first. On PostgreSQL that is a server-side cursor fetched in batches: the planner then
// chooses a plan that yields the first rows at once (an index scan) rather than one that sorts
// everything before the first row, which a plain streamed query gets. Elsewhere it is a
// forward-only query. It holds the connection (and on PostgreSQL a transaction) while open.
class StreamingCursor {
public:
    StreamingCursor(Database& db, const QString& sql);  // throws DbError
    ~StreamingCursor();
    StreamingCursor(const StreamingCursor&) = delete;
    StreamingCursor& operator=(const StreamingCursor&) = delete;

    const QStringList& fields() const { return fields_; }
    // Moves to the next row; false at the end. Throws DbError.
    bool next();
    // The current row.
    const QSqlQuery& row() const { return *current_; }

private:
    bool fetchBatch();

    Database& db_;
    QString sql_;
    QStringList fields_;
    std::optional<QSqlQuery> current_;
    bool serverSide_ = false;
    bool lastBatch_ = false;
};

}  // namespace tunnel::db
