#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/KeysetSql.h"
#include "platform/db/RowCache.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/ValueText.h"
#include "platform/text/Gbk.h"
#include "platform/ui/DetailBinding.h"
#include "platform/ui/GridView.h"
#include "support/MessageRecorder.h"
#include "support/TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QSignalSpy>
#include <QSqlResult>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

using namespace tunnel;

namespace {

// Where two lists of keys part, for a failure that reads in one line.
std::string difference(const QStringList& read, const QStringList& expected) {
    qsizetype i = 0;
    while (i < read.size() && i < expected.size() && read[i] == expected[i])
        ++i;
    if (i == read.size() && i == expected.size())
        return "same";
    return QStringLiteral("%1 rows read, %2 expected; first difference at %3: %4 against %5")
        .arg(read.size())
        .arg(expected.size())
        .arg(i)
        .arg(read.value(i), expected.value(i))
        .toStdString();
}

const db::GridOrder kByKey{{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, false};

class KeysetModel : public test::EngineTest {
protected:
    void prepare() override {
        // Codes 1..kRows over three types; every fifth STATUS is NULL.
        QStringList rows;
        for (int code = 1; code <= kRows; ++code) {
            const QString status =
                code % 5 == 0 ? QStringLiteral("NULL") : QString::number(code % 4);
            rows.append(QStringLiteral("(%1, %2, %3, %4)")
                            .arg(code % 3 + 1)
                            .arg(code)
                            .arg(status)
                            .arg(code * 10));
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
        model.setStatement(QStringLiteral("select * from DEVICE"));
        model.setOrder(kByKey);
    }

    void readAll() {
        while (model.canFetchMore())
            model.fetchMore();
    }

    QString keyAt(int row) const {
        return QStringLiteral("%1/%2")
            .arg(db::integerOf(model.fieldValue(row, QStringLiteral("DEVICETYPE"))))
            .arg(db::integerOf(model.fieldValue(row, QStringLiteral("DEVICECODE"))));
    }

    QStringList keys() const {
        QStringList all;
        for (int row = 0; row < model.rowCount(); ++row)
            all.append(keyAt(row));
        return all;
    }

    // The rows of the table in an order, as the database gives them in one statement.
    QStringList expectedKeys(const QString& orderBy) {
        QStringList all;
        for (const QString& row : database().rows(
                 QStringLiteral("select DEVICETYPE, DEVICECODE from DEVICE order by ") + orderBy))
            all.append(row.section(u'|', 0, 0) + u'/' + row.section(u'|', 1, 1));
        return all;
    }

    static constexpr int kRows = 1050;
    db::KeysetQueryModel model;
};

}  // namespace

// The testers are attached after each reset: a tester fetches more itself while checking a
// reset, which any model that inserts fetched rows at once (QSqlQueryModel too) reports as a
// change in flight.
TEST_P(KeysetModel, KeepsTheItemModelContractWhileFetchingBothWays) {
    model.setCacheLimit(300);
    model.reload();
    {
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        readAll();
        EXPECT_EQ(model.rowCount(), 300);
    }
    model.reloadAt({2, 500});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    while (model.canFetchAbove())
        model.fetchAbove();
    readAll();
    EXPECT_EQ(model.rowCount(), 300);
}

// Scrolled to the end of the result and back, the grid holds no more than its limit, reads every
// row once each way in order, and a view keeps the rows it shows in place as rows come and go.
TEST_P(KeysetModel, HoldsABoundedWindowAndReadsLetGoRowsAgainByKey) {
    model.setCacheLimit(300);
    QTableView view;
    ui::bindReadOnlyGrid(view, model, false);
    view.resize(300, 200);
    view.show();
    model.reload();
    QStringList down = keys();
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) {
                         for (int row = first; row <= last; ++row)
                             down.append(keyAt(row));
                     });
    while (model.canFetchMore()) {
        view.scrollToBottom();
        const QString shown = keyAt(view.rowAt(0));
        model.fetchMore();
        EXPECT_EQ(keyAt(view.rowAt(0)), shown) << "the rows on screen stay in place";
        ASSERT_LE(model.rowCount(), 300);
    }
    const QStringList expected = expectedKeys(QStringLiteral("DEVICETYPE, DEVICECODE"));
    EXPECT_EQ(difference(down, expected), "same");
    ASSERT_TRUE(model.canFetchAbove());
    QObject::disconnect(&model, &QAbstractItemModel::rowsInserted, nullptr, nullptr);
    QStringList up = keys();
    while (model.canFetchAbove()) {
        const int added = model.fetchAbove();
        for (int row = added - 1; row >= 0; --row)
            up.prepend(keyAt(row));
        ASSERT_LE(model.rowCount(), 300);
    }
    EXPECT_EQ(difference(up, expected), "same");
    EXPECT_EQ(keyAt(0), expected.first());
}

