// A primary with a streaming hot standby (scripts/pg-standby.sh, started by scripts/test.sh):
// history reads go to the standby, changes to the primary, a stopped standby is passed over,
// and after a failover the next actions reach the promoted server with nothing lost or doubled.
// The tests change the pair (the last one promotes the standby), so they run in order, in one
// process, alone.
#include "DelayRelay.h"
#include "data/Schema.h"
#include "data/WiringWrites.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmDeviceTimeline.h"
#include "history/TfmQueryStatus.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/GridModel.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/Transaction.h"
#include "support/MessageRecorder.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tunnel;

namespace {

QString pairServer() {
    return qEnvironmentVariable("TUNNEL_TEST_PG_PAIR");
}

// Runs the pair's script with `action` (promote, stop-standby, start-standby).
void pair(const char* action) {
    const QString command = qEnvironmentVariable("TUNNEL_TEST_PG_PAIR_CTL").arg(action);
    ASSERT_EQ(std::system(command.toLocal8Bit().constData()), 0) << command.toStdString();
}

class Failover : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (pairServer().isEmpty()) {
            return;
        }
        auto admin = db::Database::open(pairServer());
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS tunnel_failover WITH (FORCE)"));
        admin->execute(QStringLiteral("CREATE DATABASE tunnel_failover"));
        auto db = db::Database::open(connectionString());
        data::createSchema(*db);
        db->execute(QStringLiteral(
            "INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (7, '风机'), (24, '网关')"));
        db->execute(
            QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, COMMTYPE, COMMDATA) VALUES "
                           "(24, 3, 1, ''), (7, 1, 3, '0'), (7, 2, 3, '0')"));
        db->execute(QStringLiteral(
            "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
            "VALUES (7, 1, '2026-03-02 10:00:00', 1, '风机停止')"));
    }

    void SetUp() override {
        if (pairServer().isEmpty()) {
            if (!qEnvironmentVariableIsEmpty("CI"))
                FAIL() << "the primary and standby of scripts/test.sh are needed in CI";
            GTEST_SKIP() << "needs the primary and standby of scripts/test.sh";
        }
    }

    static QString connectionString() {
        return QString(pairServer())
            .replace(QStringLiteral("Database=postgres"),
                     QStringLiteral("Database=tunnel_failover"));
    }

    // Waits until the standby has replayed what the primary has written so far (inserted: the
    // pair does not wait to flush its commits).
    static void waitForStandby() {
        auto primary = db::Database::open(connectionString());
        QSqlQuery at = primary->select(QStringLiteral("select pg_current_wal_insert_lsn()::text"),
                                       db::Database::Written::ForEngine);
        ASSERT_TRUE(at.next());
        const QString lsn = at.value(0).toString();
        // A fresh connection each time: one made before the standby had the database went to
        // the primary.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                auto standby = db::Database::open(db::standbyReads(connectionString()));
                if (!standby->onStandby()) {
                    return false;
                }
                QSqlQuery replayed = standby->select(
                    QStringLiteral("select pg_last_wal_replay_lsn() >= '%1'::pg_lsn").arg(lsn),
                    db::Database::Written::ForEngine);
                return replayed.next() && replayed.value(0).toBool();
            },
            10000));
    }

    static bool inRecovery(db::Database& db) {
        QSqlQuery query = db.select(QStringLiteral("select pg_is_in_recovery()"),
                                    db::Database::Written::ForEngine);
        return query.next() && query.value(0).toBool();
    }

    // The alert window on March 2026, queried; how many rows it shows.
    static int alertsShown(history::TfmDeviceAlert& window) {
        window.findChild<QDateEdit*>(QStringLiteral("dtpBegin"))->setDate(QDate(2026, 3, 1));
        window.findChild<QDateEdit*>(QStringLiteral("dtpEnd"))->setDate(QDate(2026, 3, 31));
        window.findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
        return window.findChild<QTableView*>(QStringLiteral("DBGrid"))->model()->rowCount();
    }

    static db::GridModel& gridOf(history::TfmDeviceAlert& window) {
        return *qobject_cast<db::GridModel*>(
            window.findChild<QTableView*>(QStringLiteral("DBGrid"))->model());
    }

    static int wiringRows(db::Database& db, int deviceCode) {
        QSqlQuery query = db.select(
            QStringLiteral("select count(*) from NGCONFIG where DEVICECODE = %1").arg(deviceCode),
            db::Database::Written::ForEngine);
        return query.next() ? query.value(0).toInt() : -1;
    }

    static data::WiringClaim claimFor(int deviceCode) {
        data::WiringClaim claim{3, 7, deviceCode, {}};
        for (int terminal = 1; terminal <= 4; ++terminal) {
            claim.params.append(
                {terminal, 1, terminal + 4 * (deviceCode - 1), QStringLiteral("p")});
        }
        return claim;
    }

    test::MessageRecorder messages;
};

}  // namespace

