// The device register's export and import of 100,000 devices against the generator's rate for
// as many devices (the floor): tunneldb export-devices, and import-devices into an empty
// register (every row new) and into a full one (every row an update), each paired with a
// tunneldb generate --devices of its own.
//   build/default/bin/register_bench
//   TUNNEL_BENCH_REGISTER_DB="Provider=PostgreSQL;..." build/default/bin/register_bench
#include "Commands.h"

#include "platform/db/Database.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace tunnel;

namespace {

constexpr int kDevices = 100000;
const QString kFile = QStringLiteral("/tmp/tunnel-bench-register.csv");

QString database() {
    const QString configured = qEnvironmentVariable("TUNNEL_BENCH_REGISTER_DB");
    return configured.isEmpty()
               ? QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-register.db")
               : configured;
}

int tunneldb(const QStringList& arguments) {
    QString text;
    QTextStream out(&text);
    return tools::runTunnelDb(arguments, out, out);
}

void generateFresh() {
    tunneldb({QStringLiteral("init"), database(), QStringLiteral("--force")});
    tunneldb({QStringLiteral("generate"), database(), QStringLiteral("--devices"),
              QString::number(kDevices)});
}

void emptyRegister() {
    db::Database::open(database())->execute(QStringLiteral("DELETE FROM DEVICE"));
}

double millisecondsOf(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_ExportDevices(benchmark::State& state) {
    generateFresh();
    for (auto _ : state) {
        tunneldb({QStringLiteral("export-devices"), database(), kFile});
    }
}

// The import against the generator, pair by pair: each iteration generates the register afresh
// (timed: the floor), then imports the exported file (timed) into it emptied (argument 0, every
// row new) or over the same devices (argument 1, every row an update). The pairs' ratios hold
// where the machine's speed drifts from one run to the next.
void BM_ImportAgainstGenerator(benchmark::State& state) {
    generateFresh();
    tunneldb({QStringLiteral("export-devices"), database(), kFile});
    std::vector<double> generated;
    std::vector<double> imported;
    std::vector<double> ratios;
    for (auto _ : state) {
        tunneldb({QStringLiteral("init"), database(), QStringLiteral("--force")});
        generated.push_back(millisecondsOf([] {
            tunneldb({QStringLiteral("generate"), database(), QStringLiteral("--devices"),
                      QString::number(kDevices)});
        }));
        if (state.range(0) == 0) {
            emptyRegister();
        }
        int status = 0;
        imported.push_back(millisecondsOf([&] {
            status = tunneldb({QStringLiteral("import-devices"), database(), kFile});
        }));
        if (status != 0) {
            state.SkipWithError("the import refused rows");
            return;
        }
        ratios.push_back(imported.back() / generated.back());
    }
    state.counters["generate_ms"] = median(generated);
    state.counters["import_ms"] = median(imported);
    state.counters["ratio"] = median(ratios);
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
}

BENCHMARK(BM_ExportDevices)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportAgainstGenerator)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(7);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, [] {});
}
