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

bool isCurrentStandby(const StandbyReading& reading, int maxLagSeconds) {
    constexpr qint64 kDefaultReceiverTimeoutMs = 60'000;
    const qint64 timeout =
        reading.receiverTimeoutMs > 0 ? reading.receiverTimeoutMs : kDefaultReceiverTimeoutMs;
    const bool hearing = reading.receiverStatus == QStringLiteral("streaming") &&
                         reading.msSinceHeard && *reading.msSinceHeard <= timeout;
    const bool caughtUp =
        reading.replayedAll ||
        (reading.msSinceReplayed && *reading.msSinceReplayed <= qint64(maxLagSeconds) * 1000);
    return reading.inRecovery && hearing && caughtUp;
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
    QSqlQuery standby(db);
    if (!standby.exec(
            QStringLiteral(
                "SELECT pg_is_in_recovery(), r.status, (extract(epoch FROM now() - "
                "r.last_msg_receipt_time) * 1000)::bigint, (SELECT setting::bigint FROM "
                "pg_settings "
                "WHERE name = 'wal_receiver_timeout'), pg_last_wal_replay_lsn() >= '%1'::pg_lsn, "
                "(extract(epoch FROM now() - pg_last_xact_replay_timestamp()) * 1000)::bigint FROM "
                "(SELECT 1) one LEFT JOIN pg_stat_wal_receiver r ON true")
                .arg(primaryAt)) ||
        !standby.next()) {
        return false;
    }
    const auto optionalMs = [](const QVariant& value) {
        return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
    };
    return isCurrentStandby(
        {standby.value(0).toBool(), standby.value(1).toString(), optionalMs(standby.value(2)),
         standby.value(3).toLongLong(), standby.value(4).toBool(), optionalMs(standby.value(5))},
        settings_.maxLagSeconds);
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
