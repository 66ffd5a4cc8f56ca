#pragma once

#include <QStringList>
#include <QTextStream>

namespace tunnel::tools {

// Runs `tunneldb ARGS...`: init, demo or generate on a connection string. Returns the exit code
// (0 done, 1 failed, 2 wrong call); says what it did on `out` and what went wrong on `err`.
int runTunnelDb(const QStringList& arguments, QTextStream& out, QTextStream& err);

// Creates the schema and the demo installation in a new SQLite file (used by the host on its
// first run). Throws DbError.
void createDemoDatabase(const QString& connectionString);

}  // namespace tunnel::tools
