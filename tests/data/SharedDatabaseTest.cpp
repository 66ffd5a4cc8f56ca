#include "data/EarlierHooks.h"
#include "data/Partitions.h"
#include "data/Schema.h"
#include "data/TunnelView.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Transaction.h"
#include "platform/db/ValueText.h"
#include "support/TestDatabase.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tunnel;

namespace {

// Two devices with states and an alert raised and cancelled, written by another program.
void writeHistories(db::Database& other) {
    other.execute(QStringLiteral(
        "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS) VALUES (5, 3, 1), (12, 5, 1)"));
    other.execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(5, 3, '2024-01-01 00:00:00.000', 1), (5, 3, '2024-01-02 00:00:00.000', 2), "
        "(12, 5, '2024-01-01 00:00:00.000', 3)"));
    other.execute(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
        "VALUES (5, 3, '2024-01-01 00:00:00.000', 1, '烟雾'), (5, 3, '2024-01-01 "
        "01:00:00.000', 0, '烟雾')"));
}

// A device's latest rows as the histories hold them: "state@time alert@time text", a dash for
// none.
QString latestInHistories(test::TestDatabase& database, int type, int code) {
    const auto newest = [&](const QString& columns, const QString& table, const QString& time) {
        const QStringList rows = database.rows(
            QStringLiteral("select %1 from %2 where DEVICETYPE=%3 and DEVICECODE=%4 order by %5 "
                           "desc limit 1")
                .arg(columns, table)
                .arg(type)
                .arg(code)
                .arg(time));
        return rows.isEmpty() ? QStringLiteral("-") : rows.front();
    };
    return newest(QStringLiteral("CURSTATUS"), QStringLiteral("DEVICESTATUS"),
                  QStringLiteral("STATUSTIME")) +
           u' ' +
           newest(QStringLiteral("ALERTTYPE"), QStringLiteral("DEVICEALERT"),
                  QStringLiteral("ALERTTIME")) +
           u' ' +
           newest(QStringLiteral("ALERTDESC"), QStringLiteral("DEVICEALERT"),
                  QStringLiteral("ALERTTIME"));
}

QString latestShown(const data::TunnelDevice& device) {
    const bool alert = device.alertAt.isValid();
    return (device.changed ? QString::number(*device.changed) : QStringLiteral("-")) + u' ' +
           (alert ? QString::number(device.alertRaised ? 1 : 0) : QStringLiteral("-")) + u' ' +
           (alert ? device.alertText : QStringLiteral("-"));
}

// Every register device as a station opening the tunnel view reads it, against the histories.
void expectViewShowsTheLatestRows(test::TestDatabase& database, const char* step) {
    auto station = db::Database::open(database.connectionString());
    data::TunnelFeed feed(*station);
    for (const data::TunnelDevice& device : feed.readDevices()) {
        QString expected = latestInHistories(database, device.type, device.code);
        // The view shows whether the latest alert row raises one, not its kind.
        const QStringList parts = expected.split(u' ');
        if (parts.value(1) != u"-") {
            expected = parts[0] + u' ' + (parts[1].toInt() > 0 ? u'1' : u'0') + u' ' +
                       parts.mid(2).join(u' ');
        }
        EXPECT_EQ(latestShown(device), expected)
            << step << ": device " << device.type << '/' << device.code;
    }
}

enum class Isolation { Autocommit, RepeatableRead, Serializable };

struct Write {
    db::Engine engine;
    Isolation isolation;
    const char* what;
    const char* sql;
};

class LatestStateWrites : public ::testing::TestWithParam<Write> {
protected:
    void SetUp() override {
        database_ = test::TestDatabase::create(GetParam().engine);
        if (!database_) {
            test::reportMissingServer();
            return;
        }
        other_ = db::Database::open(database_->connectionString());
        writeHistories(*other_);
    }

    void writeAsAnotherProgram(const QString& sql) {
        if (GetParam().isolation == Isolation::Autocommit) {
            for (const QString& statement : sql.split(u';')) {
                other_->execute(statement);
            }
            return;
        }
        db::Transaction transaction(*other_);
        other_->execute(GetParam().isolation == Isolation::Serializable
                            ? QStringLiteral("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE")
                            : QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
        other_->execute(sql);
        transaction.commit();
    }

    std::unique_ptr<test::TestDatabase> database_;
    std::shared_ptr<db::Database> other_;
};

}  // namespace

