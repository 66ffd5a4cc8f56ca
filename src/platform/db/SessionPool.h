#pragma once

#include <QString>

#include <memory>

namespace tunnel::db {

class Database;

// Sessions to a database server kept for a while after their last owner lets go, so that the
// next window on the same connection string starts without a new session's round trips (seven
// or eight: a station may be a region away from its server). Only a server's sessions (an
// SQLite file costs nothing to open), not those for reads from a standby (judged as they
// open), only the application thread's (a session belongs to the
// thread that made it), a few a connection string, none idle for long; a session the server
// ended while it was kept is closed, not handed out.
namespace sessionPool {

// Whether the caller runs on the application's thread, whose sessions alone are kept.
bool onApplicationThread();
// A kept session to the connection string; null when there is none.
std::unique_ptr<Database> take(const QString& connectionString);
// Keeps the session, or closes it where it cannot be kept (lost, of another thread, SQLite, or
// enough kept already).
void giveBack(const QString& connectionString, std::unique_ptr<Database> session);
// Closes every kept session: when the module unloads or the application quits, and before a
// database is dropped (a kept session would hold it).
void closeAll();

}  // namespace sessionPool
}  // namespace tunnel::db
