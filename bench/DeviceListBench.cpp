// The device list on 100 and on 100,000 devices: time to the first painted grid when the window
// opens, to apply a type filter, and to reload after an edit confirmed with OK with the selected
// device found again; and the peak memory each takes. The data is made once by the generator:
//   build/default/bin/device_list_bench (SQLite; with TUNNEL_BENCH_PG, a PostgreSQL server)
#include "Generator.h"
#include "PeakMemory.h"
#include "PluginHost.h"
#include "ServerDatabase.h"

#include "data/ModuleContext.h"
#include "data/Schema.h"
#include "data/SearchIndex.h"
#include "devices/TfmDeviceMainage.h"
#include "devices/TfmFindDevice.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/ui/Modal.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace tunnel;

namespace {

// On SQLite, or with TUNNEL_BENCH_PG set on that PostgreSQL server.
bool onServer() {
    return qEnvironmentVariableIsSet("TUNNEL_BENCH_PG");
}

QString databaseFor(qint64 devices) {
    if (onServer()) {
        return bench::serverDatabase(QStringLiteral("tunnel_bench_devices_%1").arg(devices));
    }
    return QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-devices-%1.db")
        .arg(devices);
}

void ensureDevices(qint64 devices) {
    if (onServer()) {
        bench::makeServerDatabaseOnce(QStringLiteral("tunnel_bench_devices_%1").arg(devices), {});
    }
    auto db = db::Database::open(databaseFor(devices), db::Database::OpenMode::CreateIfMissing);
    if (data::schemaExists(*db)) {
        db::Query count(db);
        count.setSql(QStringLiteral("select count(*) AS N from DEVICE"));
        count.open();
        if (count.integer(QStringLiteral("N")) == devices) {
            count.close();
            data::addSearchIndex(*db);  // one of an earlier version replaced
            return;
        }
        data::dropSchema(*db);
    }
    data::createSchema(*db);
    for (int type : {1, 2, 5, 6, 12, 24, 27}) {
        db->execute(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (%1, '类型%1')")
                .arg(type));
    }
    for (int area = 1; area <= 5; ++area) {
        db->execute(QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (%1, '区域%1')")
                        .arg(area));
    }
    tools::GenerateOptions options;
    options.devices = devices;
    tools::generate(*db, options, {});
}

struct OpenList {
    explicit OpenList(qint64 devices)
        : window(nullptr, data::ModuleContext{databaseFor(devices), {}}) {
        window.show();  // the show handler reads the catalogues and the first rows
        grid = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        benchmark::DoNotOptimize(grid->grab());
    }
    devices::TfmDeviceMainage window;
    QTableView* grid;
};

void BM_OpenToFirstPaintedGrid(benchmark::State& state) {
    const qint64 devices = state.range(0);
    qint64 before = 0;
    for (auto _ : state) {
        state.PauseTiming();
        before = residentKiB();
        resetPeakMemory();
        state.ResumeTiming();
        OpenList list(devices);
        state.PauseTiming();
        list.window.done(ui::mrCancel);
        state.ResumeTiming();
    }
    reportPeak(state, before);
}

void BM_ExecFunc1ToFirstPaintedGrid(benchmark::State& state) {
    static LoadedPlugin plugin;
    const qint64 devices = state.range(0);
    plugin.setConnectionString(databaseFor(devices));
    plugin.measureExecFunc(state, 1, QStringLiteral("DBGrid1"));
}

void BM_ApplyTypeFilter(benchmark::State& state) {
    const qint64 devices = state.range(0);
    OpenList list(devices);
    auto* types = list.window.findChild<QComboBox*>(QStringLiteral("cbType"));
    auto* query = list.window.findChild<QAbstractButton*>(QStringLiteral("Button1"));
    const qint64 before = residentKiB();
    resetPeakMemory();
    int item = 1;
    for (auto _ : state) {
        types->setCurrentIndex(item);
        query->click();
        benchmark::DoNotOptimize(list.grid->grab());
        item = item % (types->count() - 1) + 1;
    }
    reportPeak(state, before);
    list.window.done(ui::mrCancel);
}

// Edit confirmed with OK on the device in the middle of the list: the list reloads and finds
// that device again.
void BM_ReloadAfterEditKeepingTheSelection(benchmark::State& state) {
    const qint64 devices = state.range(0);
    OpenList list(devices);
    auto* edit = list.window.findChild<QAbstractButton*>(QStringLiteral("btEdit"));
    const int middle = static_cast<int>(devices / 2);
    auto* model = list.grid->model();
    while (model->rowCount() <= middle && model->canFetchMore({}))
        model->fetchMore({});
    const ui::ModalScript previous = ui::setModalScript([](QDialog& editor) {
        editor.findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
        return ui::mrOK;
    });
    list.grid->setCurrentIndex(model->index(middle, 0));
    const auto selectedKey = [&] {
        const int row = list.grid->currentIndex().row();
        return model->index(row, 0).data().toString() + u'/' +
               model->index(row, 1).data().toString();
    };
    const QString chosen = selectedKey();
    const qint64 before = residentKiB();
    resetPeakMemory();
    for (auto _ : state) {
        edit->click();  // the list reloads on the device, which stays selected
        benchmark::DoNotOptimize(list.grid->grab());
    }
    if (selectedKey() != chosen)
        state.SkipWithError("the selection was not kept");
    reportPeak(state, before);
    ui::setModalScript(previous);
    list.window.done(ui::mrCancel);
}

// The list sorted by a column without an index (状态) and read on: the batch after `depth`
// batches, against the first. Each batch is read from the key set of the last row, so a deep
// one costs what the first costs.
void BM_NextBatchSortedByStatus(benchmark::State& state) {
    const qint64 devices = state.range(0);
    const int depth = static_cast<int>(state.range(1));
    OpenList list(devices);
    emit list.grid->horizontalHeader()->sectionClicked(4);  // 状态
    auto* model = list.grid->model();
    for (int batch = 0; batch < depth && model->canFetchMore({}); ++batch)
        model->fetchMore({});
    for (auto _ : state) {
        if (!model->canFetchMore({})) {
            state.SkipWithError("the list ended before the batch");
            break;
        }
        model->fetchMore({});
    }
    state.counters["rows_read"] = model->rowCount();
    list.window.done(ui::mrCancel);
}

// The device search: a text typed (after its pause) to the first matches painted, against the
// device list's own first rows (BM_ApplyTypeFilter). Texts: none (every device), a physical
// number's piece, a stake being typed, one and two characters no device holds, a text a fifth
// of the devices hold, two characters a tenth hold.
void BM_FindFirstMatches(benchmark::State& state) {
    const qint64 devices = state.range(0);
    static const QStringList texts = {QString(),
                                      QStringLiteral("P12"),
                                      QStringLiteral("K5+1"),
                                      QStringLiteral("Q"),
                                      QStringLiteral("QZ"),
                                      QStringLiteral("172"),
                                      QStringLiteral("G4"),
                                      QStringLiteral("类型1"),
                                      QStringLiteral("区域")};
    const QString text = texts.value(static_cast<int>(state.range(1)));
    devices::TfmFindDevice window(nullptr, data::ModuleContext{databaseFor(devices), {}});
    window.show();
    auto* edit = window.findChild<QLineEdit*>(QStringLiteral("edText"));
    auto* grid = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    for (auto _ : state) {
        edit->setText(text);
        window.searchNow();
        benchmark::DoNotOptimize(grid->grab());
    }
    state.counters["rows_read"] = grid->model()->rowCount();
    window.done(ui::mrCancel);
}

BENCHMARK(BM_FindFirstMatches)
    ->ArgsProduct({{100, 100000}, {0, 1, 2, 3, 4, 5, 6, 7, 8}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_NextBatchSortedByStatus)
    ->Args({100000, 0})
    ->Args({100000, 300})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_ExecFunc1ToFirstPaintedGrid)
    ->Arg(100)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_OpenToFirstPaintedGrid)
    ->Arg(100)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_ApplyTypeFilter)->Arg(100)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ReloadAfterEditKeepingTheSelection)
    ->Arg(100)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, [] {
        for (qint64 devices : {100, 100000})
            ensureDevices(devices);
        {
            OpenList warmUp(100);  // fonts and plug-ins load once, before anything is timed
            warmUp.window.done(ui::mrCancel);
        }
    });
}
