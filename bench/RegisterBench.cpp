// The device register's export and import of 100,000 devices against the generator's rate for
// as many devices (the floor): tunneldb export-devices, import-devices into an empty register
// (every row new) and into a full one (every row an update), and tunneldb generate --devices.
//   build/default/bin/register_bench
//   TUNNEL_BENCH_REGISTER_DB="Provider=PostgreSQL;..." build/default/bin/register_bench
#include "Commands.h"

#include "platform/db/Database.h"

#include <QFile>
#include <QTextStream>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

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

void BM_GenerateDevices(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        tunneldb({QStringLiteral("init"), database(), QStringLiteral("--force")});
        state.ResumeTiming();
        tunneldb({QStringLiteral("generate"), database(), QStringLiteral("--devices"),
                  QString::number(kDevices)});
    }
}

void BM_ExportDevices(benchmark::State& state) {
    generateFresh();
    for (auto _ : state) {
        tunneldb({QStringLiteral("export-devices"), database(), kFile});
    }
}

// Argument: 0 into an empty register (every row new), 1 over the same devices (every row an
// update).
void BM_ImportDevices(benchmark::State& state) {
    generateFresh();
    tunneldb({QStringLiteral("export-devices"), database(), kFile});
    for (auto _ : state) {
        if (state.range(0) == 0) {
            state.PauseTiming();
            emptyRegister();
            state.ResumeTiming();
        }
        if (tunneldb({QStringLiteral("import-devices"), database(), kFile}) != 0) {
            state.SkipWithError("the import refused rows");
        }
    }
}

BENCHMARK(BM_GenerateDevices)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportDevices)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportDevices)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, [] {});
}
