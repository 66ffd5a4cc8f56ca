#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/EngineCount.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/db/Transaction.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

using namespace tunnel;
using test::TestDatabase;

namespace {

QString openError(const QString& connectionString) {
    try {
        db::Database::open(connectionString);
    } catch (const db::DbError& error) {
        return error.report();
    }
    return {};
}

void insertDevice(TestDatabase& database, int type, int code,
                  const QString& physics = QStringLiteral("X")) {
    database.exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS, PHYSICS) "
                                 "VALUES (%1, %2, 1, '%3')")
                      .arg(type)
                      .arg(code)
                      .arg(physics));
}

db::DbError errorOf(TestDatabase& database, const QString& sql) {
    try {
        database.exec(sql);
    } catch (const db::DbError& error) {
        return error;
    }
    throw std::logic_error("the statement was not refused: " + sql.toStdString());
}

class DatabaseOnEngine : public test::EngineTest {};

}  // namespace

TEST(DatabaseOpen, MissingFilesFoldersAndServersAreClearErrors) {
    QTemporaryDir folder;
    const QString missingFile = folder.filePath(QStringLiteral("none.db"));
    EXPECT_TRUE(openError(QStringLiteral("Provider=SQLite;Data Source=") + missingFile)
                    .contains(QStringLiteral("不存在")));
    EXPECT_FALSE(QFile::exists(missingFile)) << "opening must not create a stray empty database";
    EXPECT_TRUE(openError(QStringLiteral("Provider=SQLite;Data Source=/no/such/folder/x.db"))
                    .contains(QStringLiteral("所在的文件夹不存在")));
    const QString refused = openError(QStringLiteral(
        "Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=d;User ID=u;Password=Hush1234"));
    EXPECT_TRUE(refused.contains(QStringLiteral("无法打开PostgreSQL 数据库")))
        << refused.toStdString();
    EXPECT_FALSE(refused.contains(QStringLiteral("Hush1234")));
    EXPECT_TRUE(openError(QStringLiteral("Provider=SQLite;;Data Source"))
                    .contains(QStringLiteral("连接字符串格式错误")));
}

// A file that is not a database (a wrong Data Source) is said so in Chinese.
TEST(DatabaseOpen, AFileThatIsNoDatabaseIsSaidSo) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("notes.db"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    const QString error = openError(QStringLiteral("Provider=SQLite;Data Source=") + path);
    EXPECT_TRUE(error.contains(QStringLiteral("不是数据库文件"))) << error.toStdString();
}

TEST(DatabaseOpen, SqliteRunsInWalModeAndIsCreatedOnlyWhenAsked) {
    QTemporaryDir folder;
    const QString text =
        QStringLiteral("Provider=SQLite;Data Source=") + folder.filePath(QStringLiteral("n.db"));
    auto db = db::Database::open(text, db::Database::OpenMode::CreateIfMissing);
    db::Query query(db);
    query.setSql(QStringLiteral("PRAGMA journal_mode"));
    query.open();
    EXPECT_EQ(query.text(QStringLiteral("journal_mode")), QStringLiteral("wal"));
}

TEST_P(DatabaseOnEngine, QueryReadsColumnsByNameWhateverTheCase) {
    insertDevice(database(), 12, 3, QStringLiteral("A01"));
    database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES (12, 4)"));
    db::Query query(database().connectionString());
    query.setSql(QStringList{QStringLiteral("select *"), QStringLiteral("from Device"),
                             QStringLiteral("order by DEVICECODE")});
    EXPECT_EQ(query.sql(), QStringLiteral("select *\nfrom Device\norder by DEVICECODE"));
    query.open();
    ASSERT_FALSE(query.isEmpty());
    EXPECT_EQ(query.integer(QStringLiteral("devicetype")), 12);
    EXPECT_EQ(query.integer(QStringLiteral("DeviceCode")), 3);
    EXPECT_EQ(query.text(QStringLiteral("PHYSICS")).trimmed(), QStringLiteral("A01"));
    query.next();
    EXPECT_FALSE(query.eof());
    EXPECT_EQ(query.integer(QStringLiteral("STATUS")), 0) << "NULL reads as 0";
    EXPECT_EQ(query.text(QStringLiteral("physics")), QString()) << "NULL reads as empty";
    EXPECT_TRUE(query.isNull(QStringLiteral("int1")));
    query.next();
    EXPECT_TRUE(query.eof());
    EXPECT_THROW(query.integer(QStringLiteral("DEVICECODE")), db::DbError);

    query.setSql(QStringLiteral("select * from DEVICE where DEVICETYPE = 99"));
    query.open();
    EXPECT_TRUE(query.isEmpty());
    EXPECT_TRUE(query.eof());
    EXPECT_THROW(query.value(QStringLiteral("NOSUCHCOLUMN")), db::DbError);
}

