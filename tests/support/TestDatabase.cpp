#include "support/TestDatabase.h"

#include "data/Partitions.h"
#include "data/Schema.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SessionPool.h"
#include "platform/db/ValueText.h"

#include <QCoreApplication>

namespace tunnel::test {
namespace {

QString serverConnectionString() {
    return qEnvironmentVariable("TUNNEL_TEST_PG");
}

QString serverDatabaseName() {
    return QStringLiteral("tunnel_test_%1").arg(QCoreApplication::applicationPid());
}

// The same server and credentials, another database.
QString withDatabase(const QString& connectionString, const QString& database) {
    const db::ConnectionSettings s = db::ConnectionSettings::parse(connectionString);
    QString text = QStringLiteral("Provider=PostgreSQL;Host=%1;Port=%2;Database=%3;User ID=%4")
                       .arg(s.host)
                       .arg(s.port)
                       .arg(database, s.user);
    if (!s.password.isEmpty()) {
        text += QStringLiteral(";Password=\"%1\"").arg(s.password);
    }
    return text;
}

bool& serverDatabaseCreated() {
    static bool created = false;
    return created;
}

QString prepareServerDatabase() {
    const QString admin = serverConnectionString();
    if (!serverDatabaseCreated()) {
        auto db = db::Database::open(admin);
        db::sessionPool::closeAll();  // a session an earlier test let go would hold the database
        db->execute(QStringLiteral("DROP DATABASE IF EXISTS ") + serverDatabaseName());
        db->execute(QStringLiteral("CREATE DATABASE ") + serverDatabaseName());
        serverDatabaseCreated() = true;
    }
    return withDatabase(admin, serverDatabaseName());
}

QString rowText(db::Query& query, int columns, const QStringList& names) {
    QStringList values;
    for (int i = 0; i < columns; ++i) {
        const QVariant value = query.value(names[i]);
        QString text = value.isNull() ? QStringLiteral("NULL") : db::textOf(value);
        while (text.endsWith(u' '))
            text.chop(1);
        values.append(text);
    }
    return values.join(u'|');
}

}  // namespace

TestDatabase::TestDatabase(db::Engine engine, QString connectionString)
    : engine_(engine), connectionString_(std::move(connectionString)) {}

TestDatabase::~TestDatabase() = default;

std::unique_ptr<TestDatabase> TestDatabase::create(db::Engine engine) {
    if (engine == db::Engine::PostgreSQL) {
        if (serverConnectionString().isEmpty()) {
            return nullptr;
        }
        std::unique_ptr<TestDatabase> test(new TestDatabase(engine, prepareServerDatabase()));
        data::dropSchema(test->db());
        data::createSchema(test->db());
        if (qEnvironmentVariableIsSet("TUNNEL_TEST_PG_PARTITIONED")) {
            // The months of the tests' histories have partitions of their own; the rest go to
            // the default partition.
            data::partitionHistories(test->db(), QDate(2004, 1, 1), QDate(2004, 6, 1), 6);
        }
        return test;
    }
    auto folder = std::make_unique<QTemporaryDir>();
    const QString file = folder->filePath(QStringLiteral("tunnel.db"));
    std::unique_ptr<TestDatabase> test(
        new TestDatabase(engine, QStringLiteral("Provider=SQLite;Data Source=%1").arg(file)));
    test->folder_ = std::move(folder);
    test->db_ =
        db::Database::open(test->connectionString_, db::Database::OpenMode::CreateIfMissing);
    data::createSchema(*test->db_);
    return test;
}

void TestDatabase::dropServerDatabase() {
    if (!serverDatabaseCreated()) {
        return;
    }
    try {
        auto db = db::Database::open(serverConnectionString());
        db->execute(
            QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(serverDatabaseName()));
        db::sessionPool::closeAll();
    } catch (const std::exception&) {
        // A database left behind on a throwaway test server costs nothing.
    }
}

db::Database& TestDatabase::db() {
    if (!db_) {
        db_ = db::Database::open(connectionString_);
    }
    return *db_;
}

void TestDatabase::exec(const QString& sql) {
    db().execute(sql);
}

QStringList TestDatabase::operLog() {
    return rows(
        QStringLiteral("select FUNCCODE, ACTION, TABLENAME, ROWKEY, BEFORETEXT, AFTERTEXT "
                       "from OPERLOG order by LOGID"));
}

QStringList TestDatabase::rows(const QString& sql) {
    db();  // opens db_ when needed
    db::Query query(db_);
    query.setSql(sql);
    query.open();
    const QStringList names = query.fieldNames();
    QStringList result;
    for (; !query.eof(); query.next()) {
        result.append(rowText(query, static_cast<int>(names.size()), names));
    }
    return result;
}

QString TestDatabase::scalarText(const QString& sql) {
    const QStringList all = rows(sql);
    return all.isEmpty() ? QString() : all.front().section(u'|', 0, 0);
}

int TestDatabase::scalarInt(const QString& sql) {
    return scalarText(sql).toInt();
}

std::string engineName(const ::testing::TestParamInfo<db::Engine>& info) {
    switch (info.param) {
        case db::Engine::SQLite:
            return "SQLite";
        case db::Engine::PostgreSQL:
            return "PostgreSQL";
        case db::Engine::SqlServer:
            return "SqlServer";
    }
    return "Unknown";
}

void reportMissingServer() {
    if (!qEnvironmentVariableIsEmpty("CI")) {
        FAIL() << "TUNNEL_TEST_PG is not set, so the PostgreSQL cases cannot run in CI";
    }
    GTEST_SKIP() << "TUNNEL_TEST_PG is not set; PostgreSQL cases need a server";
}

void EngineTest::SetUp() {
    database_ = TestDatabase::create(GetParam());
    if (!database_) {
        reportMissingServer();
        return;
    }
    prepare();
}

void EngineTest::TearDown() {
    database_.reset();
}

}  // namespace tunnel::test
