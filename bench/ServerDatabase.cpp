#include "ServerDatabase.h"

#include "Commands.h"
#include "platform/db/Database.h"

#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace tunnel::bench {

QString benchServer() {
    const QString server = qEnvironmentVariable("TUNNEL_BENCH_PG");
    if (server.isEmpty()) {
        std::fprintf(stderr, "TUNNEL_BENCH_PG names no PostgreSQL server\n");
        std::exit(2);
    }
    return server;
}

QString serverDatabase(const QString& name) {
    return benchServer().replace(QStringLiteral("Database=postgres"),
                                 QStringLiteral("Database=") + name);
}

void makeServerDatabaseOnce(const QString& name, const QList<QStringList>& commands) {
    auto admin = db::Database::open(benchServer());
    QSqlQuery exists = admin->select(
        QStringLiteral("select count(*) from pg_database where datname = '%1'").arg(name),
        db::Database::Written::ForEngine);
    if (exists.next() && exists.value(0).toInt() == 1) {
        return;
    }
    admin->execute(QStringLiteral("CREATE DATABASE ") + name);
    QString text;
    QTextStream out(&text);
    for (QStringList command : commands) {
        command.insert(1, serverDatabase(name));
        if (tools::runTunnelDb(command, out, out) != 0) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
            std::exit(1);
        }
    }
}

}  // namespace tunnel::bench