TEST_P(DatabaseOnEngine, InterleavedQueriesOnOneConnectionEachSeeTheirWholeResult) {
    for (int code = 1; code <= 300; ++code)
        insertDevice(database(), 1, code);
    db::Query outer(database().connectionString());
    db::Query inner(database().connectionString());
    outer.setSql(QStringLiteral("select DEVICECODE from DEVICE order by DEVICECODE"));
    outer.open();
    int seen = 0;
    for (; !outer.eof(); outer.next()) {
        inner.setSql(QStringLiteral("select count(*) AS N from DEVICE"));
        inner.open();
        EXPECT_EQ(inner.integer(QStringLiteral("N")), 300);
        ++seen;
    }
    EXPECT_EQ(seen, 300);
}

// A refusal carries the engine's text and the statement; a table the database lacks is said in
// Chinese with what to do first.
TEST_P(DatabaseOnEngine, RefusedStatementsCarryTheDatabaseTextAndTheStatement) {
    const db::DbError error = errorOf(database(), QStringLiteral("select * from NOSUCHTABLE"));
    EXPECT_TRUE(error.message().contains(QStringLiteral("中没有表 NOSUCHTABLE：")))
        << error.message().toStdString();
    EXPECT_TRUE(error.message().contains(QStringLiteral("tunneldb init")));
    EXPECT_TRUE(error.report().contains(QStringLiteral("select * from NOSUCHTABLE")));
    EXPECT_FALSE(error.isUniqueViolation());
}

TEST_P(DatabaseOnEngine, BothKeysRefuseASecondRowAsUniqueViolation) {
    insertDevice(database(), 12, 3);
    const db::DbError device =
        errorOf(database(),
                QStringLiteral("INSERT INTO [DEVICE]([DEVICETYPE], [DEVICECODE]) VALUES(12, 3)"));
    EXPECT_TRUE(device.isUniqueViolation()) << device.report().toStdString();
    EXPECT_FALSE(device.nativeCode().isEmpty());
    insertDevice(database(), 12, 4);  // another number of the same type is fine

    const QString plc = QStringLiteral(
        "INSERT INTO PLCCONFIG  (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, "
        "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES ( 27,1,1,0,%1,6,1,1,'1-x')");
    database().exec(plc.arg(5));
    database().exec(plc.arg(6));
    EXPECT_TRUE(errorOf(database(), plc.arg(5)).isUniqueViolation());
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from PLCCONFIG")), 2);

    // Other refusals are not mistaken for duplicates.
    EXPECT_FALSE(
        errorOf(
            database(),
            QStringLiteral(
                "UPDATE DEVICE SET COMMDATA='0123456789012345678901234567890' WHERE DEVICECODE=3"))
            .isUniqueViolation());
    EXPECT_FALSE(
        errorOf(database(), QStringLiteral("UPDATE DEVICE SET STATUS='abc'")).isUniqueViolation());
}

TEST_P(DatabaseOnEngine, ColumnsRefuseTextsLongerThanTheirWidth) {
    insertDevice(database(), 1, 1, QStringLiteral("12345678901234567890"));
    EXPECT_THROW(insertDevice(database(), 1, 2, QStringLiteral("123456789012345678901")),
                 db::DbError);
    EXPECT_THROW(database().exec(QStringLiteral("UPDATE DEVICE SET char2='1,2,3,4,5,' ")),
                 db::DbError);
    EXPECT_THROW(
        database().exec(QStringLiteral("INSERT INTO AREA (AREACODE, FROMMETER) VALUES (1, 'x')")),
        db::DbError);
}

