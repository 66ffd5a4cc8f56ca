// The PLC mapping windows with 100,000 mappings against the demo database: time from
// Frame_ExecFunc(6) and (7) to the first painted grid, a connect (insert and the grid read
// again), a delete, and LoadFreeBits on a register whose 16 bits are all used; and the peak
// memory each takes. The data is made once by the generator and copied before each run, since
// connects and deletes change it:
//   build/default/bin/plc_bench
#include "Commands.h"
#include "PeakMemory.h"
#include "PluginHost.h"

#include "data/ModuleContext.h"
#include "data/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "wiring/TfmOmronPlcConfig.h"
#include "wiring/TfmPlcConfig.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QTableView>
#include <QTextStream>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace tunnel;

namespace {

constexpr qint64 kMappings = 100000;

const char* const kMade[] = {"/tmp/tunnel-bench-demo.db", "/tmp/tunnel-bench-plc.db"};
const char* const kWork[] = {"/tmp/tunnel-bench-plc-work-demo.db", "/tmp/tunnel-bench-plc-work.db"};

QString databaseOf(int which) {
    return QStringLiteral("Provider=SQLite;Data Source=") + QString::fromLatin1(kWork[which]);
}

void ensureData() {
    QTextStream err(stderr);
    const QString made = QStringLiteral("Provider=SQLite;Data Source=") + kMade[1];
    if (!QFile::exists(QString::fromLatin1(kMade[0]))) {
        tools::runTunnelDb(
            {QStringLiteral("demo"), QStringLiteral("Provider=SQLite;Data Source=") + kMade[0]},
            err, err);
    }
    bool ready = false;
    {
        auto db = db::Database::open(made, db::Database::OpenMode::CreateIfMissing);
        if (data::schemaExists(*db)) {
            db::Query count(*db);
            count.setSql(QStringLiteral("select count(*) AS N from PLCCONFIG"));
            count.open();
            ready = count.integer(QStringLiteral("N")) == kMappings;
        }
    }
    if (!ready) {
        std::fprintf(stderr, "generating the PLC mappings once...\n");
        tools::runTunnelDb({QStringLiteral("init"), made, QStringLiteral("--force")}, err, err);
        tools::runTunnelDb(
            {QStringLiteral("generate"), made, QStringLiteral("--devices"),
             QStringLiteral("100000"), QStringLiteral("--mappings"), QString::number(kMappings)},
            err, err);
    }
    for (int which : {0, 1}) {
        QFile::remove(QString::fromLatin1(kWork[which]));
        QFile::copy(QString::fromLatin1(kMade[which]), QString::fromLatin1(kWork[which]));
    }
}

template <typename Window>
struct Open {
    explicit Open(int which) : window(nullptr, data::ModuleContext{databaseOf(which), {}}) {
        window.show();
        grid = window.template findChild<QTableView*>(QStringLiteral("DBGrid1"));
        benchmark::DoNotOptimize(grid->grab());
    }
    ~Open() { window.done(ui::mrCancel); }
    QComboBox* list(const char* name) {
        return window.template findChild<QComboBox*>(QString::fromLatin1(name));
    }
    void pick(const char* name, int index) {
        list(name)->setCurrentIndex(index);
        emit list(name)->activated(index);
    }
    Window window;
    QTableView* grid;
};

void BM_ExecFuncToPaintedGrid(benchmark::State& state) {
    static LoadedPlugin plugin;
    plugin.setConnectionString(databaseOf(static_cast<int>(state.range(1))));
    plugin.measureExecFunc(state, static_cast<uint32_t>(state.range(0)), QStringLiteral("DBGrid1"));
}

// Connects on the last PLC of the list, input registers 4 to 7, a new bit each time.
void BM_Connect(benchmark::State& state) {
    Open<wiring::TfmPlcConfig> open(static_cast<int>(state.range(0)));
    open.pick("cbCode", open.list("cbCode")->count() - 1);
    open.pick("cbRType", 1);
    open.pick("cbDeviceType", 0);
    open.pick("cbDeviceCode", 0);
    open.pick("cbDeviceParam", 0);
    auto* connect = open.window.findChild<QAbstractButton*>(QStringLiteral("btConnect"));
    const qint64 before = residentKiB();
    resetPeakMemory();
    static int place[2] = {32, 32};  // repetitions go on where the last one stopped
    for (auto _ : state) {
        state.PauseTiming();
        int& next = place[state.range(0)];
        open.pick("cbRCode", next / 8);
        open.pick("cbRBit", next % 8);
        ++next;
        state.ResumeTiming();
        connect->click();
        benchmark::DoNotOptimize(open.grid->grab());
    }
    state.counters["grid_rows"] = open.grid->model()->rowCount();
    reportPeak(state, before);
}

// Deletes the first row of the grid, which is read again after each delete.
void BM_Delete(benchmark::State& state) {
    Open<wiring::TfmPlcConfig> open(static_cast<int>(state.range(0)));
    auto* remove = open.window.findChild<QAbstractButton*>(QStringLiteral("btDelete"));
    const qint64 before = residentKiB();
    resetPeakMemory();
    for (auto _ : state) {
        remove->click();
        benchmark::DoNotOptimize(open.grid->grab());
    }
    reportPeak(state, before);
}

// PLC 2's input register 0: every bit used on the large database (the deletes above take PLC
// 1's rows), none on the demo.
void BM_LoadFreeBitsOfAFullRegister(benchmark::State& state) {
    Open<wiring::TfmOmronPlcConfig> open(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        open.window.LoadFreeBits(QStringLiteral("2"), 2, QStringLiteral("0"));
    }
    state.counters["free_bits"] = open.list("cbRBit")->count();
}

BENCHMARK(BM_ExecFuncToPaintedGrid)
    ->Args({6, 0})
    ->Args({6, 1})
    ->Args({7, 0})
    ->Args({7, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_Connect)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_Delete)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadFreeBitsOfAFullRegister)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, [] {
        // A box would wait for a user nobody is: it is printed and counts as a failed case.
        ui::setMessagePresenter([](const ui::MessageRequest& request) {
            std::fprintf(stderr, "message: %s\n", request.text.toLocal8Bit().constData());
            std::abort();
            return 0;
        });
        ensureData();
        {
            Open<wiring::TfmPlcConfig> warmUp(0);  // fonts and plug-ins load once, untimed
        }
    });
}
