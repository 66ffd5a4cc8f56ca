// The history windows on a large installation: 100,000 devices and ten million rows in each
// history table (TUNNEL_BENCH_ROWS changes it), against the demo database. Time from
// Frame_ExecFunc(5) to the 100 newest alerts painted; from a query click to the first rows
// painted for a day, a month of one device, and the whole range, in both windows; the engine's
// own time for the same first 100 rows (the floor); the rate of a CSV export of 1,000,000
// rows with its peak memory; and a device's one-year timeline against the engine's time for
// its statements. The data is made once by the generator:
//   build/default/bin/history_bench
//   TUNNEL_BENCH_HISTORY_DB="Provider=PostgreSQL;..." build/default/bin/history_bench
#include "Generator.h"
#include "PeakMemory.h"
#include "PluginHost.h"

#include "Commands.h"
#include "data/Availability.h"
#include "data/HistoryStatements.h"
#include "data/ModuleContext.h"
#include "data/Schema.h"
#include "data/Timeline.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmDeviceTimeline.h"
#include "history/TfmQueryStatus.h"
#include "history/TfmTunnelView.h"
#include "history/TunnelStrip.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/Dialect.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/ResultActions.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QEventLoop>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>
#include <QTextStream>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include <cstdio>

using namespace tunnel;