// Every window reads codes as 32-bit numbers: a number beyond them must be refused, not stored.
TEST_P(DatabaseOnEngine, IntegerColumnsHoldExactly32Bits) {
    const QString area = QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (%1)");
    const QString device =
        QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES (1, %1)");
    for (const QString& statement : {area, device}) {
        for (const char* beyond : {"2147483648", "-2147483649", "9223372036854775807"}) {
            EXPECT_THROW(database().exec(statement.arg(QLatin1String(beyond))), db::DbError)
                << statement.toStdString() << " with " << beyond;
        }
        database().exec(statement.arg(2147483647));
        database().exec(statement.arg(QStringLiteral("-2147483648")));
    }
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from AREA")), 2);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), 2);
}

TEST_P(DatabaseOnEngine, TransactionRollsBackUnlessCommitted) {
    auto& db = database().db();
    try {
        db::Transaction transaction(db);
        insertDevice(database(), 1, 1);
        throw std::runtime_error("failure between the writes");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), 0);
    {
        db::Transaction transaction(db);
        insertDevice(database(), 1, 2);
        transaction.commit();
    }
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), 1);
    EXPECT_FALSE(db.inTransaction());
}

TEST(DatabaseSqlite, AWriteTransactionHoldsTheWriteLockFromItsStart) {
    auto test = TestDatabase::create(db::Engine::SQLite);
    auto writer = db::Database::open(test->connectionString());
    auto other = db::Database::open(test->connectionString());
    writer->begin();
    other->select(QStringLiteral("PRAGMA busy_timeout = 0"));
    EXPECT_THROW(other->execute(QStringLiteral("BEGIN IMMEDIATE")), db::DbError)
        << "a deferred BEGIN would let another writer in, and fail later without waiting";
    writer->rollback();
    EXPECT_NO_THROW(other->execute(QStringLiteral("BEGIN IMMEDIATE")));
    other->execute(QStringLiteral("ROLLBACK"));
}

// Another program (here the sqlite3 shell) reads the file in a transaction while the module
// opens, writes in transactions and closes its connections: its WAL and shared-memory files
// stay, it sees its snapshot and then the module's rows, and it meets no I/O error.
TEST(DatabaseSqlite, AnotherProgramKeepsItsWalFilesWhileConnectionsComeAndGo) {
    auto test = TestDatabase::create(db::Engine::SQLite);
    const QString file = test->connectionString().section(QStringLiteral("Data Source="), 1);
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {file});
    ASSERT_TRUE(shell.waitForStarted());
    shell.write("BEGIN;\nSELECT 'before', count(*) FROM AREA;\n");
    ASSERT_TRUE(shell.waitForReadyRead(5000));
    for (int round = 0; round < 3; ++round) {
        auto db = db::Database::open(test->connectionString());
        db::Transaction transaction(*db);
        db->execute(
            QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (%1, 'x')").arg(round));
        transaction.commit();
    }
    EXPECT_TRUE(QFile::exists(file + QStringLiteral("-shm")));
    EXPECT_TRUE(QFile::exists(file + QStringLiteral("-wal")));
    shell.write(
        "SELECT 'inside', count(*) FROM AREA;\nCOMMIT;\n"
        "SELECT 'after', count(*) FROM AREA;\n.quit\n");
    shell.closeWriteChannel();
    ASSERT_TRUE(shell.waitForFinished(5000));
    EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()),
              QStringLiteral("before|0\ninside|0\nafter|3\n"));
    EXPECT_EQ(QString::fromUtf8(shell.readAllStandardError()), QString());
}

TUNNEL_ON_EVERY_ENGINE(DatabaseOnEngine);

namespace {

// A PostgreSQL database for the test, or a failure in CI where the server must be there.
std::unique_ptr<TestDatabase> serverDatabase() {
    auto test = TestDatabase::create(db::Engine::PostgreSQL);
    if (!test && !qEnvironmentVariableIsEmpty("CI")) {
        ADD_FAILURE() << "TUNNEL_TEST_PG is not set, so the PostgreSQL cases cannot run in CI";
    }
    return test;
}

// Ends every session of the test database but the test's own, as a server restart or an
// administrator does to the windows that are open.
void endOtherSessions(TestDatabase& test) {
    test.exec(
        QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                       "current_database() and pid <> pg_backend_pid()"));
}

QString failureOf(const std::function<void()>& use) {
    try {
        use();
    } catch (const db::DbError& error) {
        return error.message();
    }
    return {};
}

const QString kLost = QStringLiteral("与数据库的连接已中断");

