#pragma once

#include "platform/db/RowStream.h"

#include <memory>

struct pg_result;

namespace tunnel::db {

class Database;

// PostgreSQL's row stream: a cursor in a read-only REPEATABLE READ transaction, fetched through
// libpq a few thousand rows a round trip, the next fetch on its way while a batch is taken
// (a far server costs a round trip a fetch, not one a batch); each value made from the
// server's text. Integers, floating-point
// numbers and truth values become numbers and booleans as the driver makes them; a timestamp
// becomes its text as the grid shows a stored time ("yyyy-MM-dd hh:mm:ss.zzz", as SQLite keeps
// it), without the driver's date and time objects; anything else stays the server's text.
class PostgresStream : public RowStream {
public:
    // `sql` is written for PostgreSQL. Throws DbError.
    PostgresStream(const QString& connectionString, const QString& sql);
    ~PostgresStream() override;
    PostgresStream(const PostgresStream&) = delete;
    PostgresStream& operator=(const PostgresStream&) = delete;

    bool read(int rows, const std::function<void(RowCache::Row&)>& take) override;

private:
    static constexpr int kRowsAFetch = 4096;
    void sendFetch();
    bool receiveFetch();

    std::shared_ptr<Database> db_;
    QString sql_;
    void* connection_ = nullptr;  // the session's PGconn
    QVector<unsigned int> types_;
    struct Clear {
        void operator()(pg_result* result) const;
    };
    std::unique_ptr<pg_result, Clear> batch_;
    int at_ = 0;  // the next row of the batch
    bool fetching_ = false;
    bool ended_ = false;
};

}  // namespace tunnel::db
