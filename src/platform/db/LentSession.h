#pragma once

#include <QString>

#include <future>
#include <memory>

class QThread;

namespace tunnel::db {

class Database;

// A session for one piece of work on a worker thread, lent by the thread that starts the work
// and given back to it after: a server session kept since an earlier window (SessionPool.h) is
// used instead of a new one's round trips, and the worker's session, new or lent, goes back to
// be kept for the next window. A session belongs to one thread at a time, so the hand-over is
// a meeting: the worker says where it runs, the owner moves the session there.
class LentSession {
public:
    // On the owner's thread: takes a kept session to lend, where there is one.
    explicit LentSession(QString connectionString);
    // On the owner's thread, once the worker has given the session back.
    ~LentSession();
    LentSession(const LentSession&) = delete;
    LentSession& operator=(const LentSession&) = delete;

    // On the owner's thread, after starting the worker: moves the kept session to it. The
    // worker must call take() first, whatever happens after.
    void handOver();
    // On the worker's thread, first: waits for the hand-over; the lent session, or one opened
    // here when none was kept or it could not move. Throws DbError.
    Database& take();
    // On the worker's thread, last: the session goes back to the owner's thread, or is closed
    // here where it cannot.
    void giveBack();

private:
    QString connectionString_;
    std::shared_ptr<Database> session_;
    // Settled before the worker starts: the worker assigns session_ when there is none, so
    // neither side may decide by reading it.
    bool lending_;
    QThread* owner_;
    std::promise<QThread*> worker_;
    std::promise<void> lent_;
};

}  // namespace tunnel::db