TEST_F(Failover, HistoryReadsGoToTheStandbyAndChangesToThePrimary) {
    waitForStandby();
    history::TfmDeviceAlert window(nullptr, data::ModuleContext{connectionString(), {}});
    window.show();
    EXPECT_EQ(alertsShown(window), 1);
    auto grid = db::Database::open(gridOf(window).connectionString());
    EXPECT_TRUE(grid->onStandby());
    EXPECT_TRUE(inRecovery(*grid)) << "the grid's rows come from the standby";

    // Every grid of history reads there: the state history's and the timeline's too.
    history::TfmQueryStatus states(nullptr, data::ModuleContext{connectionString(), {}});
    history::TfmDeviceTimeline timeline(nullptr, data::ModuleContext{connectionString(), {}}, 7, 1);
    for (QWidget* other : {static_cast<QWidget*>(&states), static_cast<QWidget*>(&timeline)}) {
        for (QTableView* view : other->findChildren<QTableView*>()) {
            auto* model = qobject_cast<db::GridModel*>(view->model());
            ASSERT_NE(model, nullptr);
            EXPECT_TRUE(db::Database::open(model->connectionString())->onStandby())
                << other->metaObject()->className();
        }
    }

    auto changes = db::Database::open(connectionString());
    EXPECT_FALSE(inRecovery(*changes));
    EXPECT_FALSE(data::storeWiring(*changes, claimFor(1)).any());
    EXPECT_EQ(wiringRows(*changes, 1), 4);
    EXPECT_TRUE(messages.messages().isEmpty());
}

// A standby gone, or behind by more than MaxLag, is passed over for the primary without a word.
TEST_F(Failover, AStandbyStoppedOrBehindIsPassedOverForThePrimary) {
    history::TfmDeviceAlert window(nullptr, data::ModuleContext{connectionString(), {}});
    window.show();
    EXPECT_EQ(alertsShown(window), 1);
    pair("stop-standby");
    EXPECT_EQ(alertsShown(window), 1) << "read again from the primary";
    EXPECT_TRUE(messages.messages().isEmpty());
    EXPECT_FALSE(db::Database::open(db::standbyReads(connectionString()))->onStandby());
    pair("start-standby");
    waitForStandby();

    const QString lagging = connectionString() + QStringLiteral(";MaxLag=1");
    auto held = db::Database::open(db::standbyReads(lagging));  // a window open for long
    ASSERT_TRUE(held->onStandby());
    auto standby = db::Database::open(db::standbyReads(connectionString()));
    standby->execute(QStringLiteral("select pg_wal_replay_pause()"));
    db::Database::open(connectionString())
        ->execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = '1' WHERE DEVICECODE = 2"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !db::Database::open(db::standbyReads(lagging))->onStandby(); }, 10'000))
        << "a new session passes over a standby more than a second behind";
    // The held session's standby is judged every 10 seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !inRecovery(*held); }, 15'000))
        << "a standby that fell behind is left for the primary";
    EXPECT_TRUE(db::Database::open(db::standbyReads(connectionString()))->onStandby())
        << "30 seconds behind at most by default";
    standby->execute(QStringLiteral("select pg_wal_replay_resume()"));
    waitForStandby();
}

