#include "data/KeptState.h"
#include "data/Schema.h"
#include "platform/db/Database.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace tunnel;

namespace {

// Each device's kept row against its latest history rows read from the histories themselves,
// every kept column; the devices are those of the kept rows and of the histories.
const char* const kKeptAgainstHistories =
    "select v.DEVICETYPE, v.DEVICECODE, k.STATUSTIME, k.CURSTATUS, k.ALERTTIME, k.ALERTTYPE, "
    "k.ALERTDESC, (select h.STATUSTIME from DEVICESTATUS h where h.DEVICETYPE=v.DEVICETYPE and "
    "h.DEVICECODE=v.DEVICECODE order by h.STATUSTIME desc limit 1) AS S1, (select h.CURSTATUS "
    "from DEVICESTATUS h where h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by "
    "h.STATUSTIME desc limit 1) AS S2, (select h.ALERTTIME from DEVICEALERT h where "
    "h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by h.ALERTTIME desc limit 1) "
    "AS A1, (select h.ALERTTYPE from DEVICEALERT h where h.DEVICETYPE=v.DEVICETYPE and "
    "h.DEVICECODE=v.DEVICECODE order by h.ALERTTIME desc limit 1) AS A2, (select h.ALERTDESC "
    "from DEVICEALERT h where h.DEVICETYPE=v.DEVICETYPE and h.DEVICECODE=v.DEVICECODE order by "
    "h.ALERTTIME desc limit 1) AS A3 from (select DEVICETYPE, DEVICECODE from DEVICE_LATEST "
    "union select DEVICETYPE, DEVICECODE from DEVICESTATUS where DEVICETYPE is not null and "
    "DEVICECODE is not null union select DEVICETYPE, DEVICECODE from DEVICEALERT where "
    "DEVICETYPE is not null and DEVICECODE is not null) v left join DEVICE_LATEST k on "
    "k.DEVICETYPE=v.DEVICETYPE and k.DEVICECODE=v.DEVICECODE order by 1, 2";

// "type|code|kept columns|latest columns": the halves must be equal.
void expectKeptIsLatest(test::TestDatabase& database, const char* step) {
    const QStringList rows = database.rows(QString::fromLatin1(kKeptAgainstHistories));
    for (const QString& row : rows) {
        const QStringList values = row.split(u'|');
        ASSERT_EQ(values.size(), 12);
        EXPECT_EQ(values.mid(2, 5), values.mid(7, 5))
            << step << ": device " << values[0].toStdString() << '/' << values[1].toStdString()
            << " kept " << values.mid(2, 5).join(u',').toStdString();
    }
}

class KeptState : public ::testing::Test {
protected:
    void SetUp() override {
        database_ = test::TestDatabase::create(db::Engine::SQLite);
        other_ = db::Database::open(database_->connectionString());
        other_->execute(QStringLiteral(
            "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS) VALUES (5, 3, 1), (12, 5, 1)"));
        other_->execute(QStringLiteral(
            "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
            "(5, 3, '2024-01-01 00:00:00.000', 1), (5, 3, '2024-01-02 00:00:00.000', 2), "
            "(12, 5, '2024-01-01 00:00:00.000', 3)"));
        other_->execute(QStringLiteral(
            "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
            "VALUES (5, 3, '2024-01-01 00:00:00.000', 1, '烟雾'), (5, 3, '2024-01-01 "
            "01:00:00.000', 0, '烟雾')"));
    }

    std::unique_ptr<test::TestDatabase> database_;
    std::shared_ptr<db::Database> other_;  // another program writing the file
};

struct Write {
    const char* what;
    const char* sql;
};

class KeptStateWrites : public KeptState, public ::testing::WithParamInterface<Write> {};

}  // namespace

// Whatever another program writes to the histories, and however, each device's kept row is its
// latest rows; a write never fails for the kept rows' sake.
TEST_P(KeptStateWrites, KeptRowsAreTheLatestHistoryRows) {
    expectKeptIsLatest(*database_, "before");
    ASSERT_NO_THROW(other_->execute(QString::fromUtf8(GetParam().sql)));
    expectKeptIsLatest(*database_, GetParam().what);
    EXPECT_EQ(database_->scalarInt(QStringLiteral(
                  "select count(*) from (select DEVICETYPE, DEVICECODE from DEVICESTATUS union "
                  "select DEVICETYPE, DEVICECODE from DEVICEALERT) v where DEVICETYPE is not null "
                  "and DEVICECODE is not null and not exists (select 1 from DEVICE_LATEST k where "
                  "k.DEVICETYPE=v.DEVICETYPE and k.DEVICECODE=v.DEVICECODE)")),
              0)
        << "a kept row for every device the histories name";
}