namespace {

constexpr qint64 kDevices = 100000;

qint64 historyRows() {
    const qint64 configured = qEnvironmentVariableIntValue("TUNNEL_BENCH_ROWS");
    return configured > 0 ? configured : 10'000'000;
}

QString bigDatabase() {
    const QString configured = qEnvironmentVariable("TUNNEL_BENCH_HISTORY_DB");
    return configured.isEmpty()
               ? QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-history.db")
               : configured;
}

QString demoDatabase() {
    return QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-demo.db");
}

// The demo with a busy device: message sign 12/1 with 5,000 state changes and 5,000 alerts in
// the year to today.
QString busyDatabase() {
    return QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-busy.db");
}

QString databaseOf(int which) {
    switch (which) {
        case 0:
            return bigDatabase();
        case 1:
            return demoDatabase();
        default:
            return busyDatabase();
    }
}

qint64 count(db::Database& db, const QString& table) {
    db::Query query(db);
    query.setSql(QStringLiteral("select count(*) AS N from ") + table);
    query.open();
    return query.integer(QStringLiteral("N"));
}

constexpr int kBusyEvents = 5000;  // of each kind

void ensureBusyDevice() {
    if (QFile::exists(QStringLiteral("/tmp/tunnel-bench-busy.db"))) {
        return;
    }
    QString text;
    QTextStream out(&text);
    tools::runTunnelDb({QStringLiteral("demo"), busyDatabase()}, out, out);
    auto db = db::Database::open(busyDatabase());
    db->execute(QStringLiteral("BEGIN"));
    const QDateTime start(QDate::currentDate().addYears(-1), QTime(0, 0));
    const qint64 step = start.msecsTo(QDateTime::currentDateTime()) / (kBusyEvents + 1);
    for (int i = 0; i < kBusyEvents; ++i) {
        const QString at =
            start.addMSecs(step * (i + 1)).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        db->execute(QStringLiteral("insert into DEVICESTATUS values (12, 1, ?, ?, ?, NULL)"),
                    {at, i % 2 + 1, (i + 1) % 2 + 1});
        db->execute(QStringLiteral("insert into DEVICEALERT values (12, 1, ?, ?, ?)"),
                    {at, (i + 1) % 2, QStringLiteral("通讯中断")});
    }
    db->execute(QStringLiteral("COMMIT"));
}

void ensureData() {
    QString text;
    QTextStream out(&text);
    if (!QFile::exists(QStringLiteral("/tmp/tunnel-bench-demo.db"))) {
        tools::runTunnelDb({QStringLiteral("demo"), demoDatabase()}, out, out);
    }
    ensureBusyDevice();
    auto db = db::Database::open(bigDatabase(), db::Database::OpenMode::CreateIfMissing);
    if (data::schemaExists(*db) && count(*db, QStringLiteral("DEVICE")) == kDevices &&
        count(*db, QStringLiteral("DEVICEALERT")) >= historyRows()) {
        return;
    }
    std::fprintf(stderr, "generating %lld devices and %lld rows a history table once...\n",
                 static_cast<long long>(kDevices), static_cast<long long>(historyRows()));
    QTextStream err(stderr);
    tools::runTunnelDb({QStringLiteral("init"), bigDatabase(), QStringLiteral("--force")}, err,
                       err);
    tools::runTunnelDb(
        {QStringLiteral("generate"), bigDatabase(), QStringLiteral("--devices"),
         QString::number(kDevices), QStringLiteral("--states"), QString::number(historyRows()),
         QStringLiteral("--alerts"), QString::number(historyRows())},
        err, err);
}

// The ranges the user asks for: a day, a month of one device, the whole history (three years).
enum Range { Day, MonthOfOneDevice, Whole };

struct Filter {
    QDate begin;
    QDate end;
    int type = 0;
    int device = 0;
};

Filter filterFor(Range range) {
    const QDate today = QDate::currentDate();
    const QDate day = today.addYears(-1);
    switch (range) {
        case Day:
            return {day, day};
        case MonthOfOneDevice:
            return {day.addDays(-30), day, 1, 1};
        case Whole:
            return {today.addYears(-4), today};
    }
    return {};
}

template <typename Window>
void setFilter(Window& window, const Filter& filter) {
    window.template findChild<QDateEdit*>(QStringLiteral("dtpBegin"))->setDate(filter.begin);
    window.template findChild<QDateEdit*>(QStringLiteral("dtpEnd"))->setDate(filter.end);
    auto* types = window.template findChild<QComboBox*>(QStringLiteral("cbType"));
    types->setCurrentIndex(std::max(0, types->findData(filter.type)));
    window.cbTypeChange();
    auto* codes = window.template findChild<QComboBox*>(QStringLiteral("cbCode"));
    if (filter.device != 0) {
        codes->setCurrentIndex(std::max(0, codes->findText(QString::number(filter.device))));
    }
}

// A query click to the first rows painted, in one of the two windows.
template <typename Window>
void queryToFirstRows(benchmark::State& state, const char* button) {
    const int which = static_cast<int>(state.range(0));
    Window window(nullptr, data::ModuleContext{databaseOf(which), {}});
    window.show();
    setFilter(window, filterFor(static_cast<Range>(state.range(1))));
    auto* query = window.template findChild<QAbstractButton*>(QString::fromLatin1(button));
    auto* grid = window.template findChild<QTableView*>(QStringLiteral("DBGrid"));
    const qint64 before = residentKiB();
    resetPeakMemory();
    for (auto _ : state) {
        query->click();
        benchmark::DoNotOptimize(grid->grab());
    }
    state.counters["rows_read"] = grid->model()->rowCount();
    reportPeak(state, before);
    window.close();
}

void BM_AlertQueryToFirstRows(benchmark::State& state) {
    queryToFirstRows<history::TfmDeviceAlert>(state, "Button1");
}

void BM_StateQueryToFirstRows(benchmark::State& state) {
    queryToFirstRows<history::TfmQueryStatus>(state, "btQuery");
}

// The engine's own time for the same first 100 rows, in the grid's order.
void BM_EngineFloor(benchmark::State& state) {
    const bool alerts = state.range(0) == 0;
    const Filter filter = filterFor(static_cast<Range>(state.range(1)));
    const QString base =
        alerts ? data::alertHistoryStatement(filter.begin, filter.end, filter.type, filter.device)
               : data::stateHistoryStatement(
                     filter.begin, filter.end, filter.type,
                     filter.device == 0 ? QString() : QString::number(filter.device));
    const QString time = alerts ? QStringLiteral("ALERTTIME") : QStringLiteral("STATUSTIME");
    const QString sql =
        QString(base).replace(QStringLiteral("select *"), QStringLiteral("select top 100 *")) +
        QStringLiteral(" order by %1, DEVICETYPE, DEVICECODE").arg(time);
    auto db = db::Database::open(bigDatabase());
    db::Query query(db);
    query.setSql(sql);
    for (auto _ : state) {
        query.open();
        int rows = 0;
        for (; !query.eof(); query.next())
            ++rows;
        benchmark::DoNotOptimize(rows);
    }
}

void BM_ExecFunc5ToNewestAlerts(benchmark::State& state) {
    static LoadedPlugin plugin;
    plugin.setConnectionString(databaseOf(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        const qint64 ns = plugin.execFuncToPaintedGrid(5, QStringLiteral("DBGrid"));
        state.SetIterationTime(static_cast<double>(ns) / 1e9);
    }
}

// "导出CSV" of a month of the whole installation as the menu writes it (the grid's walk, its
// texts, CSV lines), against the engine's own CSV output of the same rows in the same order.
QString monthStatement();

void BM_ExportMonth(benchmark::State& state) {
    history::TfmDeviceAlert window(nullptr, data::ModuleContext{bigDatabase(), {}});
    window.show();
    auto& model = *qobject_cast<db::KeysetQueryModel*>(
        window.findChild<QTableView*>(QStringLiteral("DBGrid"))->model());
    model.setStatement(monthStatement());
    model.setOrder(data::alertHistoryOrder(false));
    model.reload();
    const qint64 before = residentKiB();
    resetPeakMemory();
    qint64 rows = 0;
    for (auto _ : state) {
        QFile file(QStringLiteral("/tmp/tunnel-bench-export.csv"));
        file.open(QIODevice::WriteOnly);
        db::KeysetQueryModel::WalkPosition position = model.startWalk();
        while (!position.ended) {
            ui::writeCsvRows(model, position, file);
        }
        rows = position.rows;
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["rows_per_s"] = benchmark::Counter(
        static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
    reportPeak(state, before);
    window.close();
}

// The engine's own CSV of the same rows in the same order: `sqlite3 -csv`, or `psql`'s
// `\copy (...) to ... csv`.
QStringList engineCsvCommand(const QString& output) {
    const db::ConnectionSettings settings = db::ConnectionSettings::parse(bigDatabase());
    const QString sql =
        monthStatement() + QStringLiteral(
                               " order by ALERTTIME, DEVICETYPE, DEVICECODE, ALERTTYPE, "
                               "ALERTDESC");
    if (settings.engine == db::Engine::SQLite) {
        return {QStringLiteral("sqlite3"), QStringLiteral("-csv"), settings.file, sql};
    }
    const QString translated = db::translateSql(sql, settings.engine);
    return {QStringLiteral("psql"),
            QStringLiteral("-h"),
            settings.host,
            QStringLiteral("-p"),
            QString::number(settings.port),
            QStringLiteral("-U"),
            settings.user,
            QStringLiteral("-d"),
            settings.database,
            QStringLiteral("-c"),
            QStringLiteral("\\copy (%1) to '%2' csv").arg(translated, output)};
}

void BM_EngineCsvMonth(benchmark::State& state) {
    const QString output = QStringLiteral("/tmp/tunnel-bench-engine.csv");
    QStringList command = engineCsvCommand(output);
    const QString program = command.takeFirst();
    for (auto _ : state) {
        QProcess engine;
        engine.setStandardOutputFile(output);
        engine.start(program, command);
        engine.waitForFinished(-1);
        if (engine.exitCode() != 0) {
            state.SkipWithError(engine.readAllStandardError().constData());
        }
    }
}

// The tunnel view opened on the large installation (100,000 devices), to its first picture
// painted (the register's devices in the states it records: argument 0) or to the picture with
// every device's latest state and alert looked up in the histories (argument 1); and one look
// for new rows.
void BM_TunnelViewOpen(benchmark::State& state) {
    const bool whole = state.range(0) == 1;
    const qint64 before = residentKiB();
    resetPeakMemory();
    for (auto _ : state) {
        history::TfmTunnelView window(nullptr, data::ModuleContext{bigDatabase(), {}});
        window.show();
        while (whole && !window.latestRowsRead()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        benchmark::DoNotOptimize(window.grab());
        window.close();
        state.PauseTiming();
        while (!window.latestRowsRead()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        state.ResumeTiming();
    }
    reportPeak(state, before);
}

void BM_TunnelViewLook(benchmark::State& state) {
    history::TfmTunnelView window(nullptr, data::ModuleContext{bigDatabase(), {}});
    window.show();
    for (auto _ : state) {
        window.poll();
    }
}

// A zoom or a pan of the tunnel view to its picture painted again (100,000 devices): zooming in
// and out by halves between the whole tunnel and a few hundred metres across (argument 0), or
// panning a screen at a time at a kilometre across (argument 1).
void BM_TunnelViewRepaint(benchmark::State& state) {
    history::TfmTunnelView window(nullptr, data::ModuleContext{bigDatabase(), {}});
    window.show();
    auto* strip = window.findChild<history::TunnelStrip*>();
    const bool zooming = state.range(0) == 0;
    const int middle = strip->viewport()->width() / 2;
    while (!zooming && strip->metresAcross() > 1000) {
        strip->zoomBy(2, middle);
    }
    QScrollBar* bar = strip->horizontalScrollBar();
    int step = 0;
    for (auto _ : state) {
        if (zooming) {
            strip->zoomBy(step++ % 16 < 8 ? 2 : 0.5, middle);
        } else {
            const int next = bar->value() + strip->viewport()->width();
            bar->setValue(next > bar->maximum() ? 0 : next);
        }
        benchmark::DoNotOptimize(strip->viewport()->grab());
    }
    state.counters["metres_across"] = strip->metresAcross();
}

// Other programs writing 100 state changes a second: each second's rows written by another
// connection, then one look of the window (which reads them and shows them in its list and
// picture). The look must take well under the second for the window not to fall behind.
void BM_TunnelViewHundredChanges(benchmark::State& state) {
    history::TfmTunnelView window(nullptr, data::ModuleContext{bigDatabase(), {}});
    window.show();
    auto writer = db::Database::open(bigDatabase());
    const qint64 before = residentKiB();
    resetPeakMemory();
    int second = 0;
    for (auto _ : state) {
        state.PauseTiming();
        writer->execute(QStringLiteral("BEGIN"));
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < 100; ++i) {
            writer->execute(
                QStringLiteral("insert into DEVICESTATUS values (?, ?, ?, 1, 2, 'bench')"),
                {i % 20 + 1, second % 1000 + 1,
                 now.addMSecs(i * 10).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))});
        }
        writer->execute(QStringLiteral("COMMIT"));
        ++second;
        state.ResumeTiming();
        window.poll();
        benchmark::DoNotOptimize(window.grab());
    }
    writer->execute(QStringLiteral("delete from DEVICESTATUS where REMARK = 'bench'"));
    reportPeak(state, before);
}

// The availability report of the month a year ago (the export's month) for every device.
void BM_AvailabilityMonth(benchmark::State& state) {
    auto db = db::Database::open(bigDatabase());
    const QDate day = QDate::currentDate().addYears(-1);
    const QDateTime from(QDate(day.year(), day.month(), 1), QTime(0, 0));
    int devices = 0;
    for (auto _ : state) {
        const data::AvailabilityReport report =
            data::readAvailability(*db, from, from.addMonths(1), QDateTime::currentDateTime());
        devices = static_cast<int>(report.devices.size());
    }
    state.counters["devices"] = devices;
}

// A device's timeline for the year to today: device 1/1 of the large database, the demo's
// message sign 12/1 (six weeks of history); query clicked to the list, shares and chart painted.
std::pair<int, int> timelineDevice(int which) {
    return which == 0 ? std::pair{1, 1} : std::pair{12, 1};  // the demo's and the busy one
}

void BM_TimelineOneYear(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    const auto [type, code] = timelineDevice(which);
    history::TfmDeviceTimeline window(nullptr, data::ModuleContext{databaseOf(which), {}}, type,
                                      code);
    window.show();
    window.findChild<QDateEdit*>(QStringLiteral("dtpBegin"))
        ->setDate(QDate::currentDate().addYears(-1));
    auto* query = window.findChild<QAbstractButton*>(QStringLiteral("btQuery"));
    const qint64 before = residentKiB();
    resetPeakMemory();
    for (auto _ : state) {
        query->click();
        benchmark::DoNotOptimize(window.grab());
    }
    state.counters["rows"] =
        window.findChild<QTableView*>(QStringLiteral("gridEvents"))->model()->rowCount();
    reportPeak(state, before);
    window.close();
}

// The engine's own time for the timeline's statements (the state before the range and the
// device's two ranges), every row read and nothing built from them.
void BM_TimelineFloor(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    const auto [type, code] = timelineDevice(which);
    auto db = db::Database::open(databaseOf(which));
    const data::TimelineStatements timeline = data::timelineStatements(
        db->engine(), type, code, QDateTime(QDate::currentDate().addYears(-1), QTime(0, 0)),
        QDateTime(QDate::currentDate(), QTime(23, 59, 59, 999)));
    const QStringList statements = {timeline.stateBefore, timeline.changes, timeline.alerts,
                                    timeline.raisesPerDay};
    db::Query query(db);
    for (auto _ : state) {
        int rows = 0;
        for (const QString& sql : statements) {
            query.setSql(sql);
            query.open();
            for (; !query.eof(); query.next())
                ++rows;
        }
        benchmark::DoNotOptimize(rows);
    }
}

// The alert history of the whole range newest first (a click on the time title), a batch read
// after `depth` batches: the key set's bound, not the statement's, starts the index range. The
// rows held and the memory grown after the deep scroll are reported beside.
void BM_AlertBatchNewestFirstAtDepth(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    db::KeysetQueryModel model;
    model.setConnectionString(bigDatabase());
    const Filter whole = filterFor(Whole);
    model.setStatement(data::alertHistoryStatement(whole.begin, whole.end, 0, 0));
    model.setOrder(data::alertHistoryOrder(true));
    model.reload();
    const qint64 opened = residentKiB();
    for (int batch = 0; batch < depth; ++batch) {
        model.fetchMore();
    }
    state.counters["held_rows"] = model.rowCount();
    state.counters["grown_MiB"] = static_cast<double>(residentKiB() - opened) / 1024.0;
    for (auto _ : state) {
        model.fetchMore();
    }
}

// "统计条数" over a month of the whole installation, by the window's count, against the engine's
// own count(*) of the same statement.
QString monthStatement() {
    const QDate day = QDate::currentDate().addYears(-1);
    return data::alertHistoryStatement(day.addDays(-30), day, 0, 0);
}

void BM_CountMonth(benchmark::State& state) {
    db::KeysetQueryModel model;
    model.setConnectionString(bigDatabase());
    model.setStatement(monthStatement());
    model.setOrder(data::alertHistoryOrder(false));
    qint64 rows = 0;
    for (auto _ : state) {
        db::KeysetQueryModel::WalkPosition position = model.startWalk();
        while (!position.ended) {
            model.countOn(position);
            if (position.waiting) {
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(1));  // as the window looks in
            }
        }
        rows = position.rows;
    }
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_EngineCountMonth(benchmark::State& state) {
    auto db = db::Database::open(bigDatabase());
    db::Query query(db);
    for (auto _ : state) {
        query.setSql(QStringLiteral("select count(*) AS N from (") + monthStatement() +
                     QStringLiteral(") t"));
        query.open();
        benchmark::DoNotOptimize(query.integer(QStringLiteral("N")));
    }
}

// Arguments: database (0 large, 1 demo), range (0 day, 1 month of one device, 2 whole).
void ranges(benchmark::internal::Benchmark* b) {
    for (int which : {0, 1})
        for (int range : {Day, MonthOfOneDevice, Whole})
            b->Args({which, range});
}

BENCHMARK(BM_ExecFunc5ToNewestAlerts)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_AlertQueryToFirstRows)->Apply(ranges)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StateQueryToFirstRows)->Apply(ranges)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_EngineFloor)
    ->ArgsProduct({{0, 1}, {Day, MonthOfOneDevice, Whole}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_ExportMonth)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AvailabilityMonth)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TunnelViewOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TunnelViewLook)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_TunnelViewRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(32);
BENCHMARK(BM_TunnelViewHundredChanges)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_EngineCsvMonth)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TimelineOneYear)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_TimelineFloor)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_AlertBatchNewestFirstAtDepth)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_CountMonth)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EngineCountMonth)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, ensureData);
}