// Whatever another program writes to the histories, however and in whichever isolation, a
// station's view then shows each device's latest rows: nothing of the module's took part in the
// write, so nothing can lag behind it.
TEST_P(LatestStateWrites, TheViewShowsEachDevicesLatestRows) {
    expectViewShowsTheLatestRows(*database_, "before");
    ASSERT_NO_THROW(writeAsAnotherProgram(QString::fromUtf8(GetParam().sql)));
    expectViewShowsTheLatestRows(*database_, GetParam().what);
}

namespace {

constexpr std::optional<db::Engine> kSQLiteOnly = db::Engine::SQLite;
constexpr std::optional<db::Engine> kServerOnly = db::Engine::PostgreSQL;
constexpr std::optional<db::Engine> kEveryEngine;

struct Written {
    const char* what;
    std::optional<db::Engine> only;  // the engine where it can be written; every one when none
    const char* sql;
};

const Written kWrites[] = {
    {"ANewerState", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
     "(5, 3, '2024-01-03 00:00:00.000', 4)"},
    {"AnOlderStateWrittenLate", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
     "(5, 3, '2023-12-31 00:00:00.000', 4)"},
    {"InsertOrReplace", kSQLiteOnly,
     "INSERT OR REPLACE INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, "
     "CURSTATUS) VALUES (5, 3, '2024-01-04 00:00:00.000', 3)"},
    {"TheLatestStateDeleted", kEveryEngine,
     "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND STATUSTIME='2024-01-02 00:00:00.000'"},
    {"ADevicesOnlyStateDeleted", kEveryEngine, "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=12"},
    {"TheLatestStateMovedBeforeTheOther", kEveryEngine,
     "UPDATE DEVICESTATUS SET STATUSTIME='2023-01-01 00:00:00.000' WHERE DEVICETYPE=5 "
     "AND CURSTATUS=2"},
    {"TheLatestStatesValueCorrectedTwice", kEveryEngine,
     "UPDATE DEVICESTATUS SET CURSTATUS=4 WHERE DEVICETYPE=5 AND CURSTATUS=2; UPDATE "
     "DEVICESTATUS SET CURSTATUS=3 WHERE DEVICETYPE=5 AND CURSTATUS=4"},
    {"AStateMovedToAnotherDevice", kEveryEngine,
     "UPDATE DEVICESTATUS SET DEVICETYPE=12, DEVICECODE=5, STATUSTIME='2024-02-01 "
     "00:00:00.000' WHERE DEVICETYPE=5 AND CURSTATUS=2"},
    {"TheCancelDeletedTheAlertRaisedAgain", kEveryEngine,
     "DELETE FROM DEVICEALERT WHERE ALERTTYPE=0"},
    {"EveryAlertDeleted", kEveryEngine, "DELETE FROM DEVICEALERT"},
    {"TheStateHistoryTruncated", kServerOnly, "TRUNCATE DEVICESTATUS"},
};

std::vector<Write> writesOn(db::Engine engine) {
    std::vector<Write> writes;
    const std::vector<Isolation> isolations =
        engine == db::Engine::SQLite
            ? std::vector<Isolation>{Isolation::Autocommit}
            : std::vector<Isolation>{Isolation::Autocommit, Isolation::RepeatableRead,
                                     Isolation::Serializable};
    for (const Isolation isolation : isolations) {
        for (const Written& written : kWrites) {
            const bool oneStatement = !QByteArray(written.sql).contains(';');
            if ((!written.only || *written.only == engine) &&
                (isolation == Isolation::Autocommit || oneStatement)) {
                writes.push_back({engine, isolation, written.what, written.sql});
            }
        }
    }
    return writes;
}

std::string writeName(const ::testing::TestParamInfo<Write>& written) {
    const char* isolation[] = {"", "InRepeatableRead", "InSerializable"};
    return std::string(written.param.what) + isolation[static_cast<int>(written.param.isolation)];
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(SQLite, LatestStateWrites,
                         ::testing::ValuesIn(writesOn(db::Engine::SQLite)), writeName);
INSTANTIATE_TEST_SUITE_P(PostgreSQL, LatestStateWrites,
                         ::testing::ValuesIn(writesOn(db::Engine::PostgreSQL)), writeName);

namespace {

class LatestState : public test::EngineTest {};

}  // namespace

// An upgrade takes away what an earlier version put inside a history while another program holds
// the history in an open transaction: it waits a second at a time, says so, and goes on once the
// other lets go; the other program's write is never refused for it.
TEST_P(LatestState, TheUpgradeRemovesOldHooksAroundABusyHistory) {
    const bool server = GetParam() == db::Engine::PostgreSQL;
    if (server) {
        database().exec(
            QStringLiteral("CREATE FUNCTION DEVICESTATUS_KEEP() RETURNS trigger LANGUAGE plpgsql "
                           "AS 'BEGIN RETURN NULL; END'"));
        database().exec(
            QStringLiteral("CREATE TRIGGER DEVICESTATUS_KEEP AFTER INSERT OR UPDATE OR DELETE ON "
                           "DEVICESTATUS FOR EACH ROW EXECUTE FUNCTION DEVICESTATUS_KEEP()"));
    } else {
        database().exec(QStringLiteral("CREATE TABLE DEVICE_LATEST (DEVICETYPE INT)"));
        database().exec(QStringLiteral(
            "CREATE TRIGGER DEVICESTATUS_KEPT_INSERT AFTER INSERT ON DEVICESTATUS BEGIN "
            "INSERT INTO DEVICE_LATEST VALUES (NEW.DEVICETYPE); END"));
    }
    auto holder = db::Database::open(database().connectionString());
    auto holding = std::make_unique<db::Transaction>(*holder);
    holder->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(5, 3, '2024-01-05 00:00:00.000', 2)"));
    QStringList waitedFor;
    const QStringList removed =
        data::removeEarlierHooks(database().db(), [&](const QString& table) {
            waitedFor.append(table);
            if (holding) {
                EXPECT_NO_THROW(holding->commit()) << "the other program's write stands";
                holding.reset();
            }
        });
    EXPECT_EQ(waitedFor, QStringList{QStringLiteral("DEVICESTATUS")});
    const QStringList expected =
        server ? QStringList{QStringLiteral("trigger DEVICESTATUS_KEEP on DEVICESTATUS"),
                             QStringLiteral("function DEVICESTATUS_KEEP")}
               : QStringList{QStringLiteral("trigger DEVICESTATUS_KEPT_INSERT on DEVICESTATUS"),
                             QStringLiteral("table DEVICE_LATEST")};
    EXPECT_EQ(removed, expected);
    EXPECT_EQ(data::triggersOnSharedTables(database().db()), QStringList{});
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICESTATUS")), 1);
}

// An index the upgrade adds to a history is built beside its writers: while the build waits for
// a program's open transaction, another program's rows still go in at once.
TEST_P(LatestState, TheUpgradesIndexesAreBuiltBesideTheWriters) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "SQLite has one writer at a time: any write of the file waits for another";
    }
    database().exec(QStringLiteral("DROP INDEX IX_DEVICESTATUS_DEVICE_STATE"));
    auto holder = db::Database::open(database().connectionString());
    db::Transaction holding(*holder);
    holder->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(5, 3, '2024-01-05 00:00:00.000', 2)"));
    std::exception_ptr failed;
    std::thread upgrading([&, text = database().connectionString()] {
        try {
            auto session = db::Database::open(text + QStringLiteral(";Lock Timeout=30"));
            data::upgradeSchema(*session);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    const bool buildWaits = QTest::qWaitFor(
        [&] {
            return database().scalarInt(QStringLiteral(
                       "select count(*) from pg_stat_activity where query ilike 'create index%' "
                       "and wait_event_type = 'Lock'")) > 0;
        },
        10000);
    auto writer =
        db::Database::open(database().connectionString() + QStringLiteral(";Lock Timeout=1"));
    EXPECT_TRUE(buildWaits);
    EXPECT_NO_THROW(writer->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(5, 3, '2024-01-06 00:00:00.000', 3)")));
    holding.commit();
    upgrading.join();
    EXPECT_FALSE(failed);
    EXPECT_EQ(database().scalarInt(QStringLiteral(
                  "select count(*) from pg_index i join pg_class c on c.oid = i.indexrelid where "
                  "c.relname = 'ix_devicestatus_device_state' and i.indisvalid")),
              1);
}

// A month's partition is made (its rows moved out of the default partition) and an old month
// detached while a driver writes rows of that month and of others, and while another program
// holds the alerts in a long transaction: the driver's every row goes in, none waiting beyond
// its one-second bound, and each lands in its month's partition.
TEST_P(LatestState, PartitionsAreMadeAndDetachedWhileDriversWrite) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "partitions are PostgreSQL's";
    }
    database().exec(QStringLiteral("DELETE FROM DEVICESTATUS"));
    database().exec(QStringLiteral("DELETE FROM DEVICEALERT"));
    const QDate today(2026, 6, 15);
    data::partitionHistories(database().db(), QDate(2026, 1, 1), today, 0);
    std::atomic<int> written{0};
    std::atomic<bool> stop{false};
    QString writerFailed;
    std::thread driver([&, text = database().connectionString()] {
        try {
            auto writer = db::Database::open(text + QStringLiteral(";Lock Timeout=2"));
            for (int n = 0; !stop; ++n) {
                writer->execute(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                                               "STATUSTIME, CURSTATUS) VALUES (1, %1, "
                                               "'2026-%2-10 10:00:00', 1)")
                                    .arg(n)
                                    .arg(n % 2 == 0 ? QStringLiteral("07") : QStringLiteral("03")));
                ++written;
            }
        } catch (const db::DbError& error) {
            writerFailed = error.message();
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return written > 200; }, 10000));
    auto holder = db::Database::open(database().connectionString());
    auto holding = std::make_unique<db::Transaction>(*holder);
    holder->execute(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE) VALUES "
        "(1, 1, '2026-03-01 00:00:00', 1)"));
    QStringList said;
    const data::PartitionChanges changes = data::maintainPartitions(
        database().db(), today, 1, QDate(2026, 2, 1), [&](const QString& text) {
            said.append(text);
            if (holding) {
                holding->commit();
                holding.reset();
            }
        });
    stop = true;
    driver.join();
    EXPECT_EQ(writerFailed, QString());
    EXPECT_TRUE(said.contains(QStringLiteral("DEVICEALERT is busy; trying again.")))
        << said.join(u'\n').toStdString();
    EXPECT_TRUE(changes.created.contains(QStringLiteral("devicestatus_p202607")));
    EXPECT_TRUE(changes.detached.contains(QStringLiteral("devicealert_p202601")));
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICESTATUS")),
              written.load());
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from devicestatus_p202607")),
              (written.load() + 1) / 2)
        << "every row of July in its own partition, none left in the default one";
    database().exec(QStringLiteral("DROP TABLE devicestatus_p202601, devicealert_p202601"));
}