INSTANTIATE_TEST_SUITE_P(
    Histories, KeptStateWrites,
    ::testing::Values(
        Write{"a newer state",
              "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
              "(5, 3, '2024-01-03 00:00:00.000', 4)"},
        Write{"an older state written late",
              "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
              "(5, 3, '2023-12-31 00:00:00.000', 4)"},
        Write{"a device's first state",
              "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
              "(24, 1, '2024-01-01 00:00:00.000', 2)"},
        Write{"a state of no device",
              "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
              "(NULL, 1, '2024-01-05 00:00:00.000', 2)"},
        Write{"a state with INSERT OR REPLACE, the alert kept beside it",
              "INSERT OR REPLACE INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, "
              "CURSTATUS) VALUES (5, 3, '2024-01-04 00:00:00.000', 3)"},
        Write{"a state with INSERT OR FAIL",
              "INSERT OR FAIL INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) "
              "VALUES (5, 3, '2024-01-04 00:00:00.000', 3)"},
        Write{"the latest state deleted",
              "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND STATUSTIME='2024-01-02 "
              "00:00:00.000'"},
        Write{"an older state deleted",
              "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=5 AND STATUSTIME='2024-01-01 "
              "00:00:00.000'"},
        Write{"a device's only state deleted", "DELETE FROM DEVICESTATUS WHERE DEVICETYPE=12"},
        Write{"the latest state moved before the other",
              "UPDATE DEVICESTATUS SET STATUSTIME='2023-01-01 00:00:00.000' WHERE DEVICETYPE=5 "
              "AND CURSTATUS=2"},
        Write{"the latest state's value corrected",
              "UPDATE DEVICESTATUS SET CURSTATUS=4 WHERE DEVICETYPE=5 AND CURSTATUS=2"},
        Write{"a state moved to another device",
              "UPDATE DEVICESTATUS SET DEVICETYPE=12, DEVICECODE=5, STATUSTIME='2024-02-01 "
              "00:00:00.000' WHERE DEVICETYPE=5 AND CURSTATUS=2"},
        Write{"an alert cancelled",
              "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
              "VALUES (12, 5, '2024-01-01 00:00:00.000', 2, '通讯中断')"},
        Write{"the cancel deleted, the alert raised again",
              "DELETE FROM DEVICEALERT WHERE ALERTTYPE=0"},
        Write{"every alert deleted", "DELETE FROM DEVICEALERT"}),
    [](const ::testing::TestParamInfo<Write>& written) {
        return "Write" + std::to_string(written.index);
    });

TEST_F(KeptState, EveryWriteOfTheRegisterRaisesItsVersion) {
    qint64 version = data::registerVersion(database_->db());
    for (const char* sql : {"INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS) VALUES (1, 1, 1)",
                            "UPDATE DEVICE SET METER=5 WHERE DEVICETYPE=1",
                            "DELETE FROM DEVICE WHERE DEVICETYPE=1"}) {
        other_->execute(QString::fromLatin1(sql));
        const qint64 now = data::registerVersion(database_->db());
        EXPECT_GT(now, version) << sql;
        version = now;
    }
    database_->exec(
        QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                       "STATUSTIME, CURSTATUS) VALUES (5, 3, '2025-01-01 00:00:00.000', 1)"));
    EXPECT_EQ(data::registerVersion(database_->db()), version) << "a history write is not one";
}

// A database of an earlier version has the histories and none of the kept rows: the upgrade
// takes each device's latest rows into them, and after it the triggers keep them.
TEST_F(KeptState, TheUpgradeFillsTheKeptRowsFromTheHistories) {
    data::dropKeptState(database_->db());
    other_->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(24, 1, '2024-03-01 00:00:00.000', 2)"));
    ASSERT_FALSE(data::hasKeptState(database_->db()));
    EXPECT_TRUE(data::upgradeSchema(database_->db()).contains(QStringLiteral("DEVICE_LATEST")));
    ASSERT_TRUE(data::hasKeptState(database_->db()));
    EXPECT_EQ(database_->scalarInt(QStringLiteral("select count(*) from DEVICE_LATEST")), 3);
    expectKeptIsLatest(*database_, "upgraded");
    other_->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(24, 1, '2024-03-02 00:00:00.000', 4)"));
    expectKeptIsLatest(*database_, "written after the upgrade");
    EXPECT_FALSE(data::upgradeSchema(database_->db()).contains(QStringLiteral("DEVICE_LATEST")));
}
