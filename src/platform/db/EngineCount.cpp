#include "platform/db/EngineCount.h"

#include "platform/db/Database.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <array>
#include <chrono>

namespace tunnel::db {

EngineCount::EngineCount(QString connectionString, QString countSql)
    : sql_(std::move(countSql)), session_(std::move(connectionString)) {
    thread_ = std::thread([this] { run(); });
    session_.handOver();
}

EngineCount::~EngineCount() {
    // An interrupt that comes between the opening and the statement's start is not heard:
    // interrupt until the thread ends.
    while (!finished_) {
        cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    thread_.join();
}

void EngineCount::cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    interrupt();
}

qint64 EngineCount::result() const {
    if (error_) {
        throw *error_;
    }
    return rows_;
}

void EngineCount::interrupt() {
    if (sqlite_ != nullptr) {
        sqlite3_interrupt(static_cast<sqlite3*>(sqlite_));
    }
    if (postgresCancel_ != nullptr) {
        std::array<char, 256> ignored{};
        PQcancel(static_cast<PGcancel*>(postgresCancel_), ignored.data(),
                 static_cast<int>(ignored.size()));
    }
}

void EngineCount::run() {
    try {
        countOn(session_.take());
    } catch (const DbError& error) {
        error_ = error;
    }
    session_.giveBack();
    finished_ = true;
}

void EngineCount::countOn(Database& db) {
    // The handles are interrupted from the window's thread: they are withdrawn, under the
    // mutex, before the connection can close.
    struct Withdraw {
        EngineCount& count;
        ~Withdraw() {
            const std::lock_guard lock(count.mutex_);
            count.sqlite_ = nullptr;
            if (count.postgresCancel_ != nullptr) {
                PQfreeCancel(static_cast<PGcancel*>(count.postgresCancel_));
                count.postgresCancel_ = nullptr;
            }
        }
    } withdraw{*this};
    {
        const std::lock_guard lock(mutex_);
        sqlite_ = db.sqliteConnection();
        if (void* postgres = db.postgresConnection()) {
            postgresCancel_ = PQgetCancel(static_cast<PGconn*>(postgres));
        }
        if (cancelled_) {
            return;
        }
    }
    QSqlQuery query = db.select(sql_, {}, Database::Written::ForEngine);
    rows_ = db.next(query, sql_) ? query.value(0).toLongLong() : 0;
}

}  // namespace tunnel::db
