#pragma once

#include <QString>

#include <functional>
#include <future>

namespace tunnel::db {

class Database;

// Work on a session and a thread of their own, beside the caller's session: a second statement
// of one piece of work runs meanwhile, on another of the engine's processors. The session is
// opened from the caller's connection string on the thread and closed there when the work
// ends; it reads what was committed, as another station would.
class SideSession {
public:
    SideSession(const QString& connectionString, std::function<void(Database&)> work);
    // Waits for the work, whose error is then left unsaid: the caller's own failure is the one
    // it reports.
    ~SideSession();
    SideSession(const SideSession&) = delete;
    SideSession& operator=(const SideSession&) = delete;

    // Waits for the work to end; throws the DbError that ended it. When no session of its own
    // could be opened (the server refused one more: its or the role's connection limit), the
    // work is done here on `caller`, after the caller's own.
    void finish(Database& caller);

private:
    std::function<void(Database&)> work_;
    std::future<bool> done_;  // whether the work ran on a session of its own
};

}  // namespace tunnel::db
