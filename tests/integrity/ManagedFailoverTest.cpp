// Two PostgreSQL nodes under Patroni with synchronous replication (scripts/pg-ha.sh, started by
// scripts/test.sh). A station saves changes one after another while a history window is open;
// the leader is lost (its Patroni and postmaster killed) in the middle of it. The saves go on on
// the promoted node with no manual step, and the database holds every save that was reported
// done, none twice, none that was reported failed, each with its one log row.
#include "data/LoggedTransaction.h"
#include "data/Schema.h"
#include "history/TfmDeviceAlert.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "support/MessageRecorder.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace tunnel;
using Clock = std::chrono::steady_clock;

namespace {

QString clusterServer() {
    return qEnvironmentVariable("TUNNEL_TEST_PG_HA");
}

QString connectionString() {
    return QString(clusterServer())
        .replace(QStringLiteral("Database=postgres"), QStringLiteral("Database=tunnel_ha"));
}

// One save of the station, as the area window adds an area: the row and its log row together.
void saveArea(db::Database& db, int code) {
    data::LoggedTransaction save(db);
    db.execute(
        QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (%1, '区域%1')").arg(code));
    save.log({data::funcCode::kAreas, QStringLiteral("增加"), QStringLiteral("AREA"),
              QStringLiteral("AREACODE=%1").arg(code), QString(),
              QStringLiteral("{\"AREACODE\":%1}").arg(code)});
    save.commit();
}

int alertsShown(history::TfmDeviceAlert& window) {
    window.findChild<QDateEdit*>(QStringLiteral("dtpBegin"))->setDate(QDate(2026, 3, 1));
    window.findChild<QDateEdit*>(QStringLiteral("dtpEnd"))->setDate(QDate(2026, 3, 31));
    window.findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
    return window.findChild<QTableView*>(QStringLiteral("DBGrid"))->model()->rowCount();
}

QSet<int> codesIn(db::Database& db, const QString& sql) {
    QSet<int> codes;
    db.forEachRow(sql, {}, [&](const QVariantList& row) { codes.insert(row[0].toInt()); });
    return codes;
}

QSet<int> setOf(const QVector<int>& codes) {
    return QSet<int>(codes.begin(), codes.end());
}

}  // namespace

TEST(ManagedFailover, SavesGoOnOnThePromotedNodeWithNothingLostOrDoubled) {
    if (clusterServer().isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("CI"))
            FAIL() << "the Patroni cluster of scripts/test.sh is needed in CI";
        GTEST_SKIP() << "needs the Patroni cluster of scripts/test.sh (scripts/pg-ha.sh)";
    }
    {
        auto admin = db::Database::open(clusterServer());
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS tunnel_ha WITH (FORCE)"));
        admin->execute(QStringLiteral("CREATE DATABASE tunnel_ha"));
        auto db = db::Database::open(connectionString());
        data::createSchema(*db);
        db->execute(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (7, '风机')"));
        db->execute(QStringLiteral(
            "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
            "VALUES (7, 1, '2026-03-02 10:00:00', 1, '风机停止')"));
    }
    // A failover needs a replica to promote: one that a spontaneous failover earlier (a loaded
    // machine) left rejoining is waited for, and until it has replayed the rows above (the
    // window reads from it, and a standby within MaxLag may still be replaying them).
    auto cluster = db::Database::open(clusterServer());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return codesIn(*cluster,
                           QStringLiteral("select count(*) from pg_stat_replication where "
                                          "sync_state = 'sync' and replay_lsn >= "
                                          "pg_current_wal_insert_lsn()")) == QSet<int>{1};
        },
        60000))
        << "no synchronous replica that has replayed the rows";
    cluster.reset();
    test::MessageRecorder messages;
    history::TfmDeviceAlert window(nullptr, data::ModuleContext{connectionString(), {}});
    window.show();
    ASSERT_EQ(alertsShown(window), 1);

    auto station = db::Database::open(connectionString());
    std::atomic<Clock::rep> killedAt{0};
    std::thread crash([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const QString command = qEnvironmentVariable("TUNNEL_TEST_PG_HA_CTL").arg("crash-leader");
        EXPECT_EQ(std::system((command + QStringLiteral(" >/dev/null")).toLocal8Bit().constData()),
                  0);
        killedAt = Clock::now().time_since_epoch().count();  // both processes are gone by now
    });
    QVector<int> saved;
    QVector<int> failed;
    QVector<int> unknown;
    std::optional<Clock::duration> toFirstSave;
    int savedAfterKill = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(90);
    // A new area each attempt: an attempt reported failed is never made good by a later one.
    for (int code = 1; savedAfterKill < 5 && Clock::now() < deadline; ++code) {
        try {
            saveArea(*station, code);
            saved.append(code);
            const Clock::rep killed = killedAt;
            if (killed != 0) {
                ++savedAfterKill;
                if (!toFirstSave) {
                    toFirstSave = Clock::now() - Clock::time_point(Clock::duration(killed));
                }
            }
        } catch (const db::CommitOutcomeUnknown&) {
            unknown.append(code);
        } catch (const db::DbError&) {
            failed.append(code);
            QTest::qWait(100);
        }
    }
    crash.join();
    ASSERT_EQ(savedAfterKill, 5) << "the saves did not reach a promoted node within 90 s";
    std::printf(
        "[ managed failover ] from the leader's loss to the first save: %lld ms; %lld "
        "saves done, %lld refused while no node took writes, %lld of unknown outcome\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(*toFirstSave).count()),
        static_cast<long long>(saved.size()), static_cast<long long>(failed.size()),
        static_cast<long long>(unknown.size()));

    auto check = db::Database::open(connectionString());
    const QSet<int> stored = codesIn(*check, QStringLiteral("select AREACODE from AREA"));
    EXPECT_TRUE(stored.contains(setOf(saved))) << "a save reported done was lost";
    EXPECT_FALSE(stored.intersects(setOf(failed))) << "a save reported failed landed";
    const QSet<int> logged = codesIn(
        *check, QStringLiteral("select cast(substring(ROWKEY from 10) as integer) from OPERLOG "
                               "where TABLENAME = 'AREA'"));
    EXPECT_EQ(logged, stored) << "each stored area has its log row, and only those do";
    EXPECT_EQ(codesIn(*check, QStringLiteral("select count(*) from OPERLOG where TABLENAME = "
                                             "'AREA'")),
              QSet<int>{static_cast<int>(stored.size())})
        << "no log row twice";
    EXPECT_EQ(alertsShown(window), 1) << "the window reads on";
    EXPECT_TRUE(messages.messages().isEmpty()) << messages.texts().join(u'\n').toStdString();
}
