#include "data/KeptState.h"
#include "data/Partitions.h"
#include "data/Schema.h"
#include "data/TunnelView.h"
#include "platform/db/Database.h"
#include "platform/db/Transaction.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace tunnel;

namespace {

// The kept rows, one a device: SQLite's table, or each device's newest copies on a server.
QString keptRows(db::Engine engine) {
    if (engine == db::Engine::SQLite) {
        return QStringLiteral("DEVICE_LATEST");
    }
    return QStringLiteral(
        "(select * from (select distinct on (DEVICETYPE, DEVICECODE) DEVICETYPE, DEVICECODE, "
        "STATUSTIME, CURSTATUS from DEVICESTATUS_KEPT order by DEVICETYPE, DEVICECODE, "
        "STATUSTIME desc) s full join (select distinct on (DEVICETYPE, DEVICECODE) DEVICETYPE, "
        "DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC from DEVICEALERT_KEPT order by DEVICETYPE, "
        "DEVICECODE, ALERTTIME desc) a using (DEVICETYPE, DEVICECODE))");
}

// Each device's kept row against its latest history rows read from the histories themselves,
// every kept column; the devices are those of the kept rows and of the histories.
QString keptAgainstHistories(db::Engine engine) {
    return QStringLiteral(
               "select v.DEVICETYPE, v.DEVICECODE, k.STATUSTIME, k.CURSTATUS, k.ALERTTIME, "
               "k.ALERTTYPE, k.ALERTDESC, (select h.STATUSTIME from DEVICESTATUS h where "
               "h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by h.STATUSTIME "
               "desc limit 1) AS S1, (select h.CURSTATUS from DEVICESTATUS h where "
               "h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by h.STATUSTIME "
               "desc limit 1) AS S2, (select h.ALERTTIME from DEVICEALERT h where "
               "h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by h.ALERTTIME desc "
               "limit 1) AS A1, (select h.ALERTTYPE from DEVICEALERT h where "
               "h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by h.ALERTTIME desc "
               "limit 1) AS A2, (select h.ALERTDESC from DEVICEALERT h where "
               "h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by h.ALERTTIME desc "
               "limit 1) AS A3 from (select DEVICETYPE, DEVICECODE from %1 kd union select "
               "DEVICETYPE, DEVICECODE from DEVICESTATUS where DEVICETYPE is not null and "
               "DEVICECODE is not null union select DEVICETYPE, DEVICECODE from DEVICEALERT where "
               "DEVICETYPE is not null and DEVICECODE is not null) v left join %1 k on "
               "k.DEVICETYPE=v.DEVICETYPE and k.DEVICECODE=v.DEVICECODE order by 1, 2")
        .arg(keptRows(engine));
}

// "type|code|kept columns|latest columns": the halves must be equal.
void expectKeptIsLatest(test::TestDatabase& database, const char* step) {
    const QStringList rows = database.rows(keptAgainstHistories(database.engine()));
    for (const QString& row : rows) {
        const QStringList values = row.split(u'|');
        ASSERT_EQ(values.size(), 12);
        EXPECT_EQ(values.mid(2, 5), values.mid(7, 5))
            << step << ": device " << values[0].toStdString() << '/' << values[1].toStdString()
            << " kept " << values.mid(2, 5).join(u',').toStdString();
    }
}

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

class KeptState : public test::EngineTest {
protected:
    void prepare() override {
        other_ = db::Database::open(database().connectionString());
        writeHistories(*other_);
    }

    std::shared_ptr<db::Database> other_;  // another program writing the database
};

struct Write {
    db::Engine engine;
    const char* what;
    const char* sql;
};

class KeptStateWrites : public ::testing::TestWithParam<Write> {
protected:
    void SetUp() override {
        database_ = test::TestDatabase::create(GetParam().engine);
        if (!database_) {
            test::reportMissingServer();
            return;
        }
        other_ = db::Database::open(database().connectionString());
        writeHistories(*other_);
    }