// Ends every other session of the test database and waits until the server has let `pid` go.
void endSessionAndWait(TestDatabase& test, int pid) {
    endOtherSessions(test);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return test.scalarInt(QStringLiteral("select count(*) from pg_stat_activity where "
                                                 "pid = %1")
                                      .arg(pid)) == 0;
        },
        5000));
}

}  // namespace

// A write that finds its session ended says so (it may or may not have been done); the next
// statement, outside a transaction, runs on a connection opened afresh. A read is made again at
// once on a fresh session, without a word: on the windows' shared connection, a connection of
// their own and the host's alike (all are this class).
TEST(DatabaseLostConnection, AWriteReportsItAReadIsMadeAgain) {
    auto test = serverDatabase();
    if (!test)
        GTEST_SKIP() << "no PostgreSQL server";
    auto own = db::Database::open(test->connectionString());
    db::Query shared(test->connectionString());
    shared.setSql(QStringLiteral("select count(*) AS N from AREA"));
    shared.open();
    own->execute(QStringLiteral("select 1"));
    endOtherSessions(*test);

    const QString ownFailure = failureOf([&] { own->execute(QStringLiteral("select 1")); });
    EXPECT_TRUE(ownFailure.startsWith(kLost)) << ownFailure.toStdString();
    EXPECT_TRUE(own->isLost());
    EXPECT_EQ(failureOf([&] { shared.open(); }), QString());

    EXPECT_NO_THROW(own->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1)")));
    EXPECT_FALSE(own->isLost());
    shared.open();
    EXPECT_EQ(shared.integer(QStringLiteral("N")), 1);
}

// Inside a transaction nothing is reopened or repeated: what the transaction did is gone with
// the session, and only a new transaction may go on.
TEST(DatabaseLostConnection, InsideATransactionIsNeverRetried) {
    auto test = serverDatabase();
    if (!test)
        GTEST_SKIP() << "no PostgreSQL server";
    auto db = db::Database::open(test->connectionString());
    {
        db::Transaction transaction(*db);
        db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1)"));
        endOtherSessions(*test);
        EXPECT_TRUE(failureOf([&] {
                        db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (2)"));
                    }).startsWith(kLost));
        EXPECT_FALSE(failureOf([&] {
                         db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (3)"));
                     }).isEmpty())
            << "the transaction's connection is not silently replaced";
    }
    EXPECT_FALSE(db->inTransaction());
    db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (4)"));
    EXPECT_EQ(test->rows(QStringLiteral("select AREACODE from AREA")),
              QStringList{QStringLiteral("4")});
}

TEST(DatabaseLostConnection, AnOpenGridReadsOnOverAFreshSession) {
    auto test = serverDatabase();
    if (!test)
        GTEST_SKIP() << "no PostgreSQL server";
    test->exec(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1), (2), (3)"));
    db::KeysetQueryModel grid;
    grid.setConnectionString(test->connectionString());
    grid.setStatement(QStringLiteral("select * from AREA"));
    grid.setOrder({{QStringLiteral("AREACODE")}, false});
    grid.setBatchSize(2);
    grid.reload();
    QSignalSpy failures(&grid, &db::GridModel::fetchFailed);
    endOtherSessions(*test);
    grid.fetchMore();
    EXPECT_EQ(failures.count(), 0);
    while (grid.canFetchMore())
        grid.fetchMore();
    EXPECT_EQ(grid.rowCount(), 3);
}

