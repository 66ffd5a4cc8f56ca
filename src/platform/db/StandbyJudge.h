#pragma once

#include "platform/db/ConnectionString.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace tunnel::db {

// Where a PostgreSQL session goes: servers, their ports, what a session must be ("read-write",
// "read-only" or anything), and how long a connection may take.
void aimPostgres(QSqlDatabase& db, const ConnectionSettings& settings, const QString& hosts,
                 const QString& ports, const QString& sessionAttrs, int connectTimeout);
// Of the connection's servers, the one that takes writes: after a failover, the promoted one.
void aimAtWriter(QSqlDatabase& db, const ConnectionSettings& settings, int connectTimeout);

// What a standby says of itself when it is judged.
struct StandbyReading {
    bool inRecovery = false;
    QString receiverStatus;                 // its WAL receiver's; empty when it has none
    std::optional<qint64> msSinceHeard;     // since its primary's last message
    qint64 receiverTimeoutMs = 0;           // wal_receiver_timeout; 0 when none is set
    bool replayedAll = false;               // has replayed all its primary had written when asked
    std::optional<qint64> msSinceReplayed;  // since the commit of the last transaction replayed
};

// Current when it still streams from its primary and hears from it (a keepalive comes at least
// once in its receiver's timeout) and has replayed all the primary had, or replays transactions
// no older than `maxLagSeconds`. A receiver that exists but does not stream (starting, waiting
// for a timeline, stopping) is not hearing its primary, whatever it last heard.
bool isCurrentStandby(const StandbyReading& reading, int maxLagSeconds);

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