    test::TestDatabase& database() { return *database_; }

    std::unique_ptr<test::TestDatabase> database_;
    std::shared_ptr<db::Database> other_;
};

}  // namespace

// Whatever another program writes to the histories, and however, each device's kept row is its
// latest rows; a write never fails for the kept rows' sake.
TEST_P(KeptStateWrites, KeptRowsAreTheLatestHistoryRows) {
    expectKeptIsLatest(database(), "before");
    ASSERT_NO_THROW(other_->execute(QString::fromUtf8(GetParam().sql)));
    expectKeptIsLatest(database(), GetParam().what);
    EXPECT_EQ(
        database().scalarInt(
            QStringLiteral(
                "select count(*) from (select DEVICETYPE, DEVICECODE from DEVICESTATUS union "
                "select DEVICETYPE, DEVICECODE from DEVICEALERT) v where DEVICETYPE is not null "
                "and DEVICECODE is not null and not exists (select 1 from %1 k where "
                "k.DEVICETYPE=v.DEVICETYPE and k.DEVICECODE=v.DEVICECODE)")
                .arg(keptRows(GetParam().engine))),
        0)
        << "a kept row for every device the histories name";
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
    {"a newer state", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
     "(5, 3, '2024-01-03 00:00:00.000', 4)"},
    {"an older state written late", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
     "(5, 3, '2023-12-31 00:00:00.000', 4)"},
    {"a device's first state", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
     "(24, 1, '2024-01-01 00:00:00.000', 2)"},
    {"a state of no device", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
     "(NULL, 1, '2024-01-05 00:00:00.000', 2)"},
    {"a state with INSERT OR REPLACE, the alert kept beside it", kSQLiteOnly,
     "INSERT OR REPLACE INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, "
     "CURSTATUS) VALUES (5, 3, '2024-01-04 00:00:00.000', 3)"},
    {"a state with INSERT OR FAIL", kSQLiteOnly,
     "INSERT OR FAIL INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) "
     "VALUES (5, 3, '2024-01-04 00:00:00.000', 3)"},
    {"the latest state deleted", kEveryEngine,
     "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND STATUSTIME='2024-01-02 "
     "00:00:00.000'"},
    {"an older state deleted", kEveryEngine,
     "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND STATUSTIME='2024-01-01 "
     "00:00:00.000'"},
    {"a device's only state deleted", kEveryEngine, "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=12"},
    {"the latest state moved before the other", kEveryEngine,
     "UPDATE DEVICESTATUS SET STATUSTIME='2023-01-01 00:00:00.000' WHERE DEVICETYPE=5 "
     "AND CURSTATUS=2"},
    {"the latest state's value corrected", kEveryEngine,
     "UPDATE DEVICESTATUS SET CURSTATUS=4 WHERE DEVICETYPE=5 AND CURSTATUS=2"},
    {"a state moved to another device", kEveryEngine,
     "UPDATE DEVICESTATUS SET DEVICETYPE=12, DEVICECODE=5, STATUSTIME='2024-02-01 "
     "00:00:00.000' WHERE DEVICETYPE=5 AND CURSTATUS=2"},
    {"an alert cancelled", kEveryEngine,
     "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
     "VALUES (12, 5, '2024-01-01 00:00:00.000', 2, '通讯中断')"},
    {"the cancel deleted, the alert raised again", kEveryEngine,
     "DELETE FROM DEVICEALERT WHERE ALERTTYPE=0"},
    {"every alert deleted", kEveryEngine, "DELETE FROM DEVICEALERT"},
    {"two newer states of a device in one statement", kEveryEngine,
     "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES (5, 3, "
     "'2024-01-06 00:00:00.000', 3), (5, 3, '2024-01-05 00:00:00.000', 4)"},
    {"the state history emptied at once", kServerOnly, "TRUNCATE DEVICESTATUS"},
};

