// A history grid's batch deep in a range of many months, on a plain alert table against one
// partitioned by month (PostgreSQL): the same rows (TUNNEL_BENCH_ROWS, default 2,000,000, three
// years) in two databases of the server TUNNEL_BENCH_PG names, made on the first run. Each
// case is one batch of the alert history newest first over the whole range, after `depth`
// batches; with the batch's statement kept prepared by the grid (as the windows read) and, as
// the floor of what it replaces, prepared, run and deallocated each time.
//   TUNNEL_BENCH_PG="Provider=PostgreSQL;Host=...;Database=postgres;User ID=..."
//   build/default/bin/partition_bench
#include "ServerDatabase.h"

#include "data/HistoryStatements.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/KeysetSql.h"

#include "BenchMain.h"

#include <benchmark/benchmark.h>

using namespace tunnel;

namespace {

qint64 alertRows() {
    const qint64 configured = qEnvironmentVariableIntValue("TUNNEL_BENCH_ROWS");
    return configured > 0 ? configured : 2'000'000;
}

QString databaseName(bool partitioned) {
    return partitioned ? QStringLiteral("tunnel_bench_parted")
                       : QStringLiteral("tunnel_bench_plain");
}

QString databaseOf(bool partitioned) {
    return bench::serverDatabase(databaseName(partitioned));
}

void ensureData() {
    for (const bool partitioned : {false, true}) {
        QStringList init = {QStringLiteral("init"), QStringLiteral("--force")};
        if (partitioned) {
            init << QStringLiteral("--partitioned") << QStringLiteral("--from")
                 << QDate::currentDate().addYears(-3).toString(QStringLiteral("yyyy-MM"));
        }
        bench::makeServerDatabaseOnce(
            databaseName(partitioned),
            {init,
             {QStringLiteral("generate"), QStringLiteral("--devices"), QStringLiteral("0"),
              QStringLiteral("--states"), QStringLiteral("0"), QStringLiteral("--alerts"),
              QString::number(alertRows()), QStringLiteral("--years"), QStringLiteral("3")}});
        db::Database::open(databaseOf(partitioned))->execute(QStringLiteral("VACUUM ANALYZE"));
    }
}

QString wholeRange() {
    const QDate today = QDate::currentDate();
    return data::alertHistoryStatement(today.addYears(-4), today, 0, 0);
}

// The alert grid over the whole range newest first, `depth` batches down. Arguments of the
// cases: partitioned (0/1), depth in batches.
void scrollDown(db::KeysetQueryModel& model, const benchmark::State& state) {
    model.setConnectionString(databaseOf(state.range(0) == 1));
    model.setStatement(wholeRange());
    model.setOrder(data::alertHistoryOrder(true));
    model.reload();
    for (int batch = 0; batch < state.range(1); ++batch) {
        model.fetchMore();
    }
}

void BM_KeptBatchAtDepth(benchmark::State& state) {
    db::KeysetQueryModel model;
    scrollDown(model, state);
    for (auto _ : state) {
        model.fetchMore();
    }
}

// The same batch prepared, run and deallocated each time (what the grid did before keeping it).
void BM_PreparedEachTimeAtDepth(benchmark::State& state) {
    auto db = db::Database::open(databaseOf(state.range(0) == 1));
    db::KeysetQueryModel model;
    scrollDown(model, state);
    const db::GridSelect select{
        db::gridSource(wholeRange(), db::Engine::PostgreSQL), db::Engine::PostgreSQL, {}};
    const QVariantList last = model.orderValues(model.rowCount() - 1);
    const db::BoundSql batch =
        db::keysetSql(select, data::alertHistoryOrder(true), {true, last, db::runOf(last), 256});
    for (auto _ : state) {
        QSqlQuery rows = db->select(batch.sql, batch.values, db::Database::Written::ForEngine);
        while (rows.next()) {
        }
    }
}

void depths(benchmark::internal::Benchmark* bench) {
    for (const int partitioned : {0, 1}) {
        for (const int depth : {0, 1000, 5000}) {
            bench->Args({partitioned, depth});
        }
    }
}

BENCHMARK(BM_KeptBatchAtDepth)->Apply(depths)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_PreparedEachTimeAtDepth)->Apply(depths)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, ensureData);
}
