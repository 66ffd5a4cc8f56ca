// The module behind PgBouncer in transaction pooling, as installations with many stations run
// it: the pooler hands the server's sessions round at each transaction's end, so nothing of a
// station may outlive its transaction on a server session (prepared statements, settings).
#include "devices/DeviceFixture.h"
#include "devices/TfmDeviceMainage.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/SessionPool.h"
#include "platform/db/Transaction.h"
#include "wiring/TfmNetGateConfig.h"

#include <QRegularExpression>
#include <QTableView>

using namespace tunnel;
using namespace tunnel::test;

namespace {

class BehindAPooler : public DeviceWindows {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("TUNNEL_TEST_PG_POOLER")) {
            if (qEnvironmentVariableIsSet("CI")) {
                FAIL() << "TUNNEL_TEST_PG_POOLER is not set: scripts/test.sh starts PgBouncer";
            }
            GTEST_SKIP() << "TUNNEL_TEST_PG_POOLER is not set; these cases need PgBouncer";
        }
        DeviceWindows::SetUp();
    }
    void TearDown() override {
        db::sessionPool::closeAll();
        DeviceWindows::TearDown();
    }
    void prepare() override {
        DeviceWindows::prepare();
        database().exec(QStringLiteral(
            "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) SELECT 1, n FROM generate_series(1, "
            "1500) n"));
    }

    // This test's database, reached through the pooler.
    QString pooled(const QString& more = {}) {
        static const QRegularExpression port(QStringLiteral("Port=(\\d+)"));
        const QString pooler = qEnvironmentVariable("TUNNEL_TEST_PG_POOLER");
        QString text = database().connectionString();
        text.replace(port, port.match(pooler).captured(0));
        return text + QStringLiteral(";Pooler=transaction") + more;
    }
    data::ModuleContext pooledContext() { return {pooled(), {}}; }

    // Reads a list window's grid to its end, batch by batch.
    static int rowsReadToTheEnd(QTableView& grid) {
        QAbstractItemModel& model = *grid.model();
        while (model.canFetchMore({})) {
            model.fetchMore({});
        }
        return model.rowCount();
    }
};

}  // namespace

// Two stations' windows, opened again and again and read batch by batch, take turns on the same
// two server sessions: every open and every batch comes whole (no statement of one station is
// missing from, or mistaken for another's, on the session the pooler gave it).
TEST_P(BehindAPooler, WindowsOpenAgainAndAgainAndReadWhole) {
    for (int open = 0; open < 3; ++open) {
        SCOPED_TRACE(open);
        devices::TfmDeviceMainage one(nullptr, pooledContext());
        devices::TfmDeviceMainage other(nullptr, pooledContext());
        one.show();
        other.show();
        auto* oneGrid = child<QTableView>(one, "DBGrid1");
        auto* otherGrid = child<QTableView>(other, "DBGrid1");
        ASSERT_EQ(rowsReadToTheEnd(*oneGrid), 1503);
        ASSERT_EQ(rowsReadToTheEnd(*otherGrid), 1503);
        wiring::TfmNetGateConfig gateways(nullptr, pooledContext());
        gateways.show();
        EXPECT_EQ(child<QTableView>(gateways, "DBGrid1")->model()->rowCount(), 1);
    }
}

// What a station did leaves nothing on the server's sessions for the next program the pooler
// hands them to: no statement prepared, no setting changed.
TEST_P(BehindAPooler, NothingOfAStationOutlivesItsTransaction) {
    {
        devices::TfmDeviceMainage list(nullptr, pooledContext());
        list.show();
        rowsReadToTheEnd(*child<QTableView>(list, "DBGrid1"));
    }
    auto other = db::Database::open(pooled());
    for (int turn = 0; turn < 4; ++turn) {  // whichever server session the pooler gives
        int prepared = -1;
        QString planning;
        other->forEachRow(QStringLiteral("select (select count(*) from pg_prepared_statements), "
                                         "current_setting('plan_cache_mode')"),
                          {}, [&](const QVariantList& row) {
                              prepared = row[0].toInt();
                              planning = row[1].toString();
                          });
        EXPECT_EQ(prepared, 0);
        EXPECT_EQ(planning, QStringLiteral("auto"));
    }
}

// A write that meets another program's lock gives up within the connection's bound, though the
// pooler passes no setting at the session's start: the bound is the transaction's own.
TEST_P(BehindAPooler, ALockWaitIsBoundedInEveryTransaction) {
    auto holder = db::Database::open(database().connectionString());
    db::Transaction holding(*holder);
    holder->execute(
        QStringLiteral("UPDATE DEVICE SET CYCLE=5 WHERE DEVICETYPE=1 AND DEVICECODE=7"));
    auto station = db::Database::open(pooled(QStringLiteral(";Lock Timeout=1")));
    try {
        db::Transaction writing(*station);
        station->execute(
            QStringLiteral("UPDATE DEVICE SET CYCLE=6 WHERE DEVICETYPE=1 AND DEVICECODE=7"));
        writing.commit();
        ADD_FAILURE() << "the write waited for the lock and went through";
    } catch (const db::DbError& error) {
        EXPECT_TRUE(error.isBusy()) << error.message().toStdString();
    }
    holding.commit();
    EXPECT_EQ(device(1, 7, QStringLiteral("CYCLE")), QStringLiteral("5"));
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, BehindAPooler, ::testing::Values(db::Engine::PostgreSQL),
                         engineName);