// A session let go is the next opener's (no new session's round trips), handed over as a new
// one: what it left uncommitted rolled back, what it knew of the tables asked afresh, a result
// it left unread collected; one the server ended meanwhile is not handed out, and the opener
// gets a new session without a word.
TEST(SessionPool, TheNextOpenerGetsTheSessionLetGoAsANewOne) {
    auto test = serverDatabase();
    if (!test)
        GTEST_SKIP() << "no PostgreSQL server";
    const QString text = test->connectionString();
    const auto sessionOf = [](db::Database& db) {
        int pid = 0;
        db.forEachRow(QStringLiteral("select pg_backend_pid()"), {},
                      [&](const QVariantList& row) { pid = row[0].toInt(); });
        return pid;
    };
    int first = 0;
    {
        auto db = db::Database::open(text);
        first = sessionOf(*db);
        EXPECT_FALSE(db->hasTableThisSession(QStringLiteral("LATER")));
        db->begin();
        db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1)"));
    }
    test->exec(QStringLiteral("CREATE TABLE LATER (X INT)"));
    {
        auto db = db::Database::open(text);
        EXPECT_EQ(sessionOf(*db), first);
        EXPECT_FALSE(db->inTransaction());
        EXPECT_TRUE(db->hasTableThisSession(QStringLiteral("LATER")));
        QSqlQuery& unread = db->selectKept(QStringLiteral("select AREACODE from AREA"), {});
        EXPECT_FALSE(unread.next()) << "the insert left uncommitted is rolled back";
        QSqlQuery& half =
            db->selectKept(QStringLiteral("select g from generate_series(1, 50) g"), {});
        EXPECT_TRUE(half.next());
    }
    {
        auto db = db::Database::open(text);
        EXPECT_EQ(sessionOf(*db), first) << "its unread result collected";
    }
    endSessionAndWait(*test, first);
    EXPECT_EQ(db::Database::kept(text), nullptr) << "the server's notice of the end is seen";
    auto db = db::Database::open(text);
    EXPECT_TRUE(db->hasTableThisSession(QStringLiteral("LATER")))
        << "the ended session is not handed over: a table's look-up on it found nothing";
    const int second = sessionOf(*db);
    EXPECT_NE(second, first);
    EXPECT_NO_THROW(db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (2)")));
    endSessionAndWait(*test, second);
    EXPECT_TRUE(db->hasTable(QStringLiteral("LATER")))
        << "a table is looked up again on a fresh session when the session in use ended";
}

// A count's thread borrows the kept session and gives it back: the count costs no new session,
// and the session serves the next window after it.
TEST(SessionPool, ACountRunsOnTheKeptSessionAndLeavesItKept) {
    auto test = serverDatabase();
    if (!test)
        GTEST_SKIP() << "no PostgreSQL server";
    const QString text = test->connectionString();
    int first = 0;
    db::Database::open(text)->forEachRow(QStringLiteral("select pg_backend_pid()"), {},
                                         [&](const QVariantList& row) { first = row[0].toInt(); });
    for (int count = 0; count < 2; ++count) {
        db::EngineCount session(text, QStringLiteral("select pg_backend_pid()"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.finished(); }, 5000));
        EXPECT_EQ(session.result(), first) << "count " << count;
    }
    auto db = db::Database::open(text);
    EXPECT_NO_THROW(db->execute(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1)")));
    EXPECT_EQ(db->thread(), QThread::currentThread());
}

// A grid's batches are prepared once a session and planned once (a plan per run would be made
// at every batch): the last eight such statements are kept, the one before them goes; a session
// ended under them is replaced, and the read made again, without a word.
TEST(DatabaseKeptReads, ArePreparedOncePlannedOnceAndTheLastEightKept) {
    auto test = serverDatabase();
    if (!test)
        GTEST_SKIP() << "no PostgreSQL server";
    test->exec(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1), (2), (3)"));
    auto db = db::Database::open(test->connectionString());
    const auto read = [&](int n) {
        QSqlQuery& rows = db->selectKept(
            QStringLiteral("select AREACODE from AREA where AREACODE >= ? and %1 = %1").arg(n),
            {2});
        int count = 0;
        while (rows.next())
            ++count;
        rows.finish();
        return count;
    };
    const auto prepared = [&] {
        QSqlQuery rows = db->select(
            QStringLiteral("select count(*), coalesce(sum(custom_plans), 0) from "
                           "pg_prepared_statements where statement like '%AREACODE >= $1%'"),
            db::Database::Written::ForEngine);
        rows.next();
        return std::pair(rows.value(0).toInt(), rows.value(1).toInt());
    };
    for (int run = 0; run < 7; ++run) {
        EXPECT_EQ(read(1), 2);
    }
    EXPECT_EQ(prepared(), std::pair(1, 0)) << "one statement, never planned for its values";
    for (int n = 2; n <= 8; ++n) {
        read(n);
    }
    EXPECT_EQ(prepared().first, 8);
    read(9);
    EXPECT_EQ(prepared().first, 8) << "the oldest went";
    endOtherSessions(*test);
    EXPECT_EQ(failureOf([&] { EXPECT_EQ(read(9), 2); }), QString());
    EXPECT_EQ(prepared().first, 1) << "the ended session's statements went with it";
}
