#pragma once

#include "platform/db/DbError.h"
#include "platform/db/LentSession.h"

#include <QString>

#include <functional>
#include <future>
#include <optional>

namespace tunnel::db {

class Database;

// Work on a session and a thread of their own, beside the caller's session: a second statement
// of one piece of work runs meanwhile, on another of the engine's processors. The session is
// lent from those kept since earlier windows, or opened on the thread, and kept after the work
// (LentSession.h) when the work was started on the application's thread; it reads what was
// committed, as another station would.
class SideSession {
public:
    SideSession(const QString& connectionString, std::function<void(Database&)> work);
    // Waits for the work, whose error is then left unsaid: the caller's own failure is the one
    // it reports.
    ~SideSession();
    SideSession(const SideSession&) = delete;
    SideSession& operator=(const SideSession&) = delete;

    // Whether the work has ended.
    bool ready() const;
    // Waits for the work to end; throws the DbError that ended it. When no session of its own
    // could be opened (the server refused one more: its or the role's connection limit), the
    // work is done here on `caller`, after the caller's own.
    void finish(Database& caller);
    // Waits for the work to end; throws the DbError that ended it or that refused its session.
    void finish();

private:
    std::function<void(Database&)> work_;
    LentSession session_;
    // Empty when the work ran on its session; else why no session could be had.
    std::future<std::optional<DbError>> done_;
};

}  // namespace tunnel::db
