#include "platform/db/StandbyJudge.h"

#include <QSqlQuery>

namespace tunnel::db {

void aimPostgres(QSqlDatabase& db, const ConnectionSettings& settings, const QString& hosts,
                 const QString& ports, const QString& sessionAttrs, int connectTimeout) {
    db.setHostName(hosts);
    // Qt's driver takes one port; several go among the options, which libpq reads alike.
    QString options = QStringLiteral("connect_timeout=%1").arg(connectTimeout);
    if (ports.contains(u',')) {
        db.setPort(-1);
        options += QStringLiteral(";port=") + ports;
    } else {
        db.setPort(ports.toInt());
    }
    if (!sessionAttrs.isEmpty()) {
        options += QStringLiteral(";target_session_attrs=") + sessionAttrs;
    }
    // A server gone silent (a firewall that drops idle sessions, a machine that died) is told
    // within a minute: probes on an idle session, and unacknowledged data given up on.
    options += QStringLiteral(
        ";keepalives=1;keepalives_idle=20;keepalives_interval=5;keepalives_count=4;"
        "tcp_user_timeout=40000");
    // Given at connection start, so that a session opened afresh after a lost one has it too.
    // No JIT: the module's statements are index look-ups and month-long passes, whose compiling
    // over a partitioned history took longer than running them (5 of a report's 12 seconds).
    // No memoizing of look-ups: the module looks up each device once (the tunnel view's latest
    // rows), and a cache that never hits cost as much as the look-ups (2.6 s instead of 1.3).
    // A pooler takes no startup options: there the bound on lock waits is each transaction's.
    if (!settings.pooledTransactions) {
        options += QStringLiteral(";options='-c lock_timeout=%1 -c jit=off -c enable_memoize=off'")
                       .arg(settings.lockTimeoutSeconds * 1000);
    }
    db.setConnectOptions(options);
}

void aimAtWriter(QSqlDatabase& db, const ConnectionSettings& settings, int connectTimeout) {
    const bool several = settings.host.contains(u',');
    aimPostgres(db, settings, settings.host, settings.ports,
                several ? QStringLiteral("read-write") : QString(), connectTimeout);
}

StandbyJudge::StandbyJudge(ConnectionSettings settings, QString probeName)
    : settings_(std::move(settings)), probeName_(std::move(probeName)) {}

StandbyJudge::~StandbyJudge() {
    if (QSqlDatabase::contains(probeName_)) {
        QSqlDatabase::database(probeName_, false).close();
        QSqlDatabase::removeDatabase(probeName_);
    }
}

bool StandbyJudge::isCurrent(const QSqlDatabase& db) {
    // What the primary has written, asked before the standby is: a standby is judged by what it
    // has not yet got. Its own view cannot tell: cut off from its primary, it has received
    // nothing, has replayed all of that, and would count as current for ever.
    const QString primaryAt = primaryWalPosition();
    if (primaryAt.isEmpty()) {
        return false;
    }
    // Current when it still hears from its primary (a keepalive comes at least once in its
    // wal_receiver_timeout) and has replayed all the primary had, or replays transactions
    // younger than MaxLag.
    QSqlQuery current(db);
    return current.exec(
               QStringLiteral(
                   "SELECT pg_is_in_recovery() AND COALESCE((SELECT status = 'streaming' AND "
                   "now() - last_msg_receipt_time <= make_interval(secs => (SELECT CASE WHEN "
                   "setting::bigint > 0 THEN setting::bigint ELSE 60000 END FROM pg_settings "
                   "WHERE name = 'wal_receiver_timeout') / 1000.0) FROM pg_stat_wal_receiver), "
                   "false) AND (pg_last_wal_replay_lsn() >= '%1'::pg_lsn OR COALESCE(now() - "
                   "pg_last_xact_replay_timestamp() <= make_interval(secs => %2), false))")
                   .arg(primaryAt)
                   .arg(settings_.maxLagSeconds)) &&
           current.next() && current.value(0).toBool();
}

QString StandbyJudge::primaryWalPosition() {
    QSqlDatabase primary = QSqlDatabase::database(probeName_, false);
    if (!primary.isValid()) {
        primary = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), probeName_);
        primary.setDatabaseName(settings_.database);
        primary.setUserName(settings_.user);
        primary.setPassword(settings_.password);
        aimAtWriter(primary, settings_, 3);
    }
    // A session kept from an earlier look may have gone with a failover: one fresh try.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!primary.isOpen() && !primary.open()) {
            return {};
        }
        // Where its WAL is inserted, not where it is written: a commit the server does not wait
        // to flush (synchronous_commit off) is past the written position.
        QSqlQuery position(primary);
        if (position.exec(QStringLiteral("SELECT pg_current_wal_insert_lsn()::text")) &&
            position.next()) {
            return position.value(0).toString();
        }
        primary.close();
    }
    return {};
}

}  // namespace tunnel::db