std::vector<Write> writesOn(db::Engine engine) {
    std::vector<Write> writes;
    for (const Written& written : kWrites) {
        if (!written.only || *written.only == engine) {
            writes.push_back({engine, written.what, written.sql});
        }
    }
    return writes;
}

std::string writeName(const ::testing::TestParamInfo<Write>& written) {
    return "Write" + std::to_string(written.index);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(SQLite, KeptStateWrites, ::testing::ValuesIn(writesOn(db::Engine::SQLite)),
                         writeName);
INSTANTIATE_TEST_SUITE_P(PostgreSQL, KeptStateWrites,
                         ::testing::ValuesIn(writesOn(db::Engine::PostgreSQL)), writeName);
TUNNEL_ON_EVERY_ENGINE(KeptState);

TEST_P(KeptState, EveryWriteOfTheRegisterRaisesItsVersion) {
    if (GetParam() != db::Engine::SQLite) {
        return;  // a server tells of the register's writes itself
    }
    qint64 version = data::registerVersion(database().db());
    for (const char* sql : {"INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS) VALUES (1, 1, 1)",
                            "UPDATE DEVICE SET METER=5 WHERE DEVICETYPE=1",
                            "DELETE FROM DEVICE WHERE DEVICETYPE=1"}) {
        other_->execute(QString::fromLatin1(sql));
        const qint64 now = data::registerVersion(database().db());
        EXPECT_GT(now, version) << sql;
        version = now;
    }
    database().exec(
        QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                       "STATUSTIME, CURSTATUS) VALUES (5, 3, '2025-01-01 00:00:00.000', 1)"));
    EXPECT_EQ(data::registerVersion(database().db()), version) << "a history write is not one";
}

// A database of an earlier version has the histories and none of the kept rows: the upgrade
// takes each device's latest rows into them, and after it the triggers keep them.
TEST_P(KeptState, TheUpgradeFillsTheKeptRowsFromTheHistories) {
    data::dropKeptState(database().db());
    other_->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(24, 1, '2024-03-01 00:00:00.000', 2)"));
    ASSERT_FALSE(data::hasKeptState(database().db()));
    const QStringList tables = data::keptStateTables(GetParam());
    const QStringList added = data::upgradeSchema(database().db());
    for (const QString& table : tables) {
        EXPECT_TRUE(added.contains(table)) << table.toStdString();
    }
    ASSERT_TRUE(data::hasKeptState(database().db()));
    EXPECT_EQ(
        database().scalarInt(QStringLiteral("select count(*) from %1 k").arg(keptRows(GetParam()))),
        3);
    expectKeptIsLatest(database(), "upgraded");
    other_->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(24, 1, '2024-03-02 00:00:00.000', 4)"));
    expectKeptIsLatest(database(), "written after the upgrade");
    EXPECT_FALSE(data::upgradeSchema(database().db()).contains(tables.first()));
}

// Writers of one device on a server never wait for each other's copies: another program holds
// a newer row of the device uncommitted (and the copies it took away) while a second writes a
// newer one still and deletes an older one; whether the first commits or rolls back, each
// device's newest copy is its latest row.
TEST_P(KeptState, WritersOfOneDeviceNeverWaitForEachOther) {
    if (GetParam() != db::Engine::PostgreSQL) {
        return;  // SQLite has one writer at a time
    }
    for (const bool commits : {true, false}) {
        auto holder = db::Database::open(database().connectionString());
        auto writer =
            db::Database::open(database().connectionString() + QStringLiteral(";Lock Timeout=1"));
        {
            db::Transaction holding(*holder);
            holder->execute(QStringLiteral(
                "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) "
                "VALUES (5, 3, '2024-02-01 00:00:00.000', 3)"));
            EXPECT_NO_THROW(writer->execute(QStringLiteral(
                "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) "
                "VALUES (5, 3, '2024-03-01 00:00:00.000', 4)")))
                << commits;
            EXPECT_NO_THROW(writer->execute(
                QStringLiteral("DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND DEVICECODE=3 AND "
                               "STATUSTIME='2024-01-01 00:00:00.000'")))
                << commits;
            if (commits) {
                holding.commit();
            }
        }
        expectKeptIsLatest(database(), commits ? "committed" : "rolled back");
        writer->execute(
            QStringLiteral("DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND DEVICECODE=3 AND "
                           "STATUSTIME='2024-03-01 00:00:00.000'"));
        expectKeptIsLatest(database(), "the newest deleted");
    }
}

