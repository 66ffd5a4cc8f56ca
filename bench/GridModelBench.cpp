// Time to the first painted rows and the memory a lazy grid takes, for a result of ten
// million rows against one of a hundred. The data is made once by the generator and reused:
//   TUNNEL_BENCH_DB="Provider=SQLite;Data Source=/tmp/tunnel-bench.db"
//   build/default/bench/grid_model_bench
#include "Generator.h"
#include "PeakMemory.h"

#include "data/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"

#include <QTableView>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace tunnel;

namespace {

constexpr qint64 kBigRows = 10'000'000;

QString benchConnectionString() {
    const QString configured = qEnvironmentVariable("TUNNEL_BENCH_DB");
    return configured.isEmpty() ? QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench.db")
                                : configured;
}

void ensureData() {
    auto db = db::Database::open(benchConnectionString(), db::Database::OpenMode::CreateIfMissing);
    if (data::schemaExists(*db)) {
        db::Query query(db);
        query.setSql(QStringLiteral("select count(*) AS N from DEVICEALERT"));
        query.open();
        if (query.integer(QStringLiteral("N")) >= kBigRows)
            return;
        data::dropSchema(*db);
    }
    data::createSchema(*db);
    std::fprintf(stderr, "generating %lld alerts once...\n", static_cast<long long>(kBigRows));
    tools::GenerateOptions options;
    options.devices = 1000;
    options.alerts = kBigRows;
    if (db->engine() == db::Engine::SQLite)
        db->execute(QStringLiteral("PRAGMA synchronous = OFF"));
    tools::generate(*db, options, {});
}

const db::GridOrder kNewestFirst{
    {QStringLiteral("ALERTTIME"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
    true};

// Shows the first rows of `statement` in a grid, then reads `deeper` further batches, and
// returns the rows fetched for it.
int paintFirstRows(const QString& statement, int deeper = 0) {
    db::KeysetQueryModel model;
    model.setConnectionString(benchConnectionString());
    model.setColumns(
        {{QStringLiteral("DEVICETYPE"), QStringLiteral("设备类型"), 112, Qt::AlignLeft, {}},
         {QStringLiteral("DEVICECODE"), QStringLiteral("编号"), 32, Qt::AlignCenter, {}},
         {QStringLiteral("ALERTTIME"), QStringLiteral("发生时间"), -1, Qt::AlignLeft, {}},
         {QStringLiteral("ALERTTYPE"), QStringLiteral("标识"), 38, Qt::AlignLeft, {}},
         {QStringLiteral("ALERTDESC"), QStringLiteral("报警说明"), -1, Qt::AlignLeft, {}}});
    model.setStatement(statement);
    model.setOrder(kNewestFirst);
    QTableView view;
    view.resize(640, 360);
    view.setModel(&model);
    model.reload();
    view.show();
    benchmark::DoNotOptimize(view.grab());  // paints the first rows
    for (int batch = 0; batch < deeper; ++batch) {
        model.fetchMore();
    }
    return model.rowCount();
}

// One batch read after `deep` batches, against the first: a read from a key set costs the same
// at any depth.
void BM_NextBatch(benchmark::State& state) {
    const int deep = static_cast<int>(state.range(0));
    db::KeysetQueryModel model;
    model.setConnectionString(benchConnectionString());
    model.setStatement(QStringLiteral("select * from DEVICEALERT"));
    model.setOrder(kNewestFirst);
    model.reload();
    for (int batch = 0; batch < deep; ++batch) {
        model.fetchMore();
    }
    for (auto _ : state) {
        model.fetchMore();
    }
    state.counters["rows_read"] = model.rowCount();
}

void showFirstRows(benchmark::State& state, const QString& statement) {
    qint64 peakGrowth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const qint64 before = residentKiB();
        resetPeakMemory();
        state.ResumeTiming();

        const int rows = paintFirstRows(statement);

        state.PauseTiming();
        peakGrowth = std::max(peakGrowth, peakResidentKiB() - before);
        state.counters["rows_fetched"] = rows;
        state.ResumeTiming();
    }
    state.counters["peak_growth_KiB"] = static_cast<double>(peakGrowth);
}

void BM_FirstRows_TenMillionRowResult(benchmark::State& state) {
    showFirstRows(state, QStringLiteral("select * from DEVICEALERT"));
}

void BM_FirstRows_HundredRowResult(benchmark::State& state) {
    showFirstRows(state,
                  QStringLiteral("select top 100 * from DEVICEALERT order by ALERTTIME desc"));
}

BENCHMARK(BM_FirstRows_HundredRowResult)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_FirstRows_TenMillionRowResult)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_NextBatch)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, [] {
        ensureData();
        // Fonts, plug-ins and the database file's pages are loaded once, before anything is timed.
        paintFirstRows(QStringLiteral("select top 100 * from DEVICEALERT order by ALERTTIME desc"));
    });
}
