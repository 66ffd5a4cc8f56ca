#include "data/PeriodSums.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace tunnel;

namespace {

class PeriodSums : public ::testing::Test {
protected:
    void SetUp() override {
        database_ = test::TestDatabase::create(db::Engine::SQLite);
        db_ = db::Database::open(database_->connectionString());
        // Another program's table, without the installation's check of the times' form.
        db_->execute(QStringLiteral("CREATE TABLE TIMES (AT TEXT, S INT, N INTEGER PRIMARY KEY)"));
        data::addPeriodFunctions(*db_);
    }

    QStringList row(const QString& sql) {
        QStringList values;
        db_->forEachRow(
            sql, {},
            [&](const QVariantList& row) {
                for (const QVariant& value : row) {
                    values.append(value.toString());
                }
            },
            db::Database::Written::ForEngine);
        return values;
    }

    std::unique_ptr<test::TestDatabase> database_;
    std::shared_ptr<db::Database> db_;
};

}  // namespace

// A period's length is what julianday() makes of the two stored texts, whatever form another
// program wrote them in; a text that names no moment ends no period.
TEST_F(PeriodSums, APeriodLastsAsJuliandayReckonsItsTexts) {
    const std::vector<std::pair<const char*, const char*>> pairs = {
        {"2004-05-01 00:00:00.000", "2004-05-02 12:30:15.250"},
        {"2004-05-01 00:00:00", "2004-05-01 00:00:01"},
        {"2004-05-01T10:00", "2004-05-01T11:30"},
        {"2004-05-01", "2004-06-01"},
        {"2004-05-01 00:00:00.1234", "2004-05-01 00:00:00.5"},
        {"2004-02-28 23:00:00.000", "2004-03-01 01:00:00.000"},
        {"1999-12-31 23:59:59.999", "2000-01-01 00:00:00.000"},
        {"2004-05-01 00:00:00.000", "2004-05-01 00:00:00.000x"},
        {"2004-05-01 00:00:00.000", "2004-13-01 00:00:00.000"},
        {"2004-05-01 00:00:00.000", "not a time"},
    };
    for (const auto& [from, to] : pairs) {
        db_->execute(QStringLiteral("DELETE FROM TIMES"));
        db_->execute(QStringLiteral("INSERT INTO TIMES (AT, S) VALUES ('%1', 1), ('%2', 2)")
                         .arg(QString::fromLatin1(from), QString::fromLatin1(to)));
        const QStringList values = row(QStringLiteral(
            "SELECT json_extract(P, '$[3]'), json_extract(P, '$[0]'), json_extract(P, '$[1]'), "
            "json_extract(P, '$[2]'), json_extract(P, '$[8]'), J FROM (SELECT "
            "tunnel_state_periods(AT, S) AS P, COALESCE(CAST(ROUND((julianday(max(AT)) - "
            "julianday(min(AT))) * 86400000) AS INTEGER), 0) AS J FROM (SELECT AT, S FROM TIMES "
            "ORDER BY AT))"));
        ASSERT_EQ(values.size(), 6);
        EXPECT_EQ(values[0], values[5]) << from << " to " << to;
        EXPECT_EQ(values.mid(1, 4), (QStringList{QString::fromLatin1(from), QString::fromLatin1(to),
                                                 QStringLiteral("2"), QStringLiteral("2")}))
            << "first, last, the last state, the rows";
    }
}

// A raise lasts to the device's next row of any kind, the last one to the range's end.
TEST_F(PeriodSums, ARaiseLastsToTheNextRowOrTheEnd) {
    db_->execute(QStringLiteral(
        "INSERT INTO TIMES (AT, S) VALUES ('2004-05-01 00:00:00.000', 1), ('2004-05-01 "
        "01:00:00.000', 0), ('2004-05-01 03:00:00.000', 2), ('2004-05-01 03:00:00.000', NULL), "
        "('2004-05-01 05:00:00.000', 1)"));
    EXPECT_EQ(row(QStringLiteral("SELECT tunnel_alert_periods(AT, S, '2004-05-02 "
                                 "00:00:00.000') FROM (SELECT AT, S FROM TIMES ORDER BY AT, N)")),
              QStringList{QStringLiteral("[3,72000000,5]")})
        << "1 h, 0 h (the next row at the same moment), then 19 h to the end";
}

// The aggregates take a device's rows in the order of their times' texts, as its index gives
// them: rows out of it fail the statement rather than make periods of negative length.
TEST_F(PeriodSums, RowsOutOfTheirOrderFailTheStatement) {
    db_->execute(
        QStringLiteral("INSERT INTO TIMES (AT, S) VALUES ('2004-05-02 00:00:00.000', "
                       "1), ('2004-05-01 00:00:00.000', 2)"));
    EXPECT_THROW(row(QStringLiteral("SELECT tunnel_state_periods(AT, S) FROM (SELECT AT, S FROM "
                                    "TIMES ORDER BY N)")),
                 db::DbError);
}
