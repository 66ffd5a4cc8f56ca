#pragma once

#include "platform/db/ConnectionString.h"

#include <QSqlDatabase>
#include <QString>

namespace tunnel::db {

// Where a PostgreSQL session goes: servers, their ports, what a session must be ("read-write",
// "read-only" or anything), and how long a connection may take.
void aimPostgres(QSqlDatabase& db, const ConnectionSettings& settings, const QString& hosts,
                 const QString& ports, const QString& sessionAttrs, int connectTimeout);
// Of the connection's servers, the one that takes writes: after a failover, the promoted one.
void aimAtWriter(QSqlDatabase& db, const ConnectionSettings& settings, int connectTimeout);

// Judges whether a hot standby is current enough for the reads of history, against what its
// primary has written, asked on a session to the primary kept for the judge's life. Of the thread
// that made it, as Qt's sessions are.
class StandbyJudge {
public:
    // `probeName` names the session to the primary.
    StandbyJudge(ConnectionSettings settings, QString probeName);
    ~StandbyJudge();
    StandbyJudge(const StandbyJudge&) = delete;
    StandbyJudge& operator=(const StandbyJudge&) = delete;

    // Whether the standby of `db` is no further behind its primary than MaxLag. Throws nothing.
    bool isCurrent(const QSqlDatabase& db);

private:
    // The WAL position the server that takes writes has reached; empty when none answers.
    QString primaryWalPosition();

    ConnectionSettings settings_;
    QString probeName_;
};

}  // namespace tunnel::db