// A program writing in REPEATABLE READ never fails for the copies: here another wrote a newer
// row of the device (taking its older copies away) after the transaction's snapshot, and the
// transaction then writes one more and deletes an older one.
TEST_P(KeptState, AWriterInRepeatableReadNeverFailsForTheCopies) {
    if (GetParam() != db::Engine::PostgreSQL) {
        return;  // SQLite's transactions are serializable
    }
    auto repeatable = db::Database::open(database().connectionString());
    {
        db::Transaction transaction(*repeatable);
        repeatable->execute(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
        repeatable->execute(QStringLiteral("SELECT count(*) FROM DEVICESTATUS"));
        other_->execute(QStringLiteral(
            "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
            "(5, 3, '2024-02-01 00:00:00.000', 3)"));
        EXPECT_NO_THROW(repeatable->execute(QStringLiteral(
            "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
            "(5, 3, '2024-03-01 00:00:00.000', 4)")));
        EXPECT_NO_THROW(repeatable->execute(
            QStringLiteral("DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND DEVICECODE=3 AND "
                           "STATUSTIME='2024-01-02 00:00:00.000'")));
        EXPECT_NO_THROW(transaction.commit());
    }
    expectKeptIsLatest(database(), "written in REPEATABLE READ");
}

// The copies stay a device's newest rows, not a second history: each newer row written alone
// takes the device's older copies away, in both tables.
TEST_P(KeptState, ANewerRowTakesTheOlderCopiesAway) {
    if (GetParam() != db::Engine::PostgreSQL) {
        return;  // SQLite keeps one row a device by its key
    }
    for (const char* day : {"03", "04", "05"}) {
        other_->execute(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                                       "STATUSTIME, CURSTATUS) VALUES (5, 3, '2024-01-%1', 1)")
                            .arg(QLatin1String(day)));
        other_->execute(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, "
                                       "ALERTTIME, ALERTTYPE, ALERTDESC) VALUES (5, 3, "
                                       "'2024-01-%1', 1, '烟雾')")
                            .arg(QLatin1String(day)));
    }
    EXPECT_EQ(database().rows(
                  QStringLiteral("select DEVICETYPE || '/' || DEVICECODE || ':' || count(*) from "
                                 "DEVICESTATUS_KEPT group by DEVICETYPE, DEVICECODE order by 1")),
              QStringList({QStringLiteral("12/5:1"), QStringLiteral("5/3:1")}));
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICEALERT_KEPT")), 1);
}

