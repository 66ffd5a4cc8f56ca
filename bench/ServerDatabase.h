#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tunnel::bench {

// The PostgreSQL server the benchmarks that need one use: TUNNEL_BENCH_PG, a connection string
// to its database "postgres". Exits the program when it is not set.
QString benchServer();

// The connection string of database `name` on that server.
QString serverDatabase(const QString& name);

// Makes database `name` on that server unless it is there, and fills it with the tunneldb
// commands (each given without its connection string, which follows the command's name);
// exits the program with their output when one fails. Made once, a benchmark's data serves
// every later run.
void makeServerDatabaseOnce(const QString& name, const QList<QStringList>& commands);

}  // namespace tunnel::bench
