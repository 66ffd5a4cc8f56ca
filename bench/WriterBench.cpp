// What other programs' writes cost where the module is installed: a driver's writes of the
// histories and of DEVICE.STATUS against a database the module set up (its tables, indexes and
// search indexes, a tunnel view's looks and a device search running on another connection),
// and against the same database as the schema's tables and indexes alone make it. The module
// installs nothing that runs inside the writes, so the two should write alike.
#include "BenchMain.h"
#include "ServerDatabase.h"
#include "data/DeviceSearch.h"
#include "data/Schema.h"
#include "data/Tables.h"
#include "data/TunnelView.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace tunnel;

namespace {

constexpr int kDevices = 10'000;
constexpr int kWritesAnIteration = 2'000;
constexpr int kBatch = 100;

enum class Kind { OneSession, FourSessions, Batches, DeviceStatus };

bool hasServer() {
    return !qEnvironmentVariableIsEmpty("TUNNEL_BENCH_PG");
}

QString databaseOf(db::Engine engine, bool installed) {
    const QString name = installed ? QStringLiteral("tunnel_writers_module")
                                   : QStringLiteral("tunnel_writers_schema");
    if (engine == db::Engine::PostgreSQL) {
        return bench::serverDatabase(name);
    }
    return QStringLiteral("Provider=SQLite;Data Source=%1/%2.db").arg(QDir::tempPath(), name);
}

bool databaseExists(db::Engine engine, const QString& text) {
    if (engine == db::Engine::SQLite) {
        return QFile::exists(text.section(QStringLiteral("Data Source="), 1));
    }
    const QString name = text.section(QStringLiteral("Database="), 1).section(u';', 0, 0);
    auto admin = db::Database::open(bench::benchServer());
    bool exists = false;
    admin->forEachRow(
        QStringLiteral("select count(*) from pg_database where datname = '%1'").arg(name), {},
        [&](const QVariantList& row) { exists = row[0].toInt() == 1; });
    return exists;
}

// The database made afresh (unless TUNNEL_BENCH_WRITERS_KEEP is set and it is there, for runs
// paired one against the other): the schema's tables and indexes, and with `installed` what
// the module adds; ten thousand devices and a hundred thousand state changes in both.
void makeDatabase(db::Engine engine, bool installed) {
    const QString text = databaseOf(engine, installed);
    if (!qEnvironmentVariableIsEmpty("TUNNEL_BENCH_WRITERS_KEEP") && databaseExists(engine, text)) {
        return;
    }
    if (engine == db::Engine::PostgreSQL) {
        auto admin = db::Database::open(bench::benchServer());
        const QString name = text.section(QStringLiteral("Database="), 1).section(u';', 0, 0);
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
        admin->execute(QStringLiteral("CREATE DATABASE ") + name);
    } else {
        const QString file = text.section(QStringLiteral("Data Source="), 1);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(file + QLatin1String(suffix));
        }
    }
    auto db = db::Database::open(text, db::Database::OpenMode::CreateIfMissing);
    if (installed) {
        data::createSchema(*db);
    } else {
        for (const QString& table : data::installationTables()) {
            db->execute(data::createTableStatement(*db, table));
            for (const QString& index : data::createIndexStatements(*db, table)) {
                db->execute(index);
            }
        }
    }
    db->begin();
    for (int code = 1; code <= kDevices; ++code) {
        db->execute(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS, PHYSICS, "
                                   "COMMDATA, MILIMETER, METER) VALUES (%1, %2, 1, 'D%2', "
                                   "'10.0.%3.%4', %5, %6)")
                        .arg(code % 10 + 1)
                        .arg(code)
                        .arg(code / 250)
                        .arg(code % 250)
                        .arg(code / 1000)
                        .arg(code % 1000));
    }
    for (int row = 0; row < 100'000; ++row) {
        if (row % 1000 == 0 && row > 0) {
            db->commit();
            db->begin();
        }
        db->execute(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, "
                                   "PRESTATUS, CURSTATUS) VALUES (%1, %2, '2024-01-01 "
                                   "00:00:00.000', 1, 2)")
                        .arg(row % kDevices % 10 + 1)
                        .arg(row % kDevices + 1));
    }
    db->commit();
}