// A program allowed to write the histories and nothing else still writes them (the copies are
// the module's), and a station allowed to read the histories but not the copies is given every
// device's latest rows from the histories.
TEST_P(KeptState, RolesWithoutRightsOnTheCopiesWriteAndReadTheHistories) {
    if (GetParam() != db::Engine::PostgreSQL) {
        return;  // SQLite has no roles
    }
    // Roles are the cluster's: ones of this process's own, as other test runs share the cluster.
    const QString writerRole =
        QStringLiteral("tunnel_history_writer_%1").arg(QCoreApplication::applicationPid());
    const QString readerRole =
        QStringLiteral("tunnel_history_reader_%1").arg(QCoreApplication::applicationPid());
    for (const QString& role : {writerRole, readerRole}) {
        database().exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
        database().exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role));
    }
    database().exec(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON DEVICESTATUS, "
                                   "DEVICEALERT TO %1")
                        .arg(writerRole));
    database().exec(
        QStringLiteral("GRANT SELECT ON DEVICE, DEVICESTATUS, DEVICEALERT TO %1").arg(readerRole));
    {
        auto writer = db::Database::open(database().connectionString() +
                                         QStringLiteral(";User ID=") + writerRole);
        writer->execute(QStringLiteral(
            "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
            "(12, 5, '2024-02-01 00:00:00.000', 4)"));
        writer->execute(QStringLiteral("DELETE FROM DEVICEALERT WHERE ALERTTYPE=0"));
        expectKeptIsLatest(database(), "written by a role without rights on the copies");

        auto reader = db::Database::open(database().connectionString() +
                                         QStringLiteral(";User ID=") + readerRole);
        EXPECT_FALSE(data::hasKeptState(*reader));
        data::TunnelFeed feed(*reader);
        const QVector<data::TunnelDevice> devices = feed.readDevices();
        ASSERT_EQ(devices.size(), 2);
        EXPECT_EQ(devices[0].changed, 2);
        EXPECT_TRUE(devices[0].alertRaised);
        EXPECT_EQ(devices[1].changed, 4);
    }
    for (const QString& role : {writerRole, readerRole}) {
        database().exec(QStringLiteral("DROP OWNED BY %1").arg(role));
        database().exec(QStringLiteral("DROP ROLE %1").arg(role));
    }
}

// Partitions change the histories without their row triggers: a detached month takes its rows'
// copies with it (what the default partition still holds of those months is kept again), and a
// coming month's rows that move out of the default partition into their own stay kept.
TEST_P(KeptState, PartitionsDetachedAndMadeLeaveTheLatestRowsKept) {
    if (GetParam() != db::Engine::PostgreSQL) {
        return;  // partitions are PostgreSQL's
    }
    database().exec(QStringLiteral("DELETE FROM DEVICESTATUS"));
    database().exec(QStringLiteral("DELETE FROM DEVICEALERT"));
    data::partitionHistories(database().db(), QDate(2026, 1, 1), QDate(2026, 6, 15), 1);
    other_->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(1, 1, '2026-01-10 00:00:00.000', 1), (1, 2, '2025-06-01 00:00:00.000', 2), "
        "(1, 2, '2026-01-20 00:00:00.000', 3), (1, 3, '2026-02-01 00:00:00.000', 1), "
        "(1, 3, '2026-09-01 00:00:00.000', 4)"));
    expectKeptIsLatest(database(), "written");
    const data::PartitionChanges changes =
        data::maintainPartitions(database().db(), QDate(2026, 6, 15), 3, QDate(2026, 2, 1));
    ASSERT_TRUE(changes.detached.contains(QStringLiteral("devicestatus_p202601")));
    ASSERT_TRUE(changes.created.contains(QStringLiteral("devicestatus_p202609")));
    expectKeptIsLatest(database(), "partitions detached and made");
}

// A writer's session keeps the triggers' plans: made while the copies were a page (and the
// server knew it), they must still look a device's copies up by the index, never read them all
// for every row written, as they would once the copies are a whole register's.
TEST_P(KeptState, ARowWrittenNeverReadsEveryCopy) {
    if (GetParam() != db::Engine::PostgreSQL) {
        return;  // SQLite's triggers are planned with every statement
    }
    database().exec(QStringLiteral("ANALYZE DEVICESTATUS_KEPT"));
    db::Transaction transaction(*other_);
    for (int code = 1; code <= 10; ++code) {
        other_->execute(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                                       "STATUSTIME, CURSTATUS) VALUES (5, 3, '2024-02-%1', 1)")
                            .arg(code, 2, 10, QLatin1Char('0')));
    }
    int wholeReads = -1;
    other_->forEachRow(
        QStringLiteral("SELECT pg_stat_get_xact_numscans(to_regclass('devicestatus_kept'))"), {},
        [&](const QVariantList& row) { wholeReads = row[0].toInt(); });
    EXPECT_EQ(wholeReads, 0);
}
