#pragma once

#include "platform/db/DbError.h"
#include "platform/db/LentSession.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

namespace tunnel::db {

class Database;

// A count the engine makes of a statement's rows in one pass, on a thread and a connection of
// its own, so that the window stays usable while millions of rows are counted; cancelled with
// the engine's own interrupt (SQLite's, PostgreSQL's cancel request). For SQLite and PostgreSQL.
// A server session kept from an earlier window is lent to the thread, and the thread's session
// is kept after it (SessionPool.h): a count costs no new session's round trips.
class EngineCount {
public:
    // Starts counting the rows of `countSql` (a statement whose one value is the count).
    EngineCount(QString connectionString, QString countSql);
    // Cancels a count still running and waits for its thread.
    ~EngineCount();
    EngineCount(const EngineCount&) = delete;
    EngineCount& operator=(const EngineCount&) = delete;

    bool finished() const { return finished_; }
    void cancel();
    // Once finished: the count; throws the DbError that ended it.
    qint64 result() const;

private:
    void run();
    void countOn(Database& db);
    // Sends the engine's interrupt to the running statement, with mutex_ held.
    void interrupt();

    QString sql_;
    std::mutex mutex_;
    void* sqlite_ = nullptr;          // the thread's connection, while it runs
    void* postgresCancel_ = nullptr;  // its PGcancel, while it runs
    bool cancelled_ = false;
    std::atomic<bool> finished_ = false;
    qint64 rows_ = 0;
    std::optional<DbError> error_;
    LentSession session_;
    std::thread thread_;
};

}  // namespace tunnel::db
