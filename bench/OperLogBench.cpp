// The operation log: what its rows add to a device edit (the editor's statement through the
// logged write) and to a 32-terminal wiring save, on a database with OPERLOG against one without
// it, and the log window's first rows over 1,000,000 log rows against 100.
//   build/default/bin/operlog_bench (SQLite; with TUNNEL_BENCH_PG, a PostgreSQL server)
#include "Commands.h"
#include "ServerDatabase.h"

#include "data/LogSearchIndex.h"
#include "data/OperationLog.h"
#include "data/WiringWrites.h"
#include "history/TfmOperLog.h"
#include "platform/db/Database.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTextStream>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

using namespace tunnel;

namespace {

// On SQLite, or with TUNNEL_BENCH_PG set on that PostgreSQL server.
bool onServer() {
    return qEnvironmentVariableIsSet("TUNNEL_BENCH_PG");
}

const char* const kNames[] = {"nolog", "log100", "log1m"};

QString database(int which) {
    if (onServer()) {
        return bench::serverDatabase(QStringLiteral("tunnel_bench_%1").arg(kNames[which]));
    }
    return QStringLiteral("Provider=SQLite;Data Source=/tmp/tunnel-bench-%1.db")
        .arg(QLatin1String(kNames[which]));
}

// Log rows over the last year, as the windows write them.
void fillLog(db::Database& db, int rows) {
    const QString time =
        onServer() ? QStringLiteral(
                         "LOCALTIMESTAMP - (CAST(i AS BIGINT) * 31536000 / %1) * INTERVAL "
                         "'1 second'")
                   : QStringLiteral(
                         "strftime('%Y-%m-%d %H:%M:%f', 'now', "
                         "'localtime', '-' || (i * 31536000 / %1) || "
                         "' seconds')");
    db.execute(QStringLiteral(
                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<%1) "
                   "INSERT INTO OPERLOG (LOGTIME, STATION, OPERATOR, FUNCCODE, ACTION, TABLENAME, "
                   "ROWKEY, BEFORETEXT, AFTERTEXT) SELECT %2, "
                   "'STATION' || (i % 7), 'op', 1, '修改', 'DEVICE', "
                   "'DEVICETYPE=' || (i % 50) || ',DEVICECODE=' || i, 'CYCLE=60', 'CYCLE=30' "
                   "FROM n")
                   .arg(rows)
                   .arg(time.arg(rows)));
}

// Made once: a database's log is filled when it has fewer rows than it should.
bool made(int which) {
    if (onServer()) {
        bench::makeServerDatabaseOnce(QStringLiteral("tunnel_bench_%1").arg(kNames[which]),
                                      {{QStringLiteral("demo")}});
        auto db = db::Database::open(database(which));
        return which == 0 ? !db->hasTable(QStringLiteral("OPERLOG"))
                          : db->hasTable(QStringLiteral("OPERLOG_FILLED"));
    }
    const QString file = database(which).section(u'=', 2);
    if (QFile::exists(file)) {
        return true;
    }
    QString text;
    QTextStream out(&text);
    tools::runTunnelDb({QStringLiteral("demo"), database(which)}, out, out);
    return false;
}

void ensureData() {
    const int rows[] = {0, 100, 1'000'000};
    for (int which = 0; which < 3; ++which) {
        if (made(which)) {
            continue;
        }
        auto db = db::Database::open(database(which));
        if (which == 0) {
            db->execute(QStringLiteral("DROP TABLE OPERLOG"));
        } else {
            fillLog(*db, rows[which]);
            // The rows above were written past the module's writers: entered as an upgrade
            // enters the rows of a log that had no index.
            data::dropLogSearch(*db);
            data::addLogSearch(*db);
            db->execute(QStringLiteral("CREATE TABLE OPERLOG_FILLED (X INTEGER)"));
        }
    }
}

// Argument: 0 without the log table, 1 with it.
void BM_DeviceEdit(benchmark::State& state) {
    auto db = db::Database::open(database(static_cast<int>(state.range(0))));
    int cycle = 0;
    for (auto _ : state) {
        const QString device = data::deviceWhere(1, 1);
        data::writeLogged(
            *db,
            data::deviceChange(data::funcCode::kDeviceList, QStringLiteral("修改"), device, device),
            [&] {
                db->execute(QStringLiteral("update DEVICE set CYCLE=%1 where %2")
                                .arg(++cycle % 600 + 1)
                                .arg(device));
                return true;
            });
    }
}