TEST_P(KeysetModel, ShowsTheFirstBatchAndFetchesMoreOnlyWhenAsked) {
    model.reload();
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_TRUE(model.canFetchMore());
    EXPECT_FALSE(model.canFetchAbove());
    model.fetchMore();
    EXPECT_EQ(model.rowCount(), 200);
    readAll();
    EXPECT_EQ(difference(keys(), expectedKeys(QStringLiteral("DEVICETYPE, DEVICECODE"))), "same");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("状态"));
    EXPECT_EQ(keyAt(0), QStringLiteral("1/3"));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("S3"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("60"));
    EXPECT_EQ(model.data(model.index(0, 1), Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignRight));
    EXPECT_EQ(model.findRow({QStringLiteral("DEVICECODE")}, {99999}), -1);
}

// Orders with NULLs, ties and either direction: read downward from the start, or from a row in
// the middle both ways, every row comes exactly once, in the order the database gives.
TEST_P(KeysetModel, EveryOrderReadsEachRowOnceInTheDatabasesOrder) {
    struct Case {
        db::GridOrder order;
        QString sqlite;
        QString postgresql;
    };
    const Case cases[] = {
        {{{QStringLiteral("STATUS"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
          false},
         QStringLiteral("STATUS, DEVICETYPE, DEVICECODE"),
         QStringLiteral("STATUS, DEVICETYPE, DEVICECODE")},
        {{{QStringLiteral("STATUS"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
          true},
         QStringLiteral("STATUS desc, DEVICETYPE desc, DEVICECODE desc"),
         QStringLiteral("STATUS desc, DEVICETYPE desc, DEVICECODE desc")},
        {{{QStringLiteral("MILIMETER"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
          true},
         QStringLiteral("MILIMETER desc, DEVICETYPE desc, DEVICECODE desc"),
         QStringLiteral("MILIMETER desc, DEVICETYPE desc, DEVICECODE desc")},
    };
    for (const Case& c : cases) {
        const QStringList expected =
            expectedKeys(GetParam() == db::Engine::PostgreSQL ? c.postgresql : c.sqlite);
        model.setOrder(c.order);
        model.reload();
        readAll();
        EXPECT_EQ(difference(keys(), expected), "same") << c.sqlite.toStdString();

        const int middle = 517;
        const QStringList parts = expected[middle].split(u'/');
        model.reloadOnRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
                          {parts[0].toInt(), parts[1].toInt()}, {});
        while (model.canFetchAbove())
            model.fetchAbove();
        readAll();
        EXPECT_EQ(difference(keys(), expected), "same")
            << "read both ways from the middle: " << c.sqlite.toStdString();
    }
}

// A table without a key (the histories) holds rows that are the same in every column: ordered by
// all its columns, such rows are counted, so that none is lost or shown twice where a batch ends
// among them, whatever order the engine gives equal rows in.
TEST_P(KeysetModel, RowsTheSameInEveryColumnAreCountedAcrossBatches) {
    QStringList rows;
    for (int i = 0; i < 700; ++i) {
        const int minute = i < 250 ? 0 : i % 60;  // 250 alike, then pairs and threes
        rows.append(QStringLiteral("(1, %1, '2026-01-01 10:%2:00.000', 1, 'x')")
                        .arg(i < 250 ? 7 : i % 5)
                        .arg(minute, 2, 10, QLatin1Char('0')));
    }
    database().exec(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                   "ALERTTYPE, ALERTDESC) VALUES ") +
                    rows.join(u','));
    model.setStatement(QStringLiteral("select * from DEVICEALERT"));
    model.setOrder(
        {{QStringLiteral("ALERTTIME"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
          QStringLiteral("ALERTTYPE"), QStringLiteral("ALERTDESC")},
         false});
    model.setBatchSize(64);
    model.reload();
    readAll();
    QStringList read;
    for (int row = 0; row < model.rowCount(); ++row) {
        read.append(db::textOf(model.fieldValue(row, QStringLiteral("ALERTTIME"))) + u'/' +
                    db::textOf(model.fieldValue(row, QStringLiteral("DEVICECODE"))));
    }
    QStringList expected;
    for (const QString& row : database().rows(QStringLiteral(
             "select ALERTTIME, DEVICECODE from DEVICEALERT order by ALERTTIME, DEVICECODE")))
        expected.append(row.section(u'|', 0, 0) + u'/' + row.section(u'|', 1, 1));
    std::sort(read.begin(), read.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(read.size(), 700);
    EXPECT_EQ(difference(read, expected), "same");
}

// Other programs store GBK bytes in text columns (SQLite lets them). Sorted by such a column,
// or by every column of a keyless history with rows alike across batch ends, each row is read
// once in either direction, in the stored bytes' order, and shows as the text those programs
// meant.
TEST_P(KeysetModel, TextsStoredAsGbkBytesAreReadOnceEachInEitherOrder) {
    if (GetParam() != db::Engine::SQLite) {
        GTEST_SKIP() << "a server database in UTF-8 refuses such bytes";
    }
    const auto gbk = [](const QString& text) {
        return QStringLiteral("CAST(X'%1' AS TEXT)")
            .arg(QString::fromLatin1(text::toGbk(text).toHex()));
    };
    QStringList devices;
    QStringList alerts;
    for (int i = 0; i < 1000; ++i) {
        devices.append(QStringLiteral("(9, %1, %2, %3, %4, %5)")
                           .arg(i)
                           .arg(gbk(QStringLiteral("洞口%1").arg(i % 37)),
                                gbk(QStringLiteral("起%1").arg(i % 11)),
                                gbk(QStringLiteral("止%1").arg(i % 7)),
                                gbk(QStringLiteral("串口%1").arg(i % 3))));
        alerts.append(QStringLiteral("(1, 1, '2026-01-01 10:00:00.000', 1, %1)")
                          .arg(gbk(QStringLiteral("报警%1").arg(i < 300 ? 0 : i % 9))));
    }
    database().exec(QStringLiteral("DELETE FROM DEVICE"));
    database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, PHYSICS, "
                                   "BEGINPOS, ENDPOS, COMMDATA) VALUES ") +
                    devices.join(u','));
    database().exec(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                   "ALERTTYPE, ALERTDESC) VALUES ") +
                    alerts.join(u','));
    model.setBatchSize(64);
    const struct {
        const char* statement;
        QStringList order;
        const char* text;
    } cases[] = {
        {"select * from DEVICE", {"PHYSICS", "DEVICETYPE", "DEVICECODE"}, "PHYSICS"},
        {"select * from DEVICE", {"BEGINPOS", "DEVICETYPE", "DEVICECODE"}, "BEGINPOS"},
        {"select * from DEVICE", {"ENDPOS", "DEVICETYPE", "DEVICECODE"}, "ENDPOS"},
        {"select * from DEVICE", {"COMMDATA", "DEVICETYPE", "DEVICECODE"}, "COMMDATA"},
        {"select * from DEVICEALERT",
         {"ALERTDESC", "ALERTTIME", "DEVICETYPE", "DEVICECODE", "ALERTTYPE"},
         "ALERTDESC"},
    };
    for (const auto& c : cases) {
        for (const bool descending : {false, true}) {
            model.setStatement(QString::fromUtf8(c.statement));
            model.setOrder({c.order, descending});
            model.reload();
            readAll();
            ASSERT_EQ(model.rowCount(), 1000) << c.text << (descending ? " desc" : "");
            QSet<int> codes;
            QByteArray previous;
            for (int row = 0; row < model.rowCount(); ++row) {
                const QString shown = db::textOf(model.fieldValue(row, QString::fromUtf8(c.text)));
                ASSERT_FALSE(shown.contains(QChar::ReplacementCharacter)) << shown.toStdString();
                const QByteArray stored = text::toGbk(shown);
                if (row > 0) {
                    ASSERT_TRUE(descending ? stored <= previous : stored >= previous)
                        << c.text << " row " << row;
                }
                previous = stored;
                codes.insert(db::integerOf(model.fieldValue(row, QStringLiteral("DEVICECODE"))));
            }
            if (QByteArray(c.statement).contains("DEVICE ")) {
                EXPECT_EQ(codes.size(), 1000) << c.text;
            }
            // An export's walk reads the same texts in the same order.
            db::KeysetQueryModel::WalkPosition walk = model.startWalk();
            int taken = 0;
            while (!walk.ended) {
                model.walkOn(walk, [&](const db::RowCache::Row& row) {
                    const QString field = QString::fromUtf8(c.text);
                    ASSERT_EQ(db::textOf(row.value(walk.plan.fields.indexOf(field))),
                              db::textOf(model.fieldValue(taken++, field)));
                });
            }
            EXPECT_EQ(taken, 1000);
        }
    }
}

namespace {

// How many virtual-machine steps SQLite takes for one read of a grid's batch: what the engine
// visits, not how long it takes.
int stepsOf(db::Database& database, const db::BoundSql& batch) {
    QSqlQuery query = database.select(batch.sql, batch.values, db::Database::Written::ForEngine);
    int rows = 0;
    while (database.next(query, batch.sql)) {
        ++rows;
    }
    EXPECT_GT(rows, 0);
    auto* statement = static_cast<sqlite3_stmt*>(
        *static_cast<void* const*>(query.result()->handle().constData()));
    return sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_VM_STEP, 0);
}

}  // namespace

// A batch deep in a history's time range, in either order, costs the engine what the first one
// costs: the index range starts at the key set's bound, not at the statement's own.
TEST_P(KeysetModel, ADeepBatchVisitsNoMoreRowsThanTheFirst) {
    if (GetParam() != db::Engine::SQLite) {
        GTEST_SKIP() << "the server's planner takes both bounds; SQLite's takes one";
    }
    QStringList rows;
    for (int i = 0; i < 20000; ++i) {
        rows.append(QStringLiteral("(1, %1, '2026-01-01 %2:%3:%4.000', 1, 'x')")
                        .arg(i % 50)
                        .arg(i / 3600 + 10, 2, 10, QLatin1Char('0'))
                        .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                        .arg(i % 60, 2, 10, QLatin1Char('0')));
    }
    database().exec(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                   "ALERTTYPE, ALERTDESC) VALUES ") +
                    rows.join(u','));
    auto connection = db::Database::open(database().connectionString());
    const QString statement = QStringLiteral(
        "select * from DEVICEALERT where ALERTTIME>='2026-01-01 00:00:00' and "
        "ALERTTIME<='2026-01-01 23:59:59'");
    const db::GridSelect select{
        db::gridSource(statement, db::Engine::SQLite), db::Engine::SQLite, {}};
    const db::GridOrder order{
        {QStringLiteral("ALERTTIME"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
        false};
    for (const bool forward : {true, false}) {
        const int first =
            stepsOf(*connection,
                    db::keysetSql(select, order, {forward, std::nullopt, db::NullRun::Both, 256}));
        // 15,000 rows from the start in the direction read.
        const int i = forward ? 15000 : 4999;
        const QVariantList deep = {QStringLiteral("2026-01-01 %1:%2:%3.000")
                                       .arg(i / 3600 + 10, 2, 10, QLatin1Char('0'))
                                       .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                       .arg(i % 60, 2, 10, QLatin1Char('0')),
                                   1, i % 50};
        const int later = stepsOf(
            *connection, db::keysetSql(select, order, {forward, deep, db::NullRun::Values, 256}));
        EXPECT_LT(later, 3 * first) << (forward ? "forward" : "backward") << ": " << first
                                    << " steps at the start, " << later << " deep";
    }
}

// The engine counts a result in chunks along its leading column: rows alike in it across a
// chunk's end, and rows without a value in it, each count once.
TEST_P(KeysetModel, ACountInChunksCountsEveryRowOnce) {
    QStringList rows;
    for (int i = 0; i < 1000; ++i) {
        rows.append(
            i < 7
                ? QStringLiteral("(1, %1, NULL, 1, 'n')").arg(i)
                : QStringLiteral("(1, %1, '2026-01-01 10:0%2:00.000', 1, 'x')").arg(i).arg(i % 10));
    }
    database().exec(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                   "ALERTTYPE, ALERTDESC) VALUES ") +
                    rows.join(u','));
    model.setStatement(QStringLiteral("select * from DEVICEALERT where DEVICECODE >= 3"));
    model.setOrder({{QStringLiteral("ALERTTIME"), QStringLiteral("DEVICECODE")}, true});
    for (const int chunk : {1, 64, 5000}) {
        model.setCountChunk(chunk);
        db::KeysetQueryModel::WalkPosition position = model.startWalk();
        while (!position.ended) {
            model.countChunkOn(position);
        }
        EXPECT_EQ(position.rows, 997) << "chunks of " << chunk;
    }
}

// A walk (an export) hands on every row of the result once, in the grid's order, with the texts
// the grid shows (calculated fields too), while another program writes between its steps: on
// SQLite it reads one snapshot, elsewhere it goes on by key.
TEST_P(KeysetModel, AWalkTakesEveryRowOnceInOrderWhileOthersWrite) {
    model.reload();
    db::KeysetQueryModel::WalkPosition position = model.startWalk();
    position.plan.batch = 100;
    QStringList walked;
    auto other = db::Database::open(database().connectionString());
    int step = 0;
    while (!position.ended) {
        model.walkOn(position, [&](const db::RowCache::Row& row) {
            const auto text = [&](int column) {
                return db::KeysetQueryModel::displayText(position, row, column);
            };
            const int code = text(0).toInt();
            ASSERT_EQ(text(1), QStringLiteral("S%1").arg(code % 5 == 0 ? 0 : code % 4));
            ASSERT_EQ(text(2), QString::number(code * 20));
            walked.append(QStringLiteral("%1/%2").arg(code % 3 + 1).arg(code));
        });
        if (step++ == 0) {
            other->execute(
                QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, "
                               "MILIMETER) VALUES (3, 2000, 20000)"));
        }
    }
    EXPECT_EQ(position.rows, walked.size());
    EXPECT_LE(walked.removeAll(QStringLiteral("3/2000")), 1) << "a row written meanwhile";
    QStringList expected = expectedKeys(QStringLiteral("DEVICETYPE, DEVICECODE"));
    expected.removeAll(QStringLiteral("3/2000"));
    EXPECT_EQ(difference(walked, expected), "same");
}

// A walk reads its stream a few thousand rows a fetch: a result that ends exactly at a fetch's
// end, one row before or after it, or after two, is taken whole and once; a walk let go halfway
// leaves no transaction open on the session it hands back.
TEST_P(KeysetModel, AWalkTakesEveryRowWhereverTheResultEndsAgainstAFetch) {
    for (int first = kRows + 1; first <= 8200; first += 1000) {
        QStringList rows;
        for (int code = first; code < first + 1000 && code <= 8200; ++code)
            rows.append(QStringLiteral("(1, %1, %1)").arg(code));
        database().exec(
            QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, MILIMETER) VALUES ") +
            rows.join(u','));
    }
    for (const int last : {4095, 4096, 4097, 8192, 8193}) {
        model.setStatement(QStringLiteral("select * from DEVICE where DEVICECODE <= %1").arg(last));
        model.setOrder({{QStringLiteral("DEVICECODE")}, false});
        model.reload();
        db::KeysetQueryModel::WalkPosition walk = model.startWalk();
        int previous = 0;
        int taken = 0;
        while (!walk.ended) {
            model.walkOn(walk, [&](const db::RowCache::Row& row) {
                const int code = db::KeysetQueryModel::displayText(walk, row, 0).toInt();
                ASSERT_EQ(code, previous + 1) << "after " << previous;
                previous = code;
                ++taken;
            });
        }
        EXPECT_EQ(taken, last);
        EXPECT_EQ(walk.rows, last);
    }
    if (GetParam() != db::Engine::PostgreSQL)
        return;
    {
        db::KeysetQueryModel::WalkPosition halfway = model.startWalk();
        model.walkOn(halfway, [](const db::RowCache::Row&) {});
        ASSERT_FALSE(halfway.ended);
    }
    EXPECT_EQ(database().rows(QStringLiteral(
                  "select count(*) from pg_stat_activity where datname = current_database() and "
                  "state like 'idle in transaction%'")),
              QStringList{QStringLiteral("0")});
}

