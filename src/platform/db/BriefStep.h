#pragma once

#include <QString>

#include <functional>

namespace tunnel::db {

class Database;

// Runs a statement of maintenance in a transaction of its own that waits for another session's
// lock at most `waitMs`, and again while the lock stays taken, up to `tries` times: a program
// holding a table for a while delays the step, and its writers queued behind the step wait no
// longer than that. `waiting` is told of each try that found the lock taken. Throws DbError,
// the busy one when every try found it taken.
void runInBriefSteps(Database& db, const QString& statement, int waitMs, int tries,
                     const std::function<void()>& waiting = {});

}  // namespace tunnel::db