// Argument: 0 without the log table, 1 with it. A device's 32 parameters stored on the 4 x 8
// terminals of a gateway, then its wiring removed again (32 log rows each way), on one of 50
// gateways in turn: each terminal's key gathers the few log rows of a terminal that is rewired
// now and then (one terminal's hundreds of rows would spread a save's index entries over as
// many pages as it has terminals). The log is brought back to its first rows at the start.
void BM_WiringSave32(benchmark::State& state) {
    constexpr int kGateways = 50;
    auto db = db::Database::open(database(static_cast<int>(state.range(0))));
    if (state.range(0) != 0) {
        db->execute(QStringLiteral("DELETE FROM OPERLOG WHERE LOGID > 100"));
    }
    db->execute(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE IN (24, 90) AND DEVICECODE "
                               "BETWEEN 90 AND 90 + %1")
                    .arg(kGateways));
    db->execute(
        QStringLiteral("DELETE FROM NGCONFIG WHERE NGCODE BETWEEN 90 AND 90 + %1").arg(kGateways));
    db->execute(QStringLiteral(
        "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, COMMTYPE, COMMDATA) VALUES (90, 90, 3, '0')"));
    for (int gateway = 90; gateway < 90 + kGateways; ++gateway) {
        db->execute(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, COMMTYPE, "
                                   "COMMDATA) VALUES (24, %1, 1, '')")
                        .arg(gateway));
    }
    data::WiringClaim claim{90, 90, 90, {}};
    for (int kind = 1; kind <= 4; ++kind) {
        for (int terminal = 1; terminal <= 8; ++terminal) {
            claim.params.append({kind * 10 + terminal, kind, terminal, QStringLiteral("p")});
        }
    }
    int turn = 0;
    for (auto _ : state) {
        claim.gatewayCode = 90 + turn++ % kGateways;
        if (data::storeWiring(*db, claim).any()) {
            state.SkipWithError("the terminals were taken");
            break;
        }
        data::removeDeviceWiring(*db, claim.gatewayCode, 90, 90);
    }
}

// First argument: 1 a log of 100 rows, 2 one of 1,000,000. Second: what the last year's log is
// asked for: 0 everything, 1 the table 设备, 2 a text no row holds, 3 a text every row holds, 4
// one row's story (its exact key).
void BM_LogWindowFirstRows(benchmark::State& state) {
    const int ask = static_cast<int>(state.range(1));
    history::TfmOperLog window(
        nullptr, data::ModuleContext{database(static_cast<int>(state.range(0))), {}},
        {QStringLiteral("DEVICE"),
         ask == 4 ? QStringLiteral("DEVICETYPE=7,DEVICECODE=7") : QString()});
    window.show();
    window.findChild<QDateEdit*>(QStringLiteral("dtpBegin"))
        ->setDate(QDate::currentDate().addYears(-1));
    const QString texts[] = {QString(), QString(), QStringLiteral("无此内容"),
                             QStringLiteral("STATION"),
                             QStringLiteral("DEVICETYPE=7,DEVICECODE=7")};
    window.findChild<QLineEdit*>(QStringLiteral("edText"))->setText(texts[ask]);
    auto* tables = window.findChild<QComboBox*>(QStringLiteral("cbTable"));
    tables->setCurrentIndex(ask == 1 || ask == 4 ? tables->findText(QStringLiteral("设备")) : 0);
    auto* query = window.findChild<QAbstractButton*>(QStringLiteral("Button1"));
    for (auto _ : state) {
        query->click();
        benchmark::DoNotOptimize(window.grab());
    }
    state.counters["rows_read"] =
        window.findChild<QTableView*>(QStringLiteral("DBGrid"))->model()->rowCount();
}

BENCHMARK(BM_DeviceEdit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_WiringSave32)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_LogWindowFirstRows)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({2, 2})
    ->Args({2, 3})
    ->Args({2, 4})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    return tunnel::bench::runBenchmarks(argc, argv, ensureData);
}