// The engine counts on a thread of its own: a count that would never end is still running after
// a while (the window's thread free meanwhile) and stops when it is let go.
TEST_P(KeysetModel, AnEngineCountRunsApartAndStopsWhenLetGo) {
    if (GetParam() == db::Engine::SqlServer) {
        GTEST_SKIP() << "counted in chunks there";
    }
    model.setStatement(QStringLiteral(
        "with recursive n(x) as (select 1 union all select x + 1 from n) select x from n"));
    model.setOrder({{QStringLiteral("x")}, false});
    auto position = std::make_unique<db::KeysetQueryModel::WalkPosition>(model.startWalk());
    model.countOn(*position);
    QTest::qWait(300);
    model.countOn(*position);
    EXPECT_TRUE(position->waiting);
    EXPECT_FALSE(position->ended);
    QElapsedTimer stopping;
    stopping.start();
    position.reset();
    EXPECT_LT(stopping.elapsed(), 5000) << "the engine heard the interrupt";
}

// Stored times are wall-clock times without a zone. Whatever the client's zone (another than
// the server's, or one whose clock skips the hour the rows fall in), a grid in time order reads
// each row once, in either direction, and resumes every batch where the last one ended.
// Where the values of the order's leading column end against a batch's end (one before, at it,
// one after), and the NULLs that follow or come first (none, one, a batch of them): read down
// from the top and both ways from a row near the end, every row comes once in the engine's
// order, and the grid knows when it has read the last.
TEST_P(KeysetModel, RunsEndingAtABatchsEndAreReadWhole) {
    const int batch = 10;
    model.setBatchSize(batch);
    const db::GridOrder byStatus{
        {QStringLiteral("STATUS"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
        false};
    const QString orderBy = QStringLiteral("STATUS, DEVICETYPE, DEVICECODE");
    for (const int values : {batch - 1, batch, batch + 1}) {
        for (const int nulls : {0, 1, batch}) {
            database().exec(QStringLiteral("UPDATE DEVICE SET STATUS = CASE WHEN DEVICECODE <= %1 "
                                           "THEN 1 ELSE NULL END")
                                .arg(values));
            model.setStatement(
                QStringLiteral("select * from DEVICE where DEVICECODE <= %1").arg(values + nulls));
            model.setOrder(byStatus);
            const QStringList expected = [&] {
                QStringList all;
                for (const QString& row : database().rows(
                         QStringLiteral("select DEVICETYPE, DEVICECODE from DEVICE where "
                                        "DEVICECODE <= %1 order by %2")
                             .arg(values + nulls)
                             .arg(orderBy)))
                    all.append(row.section(u'|', 0, 0) + u'/' + row.section(u'|', 1, 1));
                return all;
            }();
            const std::string where =
                QStringLiteral("%1 values, %2 NULLs").arg(values).arg(nulls).toStdString();
            model.reload();
            readAll();
            EXPECT_EQ(difference(keys(), expected), "same") << where;
            EXPECT_FALSE(model.canFetchMore()) << where;

            const QStringList last = expected.last().split(u'/');
            model.reloadOnRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
                              {last[0].toInt(), last[1].toInt()}, {});
            EXPECT_FALSE(model.canFetchMore()) << where << ": the last row is the last";
            while (model.canFetchAbove())
                model.fetchAbove();
            EXPECT_EQ(difference(keys(), expected), "same") << where << ", from the last row";
        }
    }
}

// A batch resumes from the last row's texts whatever they hold: quotes, backslashes, a
// placeholder's or a parameter's look, a comment's start (each batch a row, so that every text
// is a resume point).
TEST_P(KeysetModel, BatchesResumeFromAnyText) {
    const QStringList texts = {
        QStringLiteral("O'Neil"), QStringLiteral("a\\b"), QStringLiteral("$1"), QStringLiteral("?"),
        QStringLiteral("--x"),    QStringLiteral("/*"),   QStringLiteral("''")};
    for (qsizetype i = 0; i < texts.size(); ++i) {
        database().exec(QStringLiteral("UPDATE DEVICE SET PHYSICS = %1 WHERE DEVICECODE = %2")
                            .arg(db::sqlQuote(texts[i]))
                            .arg(i + 1));
    }
    model.setStatement(QStringLiteral("select * from DEVICE where DEVICECODE <= 7"));
    model.setOrder(
        {{QStringLiteral("PHYSICS"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
         false});
    model.setBatchSize(1);
    model.reload();
    readAll();
    QStringList read;
    for (int row = 0; row < model.rowCount(); ++row) {
        read.append(model.fieldValue(row, QStringLiteral("PHYSICS")).toString().trimmed());
    }
    QStringList expected;
    for (const QString& row :
         database().rows(QStringLiteral("select PHYSICS from DEVICE where DEVICECODE <= 7 "
                                        "order by PHYSICS, DEVICETYPE, DEVICECODE"))) {
        expected.append(row.trimmed());
    }
    EXPECT_EQ(read, expected);
    EXPECT_EQ(read.size(), 7);
}

TEST_P(KeysetModel, TimeOrderedBatchesResumeAsStoredInAnyClientZone) {
    QStringList rows;
    for (int minute = 0; minute < 180; ++minute) {
        rows.append(QStringLiteral("(1, %1, '2026-03-29 %2:%3:00.000', 1, 'x')")
                        .arg(minute)
                        .arg(1 + minute / 60, 2, 10, QLatin1Char('0'))
                        .arg(minute % 60, 2, 10, QLatin1Char('0')));
    }
    database().exec(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                   "ALERTTYPE, ALERTDESC) VALUES ") +
                    rows.join(u','));
    model.setStatement(QStringLiteral("select * from DEVICEALERT"));
    model.setBatchSize(16);
    const QByteArray zone = qgetenv("TZ");
    for (const char* clientZone : {"Asia/Shanghai", "Europe/Berlin", "America/New_York"}) {
        qputenv("TZ", clientZone);
        tzset();
        for (const bool descending : {false, true}) {
            model.setOrder(
                {{QStringLiteral("ALERTTIME"), QStringLiteral("DEVICECODE")}, descending});
            model.reload();
            readAll();
            QStringList codes;
            for (int row = 0; row < model.rowCount(); ++row) {
                codes.append(db::textOf(model.fieldValue(row, QStringLiteral("DEVICECODE"))));
            }
            QStringList expected;
            for (int minute = 0; minute < 180; ++minute) {
                expected.append(QString::number(descending ? 179 - minute : minute));
            }
            EXPECT_EQ(difference(codes, expected), "same")
                << clientZone << (descending ? " newest first" : "");
        }
    }
    if (zone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", zone);
    }
    tzset();
}

// The statements the windows send: a TOP with its own order, a trailing comment or ";".
TEST_P(KeysetModel, ReadsTheWindowsOwnStatementsWhole) {
    const struct {
        const char* statement;
        int rows;
    } cases[] = {
        {"select top 100 * from DEVICE order by MILIMETER desc", 100},
        {"select * from DEVICE where DEVICETYPE=2 -- the second type", 350},
        {"select * from DEVICE where DEVICETYPE=2;", 350},
        {"select * from DEVICE where DEVICETYPE=2;  -- done\n", 350},
    };
    for (const auto& c : cases) {
        model.setStatement(QString::fromUtf8(c.statement));
        model.reload();
        readAll();
        EXPECT_EQ(model.rowCount(), c.rows) << c.statement;
    }
    model.setStatement(QStringLiteral("select top 100 * from DEVICE order by MILIMETER desc"));
    model.setOrder(
        {{QStringLiteral("MILIMETER"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
         true});
    model.reload();
    EXPECT_EQ(db::integerOf(model.fieldValue(0, QStringLiteral("DEVICECODE"))), kRows);
    EXPECT_EQ(db::integerOf(model.fieldValue(99, QStringLiteral("DEVICECODE"))), kRows - 99);

    model.setStatement(QStringLiteral("select * from DEVICE; delete from DEVICE"));
    EXPECT_THROW(model.reload(), db::DbError) << "a second statement is never run";
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), kRows);
}

// Another program deletes and inserts rows before, at and after the rows read while the grid is
// open: the rows read stay as they were, reading on shows what now follows them, and no row is
// blank, doubled or lost.
TEST_P(KeysetModel, OtherWritersNeverShiftDoubleOrBlankTheRows) {
    model.reload();
    model.fetchMore();
    const QStringList before = keys();
    auto other = db::Database::open(database().connectionString());
    other->execute(
        QStringLiteral("DELETE FROM DEVICE WHERE DEVICECODE < 600 AND DEVICECODE % 2 = 0"));
    QStringList inserted;
    for (int code = 2000; code < 2300; ++code)
        inserted.append(QStringLiteral("(%1, %2)").arg(code % 3 + 1).arg(code));
    other->execute(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES ") +
                   inserted.join(u','));
    readAll();
    const QStringList after = keys();
    EXPECT_EQ(after.mid(0, before.size()), before);
    const QStringList now = expectedKeys(QStringLiteral("DEVICETYPE, DEVICECODE"));
    const QString last = before.back();
    const qsizetype from = now.indexOf(last);
    ASSERT_GE(from, 0) << "the last row read is still there";
    EXPECT_EQ(after.mid(before.size()), now.mid(from + 1));
    EXPECT_FALSE(after.contains(QStringLiteral("0/0")));
}

TEST_P(KeysetModel, ReloadsOnARowByKeyOrWhereItStoodWhenItIsGone) {
    model.reload();
    auto place = model.reloadOnRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
                                   {2, 700}, {});
    EXPECT_TRUE(place.found);
    EXPECT_EQ(keyAt(place.row), QStringLiteral("2/700"));
    EXPECT_LE(model.rowCount(), 200) << "two batches, wherever the row stands";
    const QVariantList stood = model.orderValues(place.row);
    database().exec(QStringLiteral("DELETE FROM DEVICE WHERE DEVICECODE = 700"));
    place = model.reloadOnRow({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
                              {2, 700}, stood);
    EXPECT_FALSE(place.found);
    EXPECT_EQ(keyAt(place.row), QStringLiteral("2/703")) << "the next device of the type";
}

TEST_P(KeysetModel, AViewScrollingToTheEndFetchesTheRest) {
    QTableView view;
    view.resize(400, 300);
    view.setModel(&model);
    model.reload();
    view.show();
    while (model.canFetchMore()) {
        view.scrollToBottom();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(model.rowCount(), kRows);
}

TEST_P(KeysetModel, FailuresAreErrorsOrReportedOnceAndLeaveWhatWasRead) {
    model.setStatement(QStringLiteral("select * from NOSUCH"));
    EXPECT_THROW(model.reload(), db::DbError);
    EXPECT_TRUE(model.isEmpty());
    EXPECT_FALSE(model.canFetchMore());

    model.setStatement(QStringLiteral("select * from DEVICE"));
    model.reload();
    QSignalSpy failures(&model, &db::GridModel::fetchFailed);
    database().exec(QStringLiteral("DROP TABLE DEVICE"));
    model.fetchMore();
    model.fetchMore();
    EXPECT_EQ(failures.count(), 1) << "a failing batch is reported once, not at every scroll";
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_THROW(model.reload(), db::DbError);
}

// A grid left open holds no transaction and no snapshot between its reads, so that another
// program's writes can be checkpointed (SQLite) and vacuumed (PostgreSQL).
TEST_P(KeysetModel, AnOpenGridPinsNoSnapshotWhileOthersWrite) {
    model.setCacheLimit(kRows + 100000);  // every row read stays, to be counted
    model.reload();
    auto writer = db::Database::open(database().connectionString());
    for (int batch = 0; batch < 100; ++batch) {
        QStringList rows;
        for (int i = 0; i < 1000; ++i) {
            const int code = 10000 + batch * 1000 + i;
            rows.append(QStringLiteral("(%1, %2)").arg(9).arg(code));
        }
        writer->execute(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES ") +
                        rows.join(u','));
    }
    if (GetParam() == db::Engine::SQLite) {
        QSqlQuery checkpoint = writer->select(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        ASSERT_TRUE(checkpoint.next());
        EXPECT_EQ(checkpoint.value(0).toInt(), 0) << "no reader holds the checkpoint back";
        const QString file =
            database().connectionString().section(QStringLiteral("Data Source="), 1);
        EXPECT_EQ(QFileInfo(file + QStringLiteral("-wal")).size(), 0);
    } else {
        EXPECT_EQ(database().scalarInt(QStringLiteral(
                      "select count(*) from pg_stat_activity where datname = current_database() "
                      "and state like 'idle in transaction%'")),
                  0);
    }
    readAll();
    EXPECT_EQ(model.rowCount(), kRows + 100000) << "the rows written meanwhile follow";
}

TUNNEL_ON_EVERY_ENGINE(KeysetModel);

TEST(RowCache, FindsFieldsCaseInsensitivelyAndComparesValuesAsText) {
    db::RowCache cache;
    cache.reset({QStringLiteral("DEVICETYPE"), QStringLiteral("devicecode")});
    cache.append({QVariant(12), QVariant(QStringLiteral("3"))});
    cache.append({QVariant(12), QVariant(4)});
    cache.prepend({{QVariant(), QVariant(4)}, {QVariant(11), QVariant(1)}});
    EXPECT_EQ(cache.fieldIndex(QStringLiteral("DeviceCode")), 1);
    EXPECT_EQ(cache.fieldIndex(QStringLiteral("nope")), -1);
    EXPECT_EQ(cache.find({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, {12, 3}), 2);
    EXPECT_EQ(cache.find({QStringLiteral("DEVICECODE")}, {4}), 0);
    EXPECT_EQ(cache.find({QStringLiteral("DEVICECODE")}, {4}, 1), 3);
    EXPECT_EQ(cache.find({QStringLiteral("nope")}, {4}), -1);
    EXPECT_FALSE(cache.value(99, 0).isValid());
    cache.clear();
    EXPECT_EQ(cache.size(), 0);
}

// A detail grid runs its statement afresh for every master row chosen, and is empty with none.
TEST_P(KeysetModel, ADetailGridFollowsTheChosenMasterRow) {
    database().exec(
        QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (1, 'a'), "
                       "(2, 'b'), (8, 'none')"));
    db::KeysetQueryModel types;
    types.setConnectionString(database().connectionString());
    types.setStatement(QStringLiteral("select * from DEVICETYPE"));
    types.setOrder({{QStringLiteral("TYPECODE")}, false});
    types.setColumns({{QStringLiteral("TYPENAME"), QStringLiteral("类型"), 60, Qt::AlignLeft, {}}});
    QTableView masterGrid;
    masterGrid.setModel(&types);
    QTableView detailGrid;
    detailGrid.setModel(&model);
    model.setBatchSize(1000);
    ui::DetailBinding binding(masterGrid, detailGrid, model, [&](int row) {
        return QStringLiteral("select * from DEVICE where DEVICETYPE=%1")
            .arg(db::integerOf(types.fieldValue(row, QStringLiteral("TYPECODE"))));
    });
    types.reload();
    EXPECT_TRUE(model.isEmpty()) << "no row chosen yet";
    masterGrid.setCurrentIndex(types.index(1, 0));
    EXPECT_EQ(model.rowCount(), 350);
    EXPECT_EQ(keyAt(0), QStringLiteral("2/1"));
    EXPECT_EQ(detailGrid.currentIndex().row(), 0) << "on its first row, as a dataset stands";
    masterGrid.setCurrentIndex(types.index(2, 0));
    EXPECT_TRUE(model.isEmpty());
}

// Rows are read while the grid lays itself out and paints: a failure is reported once, after
// the event that read, never from inside it (a message box inside a paint event breaks it).
TEST_P(KeysetModel, AFailedReadInAGridIsReportedOnceAfterTheEvent) {
    test::MessageRecorder messages;
    QTableView grid;
    ui::bindReadOnlyGrid(grid, model, false);
    model.reload();
    database().exec(QStringLiteral("DROP TABLE DEVICE"));
    model.fetchMore();
    model.fetchMore();
    EXPECT_TRUE(messages.messages().isEmpty()) << "not inside the event that read";
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_FALSE(messages.messages()[0].details.isEmpty()) << "the statement, in the details";
    EXPECT_EQ(model.rowCount(), 100) << "the grid shows what it has";
}

// Ctrl+End in the grid goes to the result's last row however many rows it has (read from the
// other end of the order), Ctrl+Home back to its first; from the end the rows read upward in
// the database's order to the first, NULLs included.
TEST_P(KeysetModel, CtrlEndAndCtrlHomeGoToTheResultsEnds) {
    model.setCacheLimit(300);
    QTableView view;
    ui::bindReadOnlyGrid(view, model, false);
    view.resize(300, 200);
    const struct {
        db::GridOrder order;
        QString orderBy;
    } cases[] = {
        {kByKey, QStringLiteral("DEVICETYPE, DEVICECODE")},
        {{{QStringLiteral("STATUS"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
          false},
         QStringLiteral("STATUS, DEVICETYPE, DEVICECODE")},
        {{{QStringLiteral("STATUS"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
          true},
         QStringLiteral("STATUS desc, DEVICETYPE desc, DEVICECODE desc")},
    };
    for (const auto& c : cases) {
        const QStringList expected = expectedKeys(c.orderBy);
        model.setOrder(c.order);
        model.reload();
        QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(keyAt(view.currentIndex().row()), expected.last()) << c.orderBy.toStdString();
        EXPECT_FALSE(model.canFetchMore());
        EXPECT_EQ(difference(keys(), expected.mid(expected.size() - model.rowCount())), "same")
            << "the last rows: " << c.orderBy.toStdString();
        QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_EQ(keyAt(view.currentIndex().row()), expected.first()) << c.orderBy.toStdString();
        QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
        while (model.canFetchAbove())
            model.fetchAbove();
        EXPECT_EQ(difference(keys(), expected.mid(0, model.rowCount())), "same")
            << "read upward from the end to the first: " << c.orderBy.toStdString();
    }
}
