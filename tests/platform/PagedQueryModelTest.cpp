#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/PagedQueryModel.h"
#include "platform/db/ValueText.h"
#include "support/TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tunnel;

namespace {

class PagedModel : public test::EngineTest {
protected:
    void prepare() override {
        QStringList rows;
        for (int code = 1; code <= kRows; ++code) {
            rows.append(
                QStringLiteral("(%1, %2, %3)").arg(code % 3 + 1).arg(code).arg(code * 7 % 100));
        }
        database().exec(
            QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, MILIMETER) VALUES ") +
            rows.join(u','));
        model.setConnectionString(database().connectionString());
        model.setColumns(
            {{QStringLiteral("DEVICECODE"), QStringLiteral("编号"), 40, Qt::AlignLeft, {}},
             {QStringLiteral("Twice"), QStringLiteral("计算"), -1, Qt::AlignLeft, {}}});
        model.addCalculatedField(QStringLiteral("Twice"), [](const auto& field) {
            return QVariant(db::integerOf(field(QStringLiteral("DEVICECODE"))) * 2);
        });
        model.setStatement(QStringLiteral("select * from DEVICE order by DEVICETYPE, DEVICECODE"));
    }

    int codeAt(int row) {
        return db::integerOf(model.fieldValue(row, QStringLiteral("devicecode")));
    }

    static constexpr int kRows = 3000;
    db::PagedQueryModel model;
};

}  // namespace

TEST_P(PagedModel, CountsTheRowsAndReadsAnyPageInTheStatementsOrder) {
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.reload();
    ASSERT_EQ(model.rowCount(), kRows);
    EXPECT_EQ(codeAt(0), 3) << "type 1 holds the codes divisible by 3";
    EXPECT_EQ(codeAt(kRows - 1), 2999);
    EXPECT_EQ(codeAt(999), 3000);
    EXPECT_EQ(codeAt(1000), 1);
    EXPECT_EQ(model.data(model.index(1000, 1)).toString(), QStringLiteral("2"));
    EXPECT_FALSE(model.fieldValue(kRows, QStringLiteral("DEVICECODE")).isValid());
    // Reading every page and back keeps only a few in memory and still answers correctly.
    for (int row = 0; row < kRows; row += db::PagedQueryModel::kPageRows)
        codeAt(row);
    EXPECT_EQ(codeAt(0), 3);
}

TEST_P(PagedModel, FindsARowByKeyInTheSameOrder) {
    model.reload();
    const int row =
        model.findRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, {2, 1});
    EXPECT_EQ(row, 1000);
    EXPECT_EQ(codeAt(row), 1);
    EXPECT_EQ(model.findRow({QStringLiteral("DEVICECODE")}, {99999}), -1);

    model.setStatement(
        QStringLiteral("select * from DEVICE where DEVICETYPE=2 order by MILIMETER desc, "
                       "DEVICETYPE, DEVICECODE"));
    model.reload();
    EXPECT_EQ(model.rowCount(), 1000);
    const int found =
        model.findRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, {2, 1});
    ASSERT_GE(found, 0);
    EXPECT_EQ(codeAt(found), 1);
}

TEST_P(PagedModel, AnEmptyResultAndAFailingPageAreHandled) {
    model.setStatement(
        QStringLiteral("select * from DEVICE where DEVICETYPE=99 order by DEVICECODE"));
    model.reload();
    EXPECT_TRUE(model.isEmpty());
    EXPECT_EQ(model.findRow({QStringLiteral("DEVICECODE")}, {1}), -1);

    model.setStatement(QStringLiteral("select * from DEVICE order by DEVICETYPE, DEVICECODE"));
    model.reload();
    QSignalSpy failures(&model, &db::GridModel::fetchFailed);
    database().exec(QStringLiteral("DROP TABLE DEVICE"));
    EXPECT_FALSE(model.fieldValue(2000, QStringLiteral("DEVICECODE")).isValid());
    EXPECT_FALSE(model.fieldValue(2001, QStringLiteral("DEVICECODE")).isValid());
    EXPECT_EQ(failures.count(), 1) << "a failing page is reported once, not at every paint";
    EXPECT_THROW(model.reload(), db::DbError);
}

TUNNEL_ON_EVERY_ENGINE(PagedModel);

TEST(PagingStatements, LimitCountAndProjectionKeepTheStatementsOrder) {
    const QString sql = QStringLiteral(
        "select * from Device where DEVICETYPE=5 order by MILIMETER desc, DEVICECODE");
    EXPECT_EQ(db::pagedSql(sql, db::Engine::SQLite, 512, 256),
              sql + QStringLiteral(" LIMIT 256 OFFSET 512"));
    EXPECT_EQ(db::pagedSql(sql, db::Engine::SqlServer, 512, 256),
              sql + QStringLiteral(" OFFSET 512 ROWS FETCH NEXT 256 ROWS ONLY"));
    EXPECT_EQ(db::pagedSql(QStringLiteral("select * from A"), db::Engine::SqlServer, 0, 10),
              QStringLiteral(
                  "select * from A ORDER BY (SELECT NULL) OFFSET 0 ROWS FETCH NEXT 10 ROWS ONLY"));
    EXPECT_EQ(db::countSql(sql, db::Engine::PostgreSQL),
              QStringLiteral("SELECT COUNT(*) AS ROWS_COUNTED FROM (select * from Device where "
                             "DEVICETYPE=5 ) counted"));
    EXPECT_EQ(db::projectedSql(sql, {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}),
              QStringLiteral("SELECT DEVICETYPE, DEVICECODE FROM (select * from Device where "
                             "DEVICETYPE=5 ) projected "
                             "order by MILIMETER desc, DEVICECODE"));
    // An ORDER BY inside a subquery is not the statement's own.
    const QString nested = QStringLiteral("select * from (select top 3 * from A order by x) t");
    EXPECT_EQ(db::countSql(nested, db::Engine::SQLite),
              QStringLiteral("SELECT COUNT(*) AS ROWS_COUNTED FROM (") + nested +
                  QStringLiteral(") counted"));
}