// Two runs of the maintenance at once: the second says it waits, and does its work once the
// first has ended.
TEST_P(LatestState, ASecondPartitionsRunWaitsForTheFirstAndSaysSo) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "partitions are PostgreSQL's";
    }
    const QDate today(2026, 6, 15);
    data::partitionHistories(database().db(), QDate(2026, 3, 1), today, 0);
    auto first = db::Database::open(database().connectionString());
    first->execute(QStringLiteral("SELECT pg_advisory_lock(7310500101)"));  // a run under way
    std::atomic<bool> told{false};
    QStringList created;
    QString failed;
    std::thread second([&, text = database().connectionString()] {
        try {
            auto db = db::Database::open(text);
            created =
                data::maintainPartitions(*db, today, 1, std::nullopt, [&](const QString& said) {
                    told = said.contains(QStringLiteral("Another run"));
                }).created;
        } catch (const db::DbError& error) {
            failed = error.message();
        }
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return told.load(); }, 10000));
    EXPECT_EQ(database().scalarInt(QStringLiteral(
                  "select count(*) from pg_class where relname = 'devicestatus_p202607'")),
              0)
        << "nothing done while the first runs";
    first->execute(QStringLiteral("SELECT pg_advisory_unlock(7310500101)"));
    second.join();
    EXPECT_EQ(failed, QString());
    EXPECT_EQ(created, (QStringList{QStringLiteral("devicealert_p202607"),
                                    QStringLiteral("devicestatus_p202607")}));
}

TUNNEL_ON_EVERY_ENGINE(LatestState);
