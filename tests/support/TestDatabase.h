#pragma once

#include "platform/db/Engine.h"
#include "support/Printers.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tunnel::db {
class Database;
inline void PrintTo(Engine engine, std::ostream* os) {
    *os << (engine == Engine::SQLite       ? "SQLite"
            : engine == Engine::PostgreSQL ? "PostgreSQL"
                                           : "SQL Server");
}
}  // namespace tunnel::db

namespace tunnel::test {

// A fresh database with the installation's schema and no rows: an SQLite file in a temporary
// folder, or, on PostgreSQL, a database of this test process on the server that
// TUNNEL_TEST_PG names, emptied and given the schema anew for every test.
class TestDatabase {
public:
    // Null when the engine is not configured here (PostgreSQL without TUNNEL_TEST_PG); in CI
    // that is a failure, never a silent pass.
    static std::unique_ptr<TestDatabase> create(db::Engine engine);
    static void dropServerDatabase();

    ~TestDatabase();

    db::Engine engine() const { return engine_; }
    const QString& connectionString() const { return connectionString_; }
    db::Database& db();

    void exec(const QString& sql);
    int scalarInt(const QString& sql);
    QString scalarText(const QString& sql);
    // Every row of a select as "v1|v2|...", texts trimmed at the right (fixed-width columns
    // come back padded on the server engines), dates as yyyy-mm-dd hh:mm:ss.zzz.
    QStringList rows(const QString& sql);
    // The operation log as "FUNCCODE|ACTION|TABLENAME|ROWKEY|BEFORETEXT|AFTERTEXT", oldest first.
    QStringList operLog();

private:
    TestDatabase(db::Engine engine, QString connectionString);

    db::Engine engine_;
    QString connectionString_;
    std::shared_ptr<db::Database> db_;
    std::unique_ptr<QTemporaryDir> folder_;
};

std::string engineName(const ::testing::TestParamInfo<db::Engine>& info);

// For a fixture's SetUp when TestDatabase::create gave none: fails in CI, skips elsewhere (the
// test's body is not run either way).
void reportMissingServer();

// A test that runs once per engine on a fresh database.
class EngineTest : public ::testing::TestWithParam<db::Engine> {
protected:
    void SetUp() override;
    void TearDown() override;
    // Fills the fresh database for the test; runs only when the engine is there.
    virtual void prepare() {}
    TestDatabase& database() { return *database_; }

private:
    std::unique_ptr<TestDatabase> database_;
};

}  // namespace tunnel::test

#define TUNNEL_ON_EVERY_ENGINE(Suite)                                                      \
    INSTANTIATE_TEST_SUITE_P(                                                              \
        Engines, Suite,                                                                    \
        ::testing::Values(::tunnel::db::Engine::SQLite, ::tunnel::db::Engine::PostgreSQL), \
        ::tunnel::test::engineName)
