// Each window of codes 1 to 8 opened as the host opens it, on the demo installation in a
// PostgreSQL database, directly and through a relay that delays each direction by 15 ms (a
// station 30 ms from its server): the time to the painted window, and the round trips the
// relay counted; the same for a history's 查询, a scrolled batch and a sort. The database is made
// on the first run on the server TUNNEL_BENCH_PG names.
//   TUNNEL_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=...;Database=postgres;User ID=..."
//   build/default/bin/round_trip_bench
#include "DelayRelay.h"
#include "PluginHost.h"

#include "ServerDatabase.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmQueryStatus.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/EngineCount.h"
#include "platform/db/SessionPool.h"

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>

#include <memory>
#include <thread>

using namespace tunnel;

namespace {

constexpr std::chrono::milliseconds kOneWay{15};

const QString kDemo = QStringLiteral("tunnel_bench_roundtrips");

QString demoDatabase() {
    return bench::serverDatabase(kDemo);
}

void ensureData() {
    bench::makeServerDatabaseOnce(kDemo, {{QStringLiteral("demo")}});
}

// The demo database reached through `relay`.
QString relayed(const tools::DelayRelay& relay) {
    const db::ConnectionSettings settings = db::ConnectionSettings::parse(demoDatabase());
    return QStringLiteral("Provider=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User ID=%3")
        .arg(relay.port())
        .arg(settings.database, settings.user);
}

// Arguments: the function code, through the relay (0/1). Each iteration opens the window in a
// host that has opened it before (its connections made): what an operator's every open costs.
void BM_OpenWindow(benchmark::State& state) {
    static LoadedPlugin plugin;
    const auto code = static_cast<uint32_t>(state.range(0));
    std::unique_ptr<tools::DelayRelay> relay;
    if (state.range(1) == 1) {
        const db::ConnectionSettings settings = db::ConnectionSettings::parse(demoDatabase());
        relay =
            std::make_unique<tools::DelayRelay>(static_cast<std::uint16_t>(settings.port), kOneWay);
        plugin.setConnectionString(relayed(*relay));
    } else {
        plugin.setConnectionString(demoDatabase());
    }
    plugin.execFuncToPaintedGrid(code, QString());  // the host's first open makes connections
    const long long before = relay ? relay->roundTrips() : 0;
    const long long connectedBefore = relay ? relay->connections() : 0;
    for (auto _ : state) {
        const qint64 ns = plugin.execFuncToPaintedGrid(code, QString());
        state.SetIterationTime(static_cast<double>(ns) / 1e9);
    }
    if (relay) {
        const auto perOpen = [&](long long count) {
            return static_cast<double>(count) / static_cast<double>(state.iterations());
        };
        state.counters["round_trips"] = perOpen(relay->roundTrips() - before);
        state.counters["connections"] = perOpen(relay->connections() - connectedBefore);
    }
}

// A session opened and closed through the relay, the part of each window's cost that is its
// connections.
void BM_OpenSession(benchmark::State& state) {
    const db::ConnectionSettings settings = db::ConnectionSettings::parse(demoDatabase());
    tools::DelayRelay relay(static_cast<std::uint16_t>(settings.port), kOneWay);
    for (auto _ : state) {
        db::Database::open(relayed(relay));
        db::sessionPool::closeAll();  // a new session each time, not the one just let go
    }
    state.counters["round_trips"] =
        static_cast<double>(relay.roundTrips()) / static_cast<double>(state.iterations());
}

// A history's count started and finished through the relay, in a host whose windows have let
// their sessions go: what the count box costs beyond the rows.
void BM_CountStart(benchmark::State& state) {
    const db::ConnectionSettings settings = db::ConnectionSettings::parse(demoDatabase());
    tools::DelayRelay relay(static_cast<std::uint16_t>(settings.port), kOneWay);
    db::Database::open(relayed(relay));  // a window's session, let go
    const long long before = relay.roundTrips();
    for (auto _ : state) {
        db::EngineCount count(relayed(relay), QStringLiteral("select count(*) from DEVICESTATUS"));
        while (!count.finished()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        benchmark::DoNotOptimize(count.result());
    }
    state.counters["round_trips"] =
        static_cast<double>(relay.roundTrips() - before) / static_cast<double>(state.iterations());
    db::sessionPool::closeAll();
}

// What an operator asks of an open window. Each step is timed and counted alone (what readies
// it, such as the query before a batch, is not), after it was taken once.
enum class Step { StateQuery, AlertQuery, AlertBatch, DeviceSort };

// The histories from the demo's first day, so that the alerts fill more than a batch.
void fromTheFirstDay(QWidget& window) {
    window.findChild<QDateEdit*>(QStringLiteral("dtpBegin"))->setDate(QDate(2000, 1, 1));
}

// The history's 查询 button.
void query(QWidget& window, Step step) {
    const char* button = step == Step::StateQuery ? "btQuery" : "Button1";
    window.findChild<QAbstractButton*>(QLatin1String(button))->click();
}

// Arguments: the step, through the relay (0/1).
void BM_WindowStep(benchmark::State& state) {
    const auto step = static_cast<Step>(state.range(0));
    std::unique_ptr<tools::DelayRelay> relay;
    QString connection = demoDatabase();
    if (state.range(1) == 1) {
        const db::ConnectionSettings settings = db::ConnectionSettings::parse(demoDatabase());
        relay =
            std::make_unique<tools::DelayRelay>(static_cast<std::uint16_t>(settings.port), kOneWay);
        connection = relayed(*relay);
    }
    const data::ModuleContext context{connection, {}};
    std::unique_ptr<QWidget> window;
    switch (step) {
        case Step::StateQuery:
            window = std::make_unique<history::TfmQueryStatus>(nullptr, context);
            break;
        case Step::AlertQuery:
        case Step::AlertBatch:
            window = std::make_unique<history::TfmDeviceAlert>(nullptr, context);
            break;
        case Step::DeviceSort:
            window = std::make_unique<devices::TfmDeviceMainage>(nullptr, context);
            break;
    }
    window->show();
    if (step != Step::DeviceSort) {
        fromTheFirstDay(*window);
    }
    auto* grid = window->findChild<QTableView*>();
    const auto readyStep = [&] {
        if (step == Step::AlertBatch) {
            query(*window, step);
        }
    };
    const auto takeStep = [&] {
        switch (step) {
            case Step::StateQuery:
            case Step::AlertQuery:
                query(*window, step);
                break;
            case Step::AlertBatch:
                grid->model()->fetchMore({});
                break;
            case Step::DeviceSort:
                emit grid->horizontalHeader()->sectionClicked(4);  // 状态, each way in turn
                break;
        }
        benchmark::DoNotOptimize(grid->grab());
    };
    // Once before, as an operator's window has done: its sessions made, its statements prepared.
    readyStep();
    takeStep();
    long long roundTrips = 0;
    for (auto _ : state) {
        readyStep();
        const long long before = relay ? relay->roundTrips() : 0;
        QElapsedTimer timer;
        timer.start();
        takeStep();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        roundTrips += relay ? relay->roundTrips() - before : 0;
    }
    state.counters["rows"] = grid->model()->rowCount();
    if (relay) {
        state.counters["round_trips"] =
            static_cast<double>(roundTrips) / static_cast<double>(state.iterations());
    }
    window.reset();
    db::sessionPool::closeAll();
}

void codes(benchmark::internal::Benchmark* bench) {
    for (int code = 1; code <= 8; ++code) {
        bench->Args({code, 0});
        bench->Args({code, 1});
    }
}

BENCHMARK(BM_OpenSession)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CountStart)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WindowStep)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_OpenWindow)
    ->Apply(codes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, ensureData);
}