// A station with the tunnel view and the device search open on the database: a look a second,
// and a search as typed, on a session of its own, until stopped.
class StationReading {
public:
    explicit StationReading(const QString& text)
        : thread_([this, text] {
              auto db = db::Database::open(text);
              data::TunnelFeed feed(*db);
              feed.readRegister();
              feed.readNewest(200);
              data::DeviceSearch search;
              search.text = QStringLiteral("10.0.7");
              const QString sql = data::deviceSearchStatement(*db, search, data::textSearchOf(*db));
              std::unique_lock lock(mutex_);
              while (!stopped_) {
                  lock.unlock();
                  if (feed.changedSinceLastLook()) {
                      feed.readNew();
                  }
                  int found = 0;
                  db->forEachRowWhile(sql, {}, [&](const QVariantList&) { return ++found < 256; });
                  lock.lock();
                  wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopped_; });
              }
          }) {}
    ~StationReading() {
        {
            const std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    StationReading(const StationReading&) = delete;
    StationReading& operator=(const StationReading&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::thread thread_;
};

std::atomic<qint64> nextTime{0};

// A time after every one written so far, as a driver writes its changes.
QString newTime() {
    const qint64 n = nextTime++;
    return QStringLiteral("2025-%1-%2 %3:%4:%5.%6")
        .arg(n / 2'592'000'000 % 12 + 1, 2, 10, QLatin1Char('0'))
        .arg(n / 86'400'000 % 28 + 1, 2, 10, QLatin1Char('0'))
        .arg(n / 3'600'000 % 24, 2, 10, QLatin1Char('0'))
        .arg(n / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(n / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 1000, 3, 10, QLatin1Char('0'));
}

void writeAsADriver(db::Database& db, Kind kind, int writes, int seed) {
    for (int i = 0; i < writes; ++i) {
        const int code = (seed * 7919 + i * 104'729) % kDevices + 1;
        const int type = code % 10 + 1;
        if (kind == Kind::DeviceStatus) {
            db.execute(QStringLiteral("UPDATE DEVICE SET STATUS=%1 WHERE DEVICETYPE=%2 AND "
                                      "DEVICECODE=%3")
                           .arg(i % 4 + 1)
                           .arg(type)
                           .arg(code));
            continue;
        }
        // The states and the alerts in turn, a row or a batch at a time.
        const bool alert = i % 2 == 1;
        const int rows = kind == Kind::Batches ? kBatch : 1;
        QStringList values;
        for (int r = 0; r < rows; ++r) {
            const int device = (code + r * 13) % kDevices + 1;
            values.append((alert ? QStringLiteral("(%1, %2, '%3', %4, '风机故障')")
                                 : QStringLiteral("(%1, %2, '%3', 1, %4)"))
                              .arg(device % 10 + 1)
                              .arg(device)
                              .arg(newTime())
                              .arg(alert ? r % 2 : r % 4 + 1));
        }
        const QString sql = alert
                                ? QStringLiteral(
                                      "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                      "ALERTTYPE, ALERTDESC) VALUES ")
                                : QStringLiteral(
                                      "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                                      "STATUSTIME, PRESTATUS, CURSTATUS) VALUES ");
        db.execute(sql + values.join(u','));
    }
}

// Arguments: engine (0 SQLite, 1 PostgreSQL), the database (0 the schema alone, 1 the module
// installed, 2 the module installed and a station reading it on this machine), the kind of
// writes.
void BM_DriverWrites(benchmark::State& state) {
    const auto engine = state.range(0) == 0 ? db::Engine::SQLite : db::Engine::PostgreSQL;
    if (engine == db::Engine::PostgreSQL && !hasServer()) {
        state.SkipWithError("TUNNEL_BENCH_PG names no PostgreSQL server");
        return;
    }
    const bool installed = state.range(1) >= 1;
    const bool stationHere = state.range(1) == 2;
    const auto kind = static_cast<Kind>(state.range(2));
    const QString text = databaseOf(engine, installed);
    const int sessions = kind == Kind::FourSessions ? 4 : 1;
    std::unique_ptr<StationReading> station;
    if (stationHere) {
        station = std::make_unique<StationReading>(text);
    }
    const int writes = kWritesAnIteration / (kind == Kind::Batches ? 10 : 1);
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (int s = 0; s < sessions; ++s) {
            threads.emplace_back([&, s] {
                try {
                    // A session of the thread's own (a connection belongs to its thread).
                    auto writer = db::Database::open(text + QStringLiteral(";Lock Timeout=60"));
                    writeAsADriver(*writer, kind, writes / sessions, s + 1);
                } catch (const db::DbError& error) {
                    std::fprintf(stderr, "%s\n", qPrintable(error.report()));
                    std::abort();
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    const int rowsAWrite = kind == Kind::Batches ? kBatch : 1;
    state.SetItemsProcessed(state.iterations() * writes * rowsAWrite);
}

void driverWriteCases(benchmark::internal::Benchmark* bench) {
    for (int engine : {0, 1}) {
        for (int kind = 0; kind <= 3; ++kind) {
            for (int database : {0, 1, 2}) {
                bench->Args({engine, database, kind});
            }
        }
    }
}

}  // namespace

BENCHMARK(BM_DriverWrites)
    ->Apply(driverWriteCases)
    ->ArgNames({"engine", "database", "kind"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

int main(int argc, char** argv) {
    return bench::runBenchmarks(argc, argv, [] {
        for (const db::Engine engine : {db::Engine::SQLite, db::Engine::PostgreSQL}) {
            if (engine == db::Engine::PostgreSQL && !hasServer()) {
                continue;
            }
            std::fprintf(stderr, "making the databases on %s...\n",
                         engine == db::Engine::SQLite ? "SQLite" : "PostgreSQL");
            makeDatabase(engine, false);
            makeDatabase(engine, true);
        }
    });
}
