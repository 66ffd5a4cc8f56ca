// The gateway wiring on a large installation (about 100,000 devices, 2,000 of them gateways,
// and 100,000 wiring rows) against the demo database: time from Frame_ExecFunc(2) to both grids
// painted, to move the selection to another gateway and paint its wiring, and to open the port
// assignment; and the peak memory each takes. The data is made once by the generator:
//   build/default/bin/gateway_bench
#include "Commands.h"
#include "PeakMemory.h"
#include "PluginHost.h"

#include "data/ModuleContext.h"
#include "data/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/ui/Modal.h"
#include "wiring/TfmNetGateConfig.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFile>
#include <QTableView>
#include <QTextStream>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace tunnel;

namespace {

constexpr qint64 kDevices = 100000;
constexpr qint64 kGateways = 2000;
constexpr qint64 kWiring = 100000;

QString databaseOf(int which) {
    return which == 0 ? QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-demo.db")
                      : QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-gateways.db");
}

qint64 count(db::Database& db, const QString& sql) {
    db::Query query(db);
    query.setSql(sql);
    query.open();
    return query.integer(QStringLiteral("N"));
}

void ensureData() {
    QTextStream err(stderr);
    if (!QFile::exists(QStringLiteral("/tmp/tunnel-bench-demo.db"))) {
        tools::runTunnelDb({QStringLiteral("demo"), databaseOf(0)}, err, err);
    }
    auto db = db::Database::open(databaseOf(1), db::Database::OpenMode::CreateIfMissing);
    if (data::schemaExists(*db) &&
        count(*db, QStringLiteral("select count(*) AS N from NGCONFIG")) == kWiring) {
        return;
    }
    std::fprintf(stderr, "generating the gateway volumes once...\n");
    tools::runTunnelDb({QStringLiteral("init"), databaseOf(1), QStringLiteral("--force")}, err,
                       err);
    tools::runTunnelDb({QStringLiteral("generate"), databaseOf(1), QStringLiteral("--devices"),
                        QString::number(kDevices)},
                       err, err);
    // The generator spread devices over type 24 too: those make way for the 2,000 gateways.
    db->execute(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE = 24"));
    db->execute(
        QStringLiteral("UPDATE DEVICETYPE SET TYPENAME = '网络IO网关' WHERE TYPECODE = 24"));
    tools::runTunnelDb(
        {QStringLiteral("generate"), databaseOf(1), QStringLiteral("--gateways"),
         QString::number(kGateways), QStringLiteral("--wiring"), QString::number(kWiring)},
        err, err);
}

struct OpenWiring {
    explicit OpenWiring(int which) : window(nullptr, data::ModuleContext{databaseOf(which), {}}) {
        window.show();
        gateways = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        wiring = window.findChild<QTableView*>(QStringLiteral("DBGrid2"));
        benchmark::DoNotOptimize(window.grab());
    }
    ~OpenWiring() { window.done(ui::mrCancel); }
    wiring::TfmNetGateConfig window;
    QTableView* gateways;
    QTableView* wiring;
};

void BM_ExecFunc2ToPaintedGrids(benchmark::State& state) {
    static LoadedPlugin plugin;
    plugin.setConnectionString(databaseOf(static_cast<int>(state.range(0))));
    plugin.measureExecFunc(state, 2, QString());
}

// From one gateway to the next and back: the wiring grid reads the chosen gateway's rows.
void BM_MoveToAnotherGateway(benchmark::State& state) {
    OpenWiring open(static_cast<int>(state.range(0)));
    auto* model = open.gateways->model();
    const qint64 before = residentKiB();
    resetPeakMemory();
    int row = 0;
    for (auto _ : state) {
        row = 1 - row;
        open.gateways->setCurrentIndex(model->index(row, 0));
        benchmark::DoNotOptimize(open.wiring->grab());
    }
    state.counters["wiring_rows"] = open.wiring->model()->rowCount();
    reportPeak(state, before);
}

// 连接(&C) to the port assignment shown: catalogue, the gateway's terminals, the free devices.
void BM_OpenPortAssignment(benchmark::State& state) {
    OpenWiring open(static_cast<int>(state.range(0)));
    auto* connect = open.window.findChild<QAbstractButton*>(QStringLiteral("btConnect"));
    const ui::ModalScript previous = ui::setModalScript([](QDialog& assignment) {
        benchmark::DoNotOptimize(assignment.grab());
        return ui::mrCancel;
    });
    const qint64 before = residentKiB();
    resetPeakMemory();
    for (auto _ : state) {
        connect->click();
    }
    reportPeak(state, before);
    ui::setModalScript(previous);
}

BENCHMARK(BM_ExecFunc2ToPaintedGrids)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_MoveToAnotherGateway)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_OpenPortAssignment)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, [] {
        ensureData();
        {
            OpenWiring warmUp(0);  // fonts and plug-ins load once, before anything is timed
        }
    });
}