// A window's reads on a standby never wait for the standby to be judged: the judgement is made
// apart, every ten seconds; a read after that time costs its one round trip (counted by a relay
// in front of the standby, between two of the judgements that also pass it).
TEST_F(Failover, AReadOnAStandbyWaitsForNoJudgementOfIt) {
    waitForStandby();
    const QString standby = connectionString().section(QStringLiteral("Standby="), 1);
    tools::DelayRelay relay(static_cast<std::uint16_t>(standby.section(u':', 1).toInt()),
                            std::chrono::milliseconds(0));
    const QString relayed = QString(connectionString())
                                .replace(standby, QStringLiteral("127.0.0.1:%1").arg(relay.port()));
    auto reads = db::Database::open(db::standbyReads(relayed));
    ASSERT_TRUE(reads->onStandby());
    QTest::qWait(10'500);
    const long long before = relay.roundTrips();
    EXPECT_TRUE(inRecovery(*reads));
    EXPECT_EQ(relay.roundTrips() - before, 1);
}

// A standby that no longer hears from its primary (its link cut while all is idle), or a server
// named as a standby that is a primary, is passed over: a change written on the primary is read
// at once, however small MaxLag.
TEST_F(Failover, AStandbyCutOffOrNoStandbyAtAllIsPassedOver) {
    waitForStandby();
    const QString quick = connectionString() + QStringLiteral(";MaxLag=5");
    auto standby = db::Database::open(db::standbyReads(quick));
    ASSERT_TRUE(standby->onStandby());
    QSqlQuery link =
        standby->select(QStringLiteral("show primary_conninfo"), db::Database::Written::ForEngine);
    ASSERT_TRUE(link.next());
    const QString conninfo = link.value(0).toString();
    standby->execute(QStringLiteral("alter system set primary_conninfo = ''"));
    standby->execute(QStringLiteral("select pg_reload_conf()"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QSqlQuery receivers =
                standby->select(QStringLiteral("select count(*) from pg_stat_wal_receiver"),
                                db::Database::Written::ForEngine);
            return receivers.next() && receivers.value(0).toInt() == 0;
        },
        10000));
    db::Database::open(connectionString())
        ->execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = 'cut' WHERE DEVICECODE = 2"));
    auto reads = db::Database::open(db::standbyReads(quick));
    EXPECT_FALSE(reads->onStandby());
    QSqlQuery read =
        reads->select(QStringLiteral("select trim(COMMDATA) from DEVICE where DEVICECODE = 2"),
                      db::Database::Written::ForEngine);
    ASSERT_TRUE(read.next());
    EXPECT_EQ(read.value(0).toString(), QStringLiteral("cut"));
    standby->execute(
        QStringLiteral("alter system set primary_conninfo = %1").arg(db::sqlQuote(conninfo)));
    standby->execute(QStringLiteral("select pg_reload_conf()"));
    waitForStandby();

    const int standbyPort = pairServer().section(QStringLiteral("Standby=127.0.0.1:"), 1).toInt();
    const int primaryPort =
        pairServer().section(QStringLiteral("Port="), 1).section(u',', 0, 0).toInt();
    ASSERT_GT(primaryPort, 0);
    QString primaryAsStandby = connectionString();
    primaryAsStandby.replace(QStringLiteral("Standby=127.0.0.1:%1").arg(standbyPort),
                             QStringLiteral("Standby=127.0.0.1:%1").arg(primaryPort));
    EXPECT_FALSE(db::Database::open(db::standbyReads(primaryAsStandby))->onStandby());
}

// The primary stops and the standby is promoted while windows are open: reads and saves reach the
// new primary without a word; a single write whose outcome is unknown reports the loss once,
// the one after reaches the new primary; what was written before is there once, and a wiring
// save goes through once.
TEST_F(Failover, AfterAFailoverTheNextActionsReachThePromotedServer) {
    auto changes = db::Database::open(connectionString());
    auto reads = db::Database::open(connectionString());
    auto saves = db::Database::open(connectionString());
    history::TfmDeviceAlert window(nullptr, data::ModuleContext{connectionString(), {}});
    window.show();
    EXPECT_EQ(alertsShown(window), 1);
    waitForStandby();
    pair("promote");

    // A read, and a save that begins a transaction, are safe to repeat: they reach the promoted
    // server at the first try, without a word.
    EXPECT_FALSE(inRecovery(*reads));
    {
        db::Transaction save(*saves);
        saves->execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = '3' WHERE DEVICECODE = 1"));
        save.commit();
    }
    EXPECT_EQ(wiringRows(*saves, 1), 4);

    try {
        changes->execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = '2' WHERE DEVICECODE = 2"));
        ADD_FAILURE() << "the failover went unnoticed";
    } catch (const db::DbError& error) {
        EXPECT_TRUE(error.message().startsWith(QStringLiteral("与数据库的连接已中断")))
            << error.message().toStdString();
    }
    changes->execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = '2' WHERE DEVICECODE = 2"));
    EXPECT_FALSE(inRecovery(*changes)) << "the promoted server takes the writes";
    EXPECT_EQ(wiringRows(*changes, 1), 4) << "the save before the failover, once";
    EXPECT_FALSE(data::storeWiring(*changes, claimFor(2)).any());
    EXPECT_EQ(wiringRows(*changes, 2), 4);
    EXPECT_TRUE(data::storeWiring(*changes, claimFor(2)).any()) << "a second save is refused";
    EXPECT_EQ(alertsShown(window), 1) << "the window reads on";
    EXPECT_TRUE(messages.messages().isEmpty()) << messages.texts().join(u'\n').toStdString();
}
