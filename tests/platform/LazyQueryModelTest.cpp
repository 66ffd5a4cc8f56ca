#include "platform/db/DbError.h"
#include "platform/db/LazyQueryModel.h"
#include "platform/db/RowCache.h"
#include "platform/db/ValueText.h"
#include "support/TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QTableView>

#include <gtest/gtest.h>

using namespace tunnel;

namespace {

class LazyModel : public test::EngineTest {
protected:
    void prepare() override {
        QStringList rows;
        for (int code = 1; code <= kRows; ++code) {
            rows.append(QStringLiteral("(7, %1, %2, %3)").arg(code).arg(code % 4).arg(code * 10));
        }
        database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS, "
                                       "MILIMETER) VALUES ") +
                        rows.join(u','));
        model.setConnectionString(database().connectionString());
        model.setBatchSize(100);
        model.setColumns({
            {QStringLiteral("DEVICECODE"), QStringLiteral("编号"), 40, Qt::AlignLeft, {}},
            {QStringLiteral("STATUS"), QStringLiteral("状态"), 60, Qt::AlignRight,
             [](const QVariant& v) { return QStringLiteral("S%1").arg(db::integerOf(v)); }},
            {QStringLiteral("Twice"), QStringLiteral("计算"), -1, Qt::AlignLeft, {}},
        });
        model.addCalculatedField(QStringLiteral("Twice"), [](const auto& field) {
            return QVariant(db::integerOf(field(QStringLiteral("milimeter"))) * 2);
        });
        model.setStatement(QStringLiteral("select * from DEVICE order by DEVICECODE"));
    }

    static constexpr int kRows = 1050;
    db::LazyQueryModel model;
};

}  // namespace

TEST_P(LazyModel, KeepsTheItemModelContractWhileFetching) {
    model.reload();
    // The tester is attached after the reset: it fetches more itself while checking a reset,
    // which any model that inserts fetched rows at once (QSqlQueryModel too) reports as a
    // change in flight.
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    while (model.canFetchMore())
        model.fetchMore();
    EXPECT_EQ(model.rowCount(), kRows);
}

TEST_P(LazyModel, ShowsTheFirstBatchAndFetchesMoreOnlyWhenAsked) {
    model.reload();
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_TRUE(model.canFetchMore());
    model.fetchMore();
    EXPECT_EQ(model.rowCount(), 200);
    while (model.canFetchMore())
        model.fetchMore();
    EXPECT_EQ(model.rowCount(), kRows);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("状态"));
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("S3"));
    EXPECT_EQ(model.data(model.index(2, 2)).toString(), QStringLiteral("60"));
    EXPECT_EQ(model.data(model.index(2, 1), Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignRight));
    EXPECT_EQ(model.fieldValue(0, QStringLiteral("devicecode")).toInt(), 1);
}

TEST_P(LazyModel, FindsARowByKeyFetchingOnlyAsFarAsNeeded) {
    model.reload();
    EXPECT_EQ(model.findRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, {7, 450}),
              449);
    EXPECT_EQ(model.rowCount(), 500);
    EXPECT_EQ(model.findRow({QStringLiteral("DEVICECODE")}, {3}), 2);
    EXPECT_EQ(model.findRow({QStringLiteral("DEVICECODE")}, {99999}), -1);
    EXPECT_EQ(model.rowCount(), kRows);
    model.reload();
    EXPECT_EQ(model.rowCount(), 100) << "a reload starts again from the first batch";
}

TEST_P(LazyModel, AViewScrollingToTheEndFetchesTheRest) {
    QTableView view;
    view.resize(400, 300);
    view.setModel(&model);
    model.reload();
    view.show();
    view.scrollToBottom();
    while (model.canFetchMore()) {
        view.scrollToBottom();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(model.rowCount(), kRows);
}

TEST_P(LazyModel, AFailingStatementIsAnErrorAndLeavesTheModelEmpty) {
    model.setStatement(QStringLiteral("select * from NOSUCH"));
    EXPECT_THROW(model.reload(), db::DbError);
    EXPECT_TRUE(model.isEmpty());
    EXPECT_FALSE(model.canFetchMore());
}

TUNNEL_ON_EVERY_ENGINE(LazyModel);

TEST(RowCache, FindsFieldsCaseInsensitivelyAndComparesValuesAsText) {
    db::RowCache cache;
    cache.reset({QStringLiteral("DEVICETYPE"), QStringLiteral("devicecode")});
    cache.append({QVariant(12), QVariant(QStringLiteral("3"))});
    cache.append({QVariant(12), QVariant(4)});
    cache.append({QVariant(), QVariant(4)});
    EXPECT_EQ(cache.fieldIndex(QStringLiteral("DeviceCode")), 1);
    EXPECT_EQ(cache.fieldIndex(QStringLiteral("nope")), -1);
    EXPECT_EQ(cache.find({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, {12, 3}), 0);
    EXPECT_EQ(cache.find({QStringLiteral("DEVICECODE")}, {4}, 2), 2);
    EXPECT_EQ(cache.find({QStringLiteral("nope")}, {4}), -1);
    EXPECT_FALSE(cache.value(99, 0).isValid());
    cache.clear();
    EXPECT_EQ(cache.size(), 0);
}
