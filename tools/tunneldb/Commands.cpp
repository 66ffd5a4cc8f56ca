#include "Commands.h"

#include "DemoData.h"
#include "Generator.h"

#include "data/Availability.h"
#include "data/AvailabilityPdf.h"
#include "data/DeviceRegister.h"
#include "data/EarlierHooks.h"
#include "data/LogSearchIndex.h"
#include "data/OperLogStatements.h"
#include "data/OperationLog.h"
#include "data/Partitions.h"
#include "data/Schema.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/DatabaseFiles.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"
#include "platform/text/Csv.h"
#include "platform/text/TextRules.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

#include <functional>
#include <optional>

namespace tunnel::tools {
namespace {

const char* const kUsage =
    "usage: tunneldb init|demo|generate|upgrade CONNECTIONSTRING [options]\n"
    "       tunneldb export-devices CONNECTIONSTRING FILE\n"
    "       tunneldb import-devices CONNECTIONSTRING FILE [--check] [--encoding gbk|utf-8]\n"
    "       tunneldb log-export CONNECTIONSTRING FILE --before YYYY-MM-DD\n"
    "       tunneldb partitions CONNECTIONSTRING [--ahead N] [--detach-before YYYY-MM]\n"
    "       tunneldb report CONNECTIONSTRING --month YYYY-MM [--pdf FILE] [--csv FILE]\n"
    "  init       create the schema\n"
    "  report     the month's availability by area and device type (PDF, CSV)\n"
    "  upgrade    add what this version's schema has and the database lacks (indexes),\n"
    "             remove what earlier versions put in the shared tables, and enter the log\n"
    "             rows other programs wrote in the log's search index\n"
    "  demo       create the schema and a small demo installation\n"
    "  generate   add large volumes for benchmarks (creates the schema when missing)\n"
    "  export-devices  write every device to FILE (CSV, the register file)\n"
    "  import-devices  check FILE and write all its devices or none\n"
    "  log-export      write the operation log's rows older than --before to FILE (CSV);\n"
    "                  deleting them is left to the database's administrator\n"
    "  partitions      PostgreSQL, partitioned histories: create the coming months'\n"
    "                  partitions, detach (never drop) those before --detach-before\n"
    "options:\n"
    "  --force          init, demo: drop the existing tables first\n"
    "  --partitioned    init (PostgreSQL): partition the histories by month\n"
    "  --from YYYY-MM   init --partitioned: the first month (default: three years back)\n"
    "  --ahead N        init --partitioned, partitions: months ahead (default 3)\n"
    "  --detach-before YYYY-MM  partitions: detach the months before this one\n"
    "  --devices N      generate: devices to add\n"
    "  --alerts N       generate: alerts to add\n"
    "  --states N       generate: state changes to add\n"
    "  --gateways N     generate: gateways (type 24) to add\n"
    "  --wiring N       generate: gateway wiring rows to add (and the wiring catalogue)\n"
    "  --mappings N     generate: PLC register mappings to add\n"
    "  --years N        generate: how many years back the history reaches (default 3)\n"
    "  --seed N         generate: random seed (default 1)\n"
    "  --check          import-devices: check the file only, write nothing\n"
    "  --encoding gbk|utf-8  import-devices: read FILE in this encoding (needed when both\n"
    "                   read it as text, differently)\n"
    "example:\n"
    "  tunneldb demo \"Provider=SQLite;Data Source=/tmp/tunnel.db\"\n";

struct UsageError {
    QString text;
};

struct Call {
    QString command;
    QString connectionString;
    bool force = false;
    bool checkOnly = false;
    QString encoding;  // import-devices: "GBK" or "UTF-8"; empty: as the file's bytes show
    QString file;
    QDate before;
    GenerateOptions generate;
    bool partitioned = false;
    QDate from;  // the first month of the partitions; null: three years back
    int ahead = 3;
    std::optional<QDate> detachBefore;
    QString pdf;  // report
    QString csv;
};

QDate monthAfter(const QStringList& args, qsizetype& i) {
    const QDate month =
        i + 1 < args.size() ? QDate::fromString(args[i + 1], QStringLiteral("yyyy-MM")) : QDate();
    if (!month.isValid()) {
        throw UsageError{QStringLiteral("%1 needs a month YYYY-MM").arg(args[i])};
    }
    ++i;
    return month;
}

// Checked before anything is written: a number past these would run for days, leave half a
// catalogue behind, or make dates no engine accepts.
constexpr qint64 kMostDevices = 10'000'000;
constexpr qint64 kMostHistoryRows = 2'000'000'000;
constexpr qint64 kMostYears = 100;

qint64 numberAfter(const QStringList& args, qsizetype& i, qint64 least, qint64 most) {
    if (i + 1 >= args.size()) {
        throw UsageError{QStringLiteral("%1 needs a number").arg(args[i])};
    }
    bool ok = false;
    const qint64 n = args[i + 1].toLongLong(&ok);
    if (!ok || n < least || n > most) {
        throw UsageError{QStringLiteral("%1 needs a whole number from %2 to %3, not \"%4\"")
                             .arg(args[i])
                             .arg(least)
                             .arg(most)
                             .arg(args[i + 1])};
    }
    ++i;
    return n;
}

Call parseCall(const QStringList& args) {
    if (args.size() < 2) {
        throw UsageError{QStringLiteral("a command and a connection string are needed")};
    }
    Call call;
    call.command = args[0];
    call.connectionString = args[1];
    static const QStringList commands = {
        QStringLiteral("init"),           QStringLiteral("demo"),
        QStringLiteral("generate"),       QStringLiteral("upgrade"),
        QStringLiteral("export-devices"), QStringLiteral("import-devices"),
        QStringLiteral("log-export"),     QStringLiteral("partitions"),
        QStringLiteral("report")};
    if (!commands.contains(call.command)) {
        throw UsageError{QStringLiteral("unknown command \"%1\"").arg(call.command)};
    }
    qsizetype first = 2;
    if (call.command.endsWith(QStringLiteral("-devices")) || call.command == u"log-export") {
        if (args.size() < 3 || args[2].startsWith(QStringLiteral("--"))) {
            throw UsageError{QStringLiteral("%1 needs a FILE").arg(call.command)};
        }
        call.file = args[2];
        first = 3;
    }
    for (qsizetype i = first; i < args.size(); ++i) {
        const QString& option = args[i];
        if (option == u"--force") {
            call.force = true;
        } else if (option == u"--check" && call.command == u"import-devices") {
            call.checkOnly = true;
        } else if (option == u"--encoding" && call.command == u"import-devices" &&
                   i + 1 < args.size()) {
            const QString encoding = args[++i].toUpper();
            if (encoding != u"GBK" && encoding != u"UTF-8") {
                throw UsageError{
                    QStringLiteral("--encoding is gbk or utf-8, not \"%1\"").arg(args[i])};
            }
            call.encoding = encoding;
        } else if (option == u"--before" && call.command == u"log-export" && i + 1 < args.size()) {
            // The whole text, not its first ten characters: "2021-01-01 junk" is no date.
            call.before = QDate::fromString(args[++i], QStringLiteral("yyyy-MM-dd"));
            if (!call.before.isValid()) {
                throw UsageError{
                    QStringLiteral("--before needs a date YYYY-MM-DD, not \"%1\"").arg(args[i])};
            }
        } else if (option == u"--month" && call.command == u"report") {
            call.from = monthAfter(args, i);
        } else if ((option == u"--pdf" || option == u"--csv") && call.command == u"report" &&
                   i + 1 < args.size()) {
            (option == u"--pdf" ? call.pdf : call.csv) = args[++i];
        } else if (option == u"--partitioned" && call.command == u"init") {
            call.partitioned = true;
        } else if (option == u"--from" && call.command == u"init") {
            call.from = monthAfter(args, i);
        } else if (option == u"--ahead") {
            call.ahead = static_cast<int>(numberAfter(args, i, 0, 120));
        } else if (option == u"--detach-before" && call.command == u"partitions") {
            call.detachBefore = monthAfter(args, i);
            if (!data::isPastMonth(*call.detachBefore, QDate::currentDate())) {
                throw UsageError{
                    QStringLiteral("--detach-before %1 is not a past month: only months before "
                                   "the current one (%2) are detached")
                        .arg(args[i], QDate::currentDate().toString(QStringLiteral("yyyy-MM")))};
            }
        } else if (option == u"--devices") {
            call.generate.devices = numberAfter(args, i, 0, kMostDevices);
        } else if (option == u"--alerts") {
            call.generate.alerts = numberAfter(args, i, 0, kMostHistoryRows);
        } else if (option == u"--states") {
            call.generate.states = numberAfter(args, i, 0, kMostHistoryRows);
        } else if (option == u"--gateways") {
            call.generate.gateways = numberAfter(args, i, 0, kMostDevices);
        } else if (option == u"--wiring") {
            call.generate.wiring = numberAfter(args, i, 0, kMostHistoryRows);
        } else if (option == u"--mappings") {
            call.generate.mappings = numberAfter(args, i, 0, kMostHistoryRows);
        } else if (option == u"--years") {
            call.generate.years = static_cast<int>(numberAfter(args, i, 1, kMostYears));
        } else if (option == u"--seed") {
            call.generate.seed = static_cast<unsigned>(numberAfter(args, i, 0, 4294967295));
        } else {
            throw UsageError{QStringLiteral("unknown option \"%1\"").arg(option)};
        }
    }
    if (call.command == u"log-export" && !call.before.isValid()) {
        throw UsageError{QStringLiteral("log-export needs --before YYYY-MM-DD")};
    }
    if (call.command == u"report" &&
        (!call.from.isValid() || (call.pdf.isEmpty() && call.csv.isEmpty()))) {
        throw UsageError{
            QStringLiteral("report needs --month YYYY-MM and --pdf FILE or --csv FILE")};
    }
    return call;
}

// Creates the schema; an existing one is refused unless `force` drops it first.
void prepareSchema(db::Database& db, bool force, QTextStream& out) {
    if (data::schemaExists(db)) {
        if (!force) {
            throw db::DbError(QStringLiteral("The %1 has the installation's tables already; "
                                             "--force drops them and starts afresh.")
                                  .arg(db.settings().describe()));
        }
        data::dropSchema(db);
        out << "Dropped the existing tables.\n";
    }
    data::createSchema(db);
    out << "Created the schema in the " << db.settings().describe() << ".\n";
}

// Bulk loading on SQLite: a large page cache keeps the history indexes in memory, and a batch
// of the tool needs no fsync (a crash leaves a consistent database that lacks the last batch).
void prepareBulkLoad(db::Database& db) {
    if (db.engine() == db::Engine::SQLite) {
        db.execute(QStringLiteral("PRAGMA cache_size = -524288"));
        db.execute(QStringLiteral("PRAGMA synchronous = OFF"));
    }
}

void runGenerate(db::Database& db, const GenerateOptions& options, QTextStream& out) {
    prepareBulkLoad(db);
    if (!data::schemaExists(db)) {
        data::createSchema(db);
        out << "Created the schema in the " << db.settings().describe() << ".\n";
    }
    QElapsedTimer timer;
    timer.start();
    QString lastTable;
    QElapsedTimer tableTimer;
    generate(db, options, [&](const QString& table, qint64 done, qint64 total) {
        if (table != lastTable) {
            lastTable = table;
            tableTimer.start();
        }
        const double seconds = std::max<double>(tableTimer.elapsed(), 1) / 1000.0;
        out << QStringLiteral("\r%1: %2 of %3 rows (%4%), %5 s, %6 rows/s")
                   .arg(table)
                   .arg(done)
                   .arg(total)
                   .arg(total > 0 ? done * 100 / total : 100)
                   .arg(static_cast<double>(timer.elapsed()) / 1000.0, 0, 'f', 1)
                   .arg(static_cast<qint64>(static_cast<double>(done) / seconds));
        if (done >= total)
            out << "\n";
        out.flush();
    });
    out << QStringLiteral("Generated %1 devices, %2 state changes, %3 alerts in %4 s.\n")
               .arg(options.devices)
               .arg(options.states)
               .arg(options.alerts)
               .arg(static_cast<double>(timer.elapsed()) / 1000.0, 0, 'f', 1);
}

void runUpgrade(db::Database& db, QTextStream& out, QTextStream& err) {
    if (!data::schemaExists(db)) {
        throw db::DbError(QStringLiteral("The %1 has no installation tables to upgrade; "
                                         "init creates them.")
                              .arg(db.settings().describe()));
    }
    const QStringList removed = data::removeEarlierHooks(db, [&err](const QString& table) {
        err << QStringLiteral("%1 is busy (another program is writing it); trying again.\n")
                   .arg(table);
        err.flush();
    });
    if (!removed.isEmpty()) {
        out << QStringLiteral("Removed %1.\n").arg(removed.join(QStringLiteral(", ")));
    }
    const QStringList added = data::upgradeSchema(db);
    if (!added.isEmpty()) {
        out << QStringLiteral("Added %1.\n").arg(added.join(QStringLiteral(", ")));
    }
    const int entered = data::indexUnindexedLogRows(db);
    if (entered > 0) {
        out << QStringLiteral(
                   "Entered %1 log rows that other programs or earlier versions wrote "
                   "in the log's search index.\n")
                   .arg(entered);
    }
    if (added.isEmpty() && removed.isEmpty() && entered == 0) {
        out << QStringLiteral("Nothing to add: the schema is up to date.\n");
    }
}

// The export and import of the register, as the device list's menu runs them, without a dialog.
const data::RegisterProgress kNoProgress = [](qint64, qint64) { return true; };

// Writes a file whole or not at all. Throws DbError naming the file.
void saveFile(const QString& path, const std::function<void(QIODevice& file)>& write) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        write(file);
        if (file.commit()) {
            return;
        }
    }
    throw db::DbError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

void runExportDevices(db::Database& db, const QString& path, QTextStream& out) {
    qint64 rows = 0;
    saveFile(path, [&](QIODevice& file) {
        rows = *data::exportRegister(db, std::nullopt, file, kNoProgress);
    });
    out << QStringLiteral("已导出 %1 台设备到 %2\n").arg(rows).arg(path);
}

int runImportDevices(db::Database& db, const QString& path, const QString& encoding, bool checkOnly,
                     QTextStream& out, QTextStream& err) {
    const QByteArray bytes = data::readRegisterFileAt(path);
    if (encoding.isEmpty()) {
        if (const std::optional<text::TwoReadings> readings = text::twoReadingsOf(bytes)) {
            err << data::twoReadingsText(*readings)
                << QStringLiteral("请用 --encoding gbk 或 --encoding utf-8 指明文件的编码。\n");
            return 1;
        }
    }
    const data::RegisterFile file = data::readRegisterFile(bytes, encoding);
    const data::ImportPlan plan = std::move(*data::checkRegisterFile(db, file, kNoProgress));
    if (!plan.refusals.isEmpty()) {
        err << data::saveRefusals(path, file, plan.refusals) << '\n';
        return 1;
    }
    if (checkOnly) {
        out << plan.counts.text() << QStringLiteral("。文件可以导入。\n");
        return 0;
    }
    const data::ImportCounts written =
        *data::writeRegister(db, plan, data::funcCode::kTool, kNoProgress);
    out << written.text() << QStringLiteral("。已全部导入。\n");
    return 0;
}

// The log's older rows as CSV, the history export's form: every column, oldest first.
void runLogExport(db::Database& db, const QString& path, const QDate& before, QTextStream& out) {
    const QStringList columns = {QStringLiteral("LOGID"),      QStringLiteral("LOGTIME"),
                                 QStringLiteral("STATION"),    QStringLiteral("OPERATOR"),
                                 QStringLiteral("FUNCCODE"),   QStringLiteral("ACTION"),
                                 QStringLiteral("TABLENAME"),  QStringLiteral("ROWKEY"),
                                 QStringLiteral("BEFORETEXT"), QStringLiteral("AFTERTEXT")};
    qint64 rows = 0;
    saveFile(path, [&](QIODevice& file) {
        file.write(text::kUtf8Bom);
        file.write(text::csvLine(columns));
        db.forEachRow(data::operLogBeforeStatement(before), {}, [&](const QVariantList& row) {
            QStringList cells;
            for (const QVariant& value : row) {
                cells.append(text::trimmed(db::textOf(value)));
            }
            file.write(text::csvLine(cells));
            ++rows;
        });
    });
    out << QStringLiteral("已导出 %1 条 %2 以前的操作记录到 %3\n")
               .arg(rows)
               .arg(before.toString(Qt::ISODate), path);
}

void runPartitionHistories(db::Database& db, const Call& call, QTextStream& out) {
    const QDate today = QDate::currentDate();
    const QDate from = call.from.isValid() ? call.from : today.addYears(-3);
    data::partitionHistories(db, from, today, call.ahead);
    out << "Partitioned DEVICESTATUS and DEVICEALERT by month from "
        << from.toString(QStringLiteral("yyyy-MM")) << " to "
        << today.addMonths(call.ahead).toString(QStringLiteral("yyyy-MM"))
        << ", with a default partition for other times.\n";
}

void runPartitions(db::Database& db, const Call& call, QTextStream& out, QTextStream& err) {
    const data::PartitionChanges changes = data::maintainPartitions(
        db, QDate::currentDate(), call.ahead, call.detachBefore, [&err](const QString& text) {
            err << text << '\n';
            err.flush();
        });
    out << "Created " << changes.created.size() << " partition(s)"
        << (changes.created.isEmpty()
                ? QString()
                : QStringLiteral(": ") + changes.created.join(QStringLiteral(", ")))
        << (changes.reattached.isEmpty()
                ? QString()
                : QStringLiteral(
                      ".\nAttached again %1 partition(s) an earlier run had detached: %2")
                      .arg(changes.reattached.size())
                      .arg(changes.reattached.join(QStringLiteral(", "))))
        << ".\nDetached " << changes.detached.size() << " partition(s)"
        << (changes.detached.isEmpty()
                ? QString()
                : QStringLiteral(": ") + changes.detached.join(QStringLiteral(", ")))
        << (changes.detached.isEmpty() ? QString()
                                       : QStringLiteral(" (kept as tables, for archiving)"))
        << ".\n";
}

}  // namespace

namespace {

// While it lives, a change into a database without OPERLOG says so on `err`, once.
class LogNoticeTo {
public:
    explicit LogNoticeTo(QTextStream& err) {
        data::setMissingLogNotice([&err] {
            err << "数据库中没有操作记录表 OPERLOG，这次导入不会被记录；"
                   "运行 tunneldb upgrade CONNECTIONSTRING 可添加该表。\n";
        });
    }
    ~LogNoticeTo() { data::setMissingLogNotice({}); }
    LogNoticeTo(const LogNoticeTo&) = delete;
    LogNoticeTo& operator=(const LogNoticeTo&) = delete;
};

}  // namespace

// The month's availability report, as the window makes it, written as PDF and/or CSV.
void runReport(db::Database& db, const Call& call, QTextStream& out) {
    const QDateTime from(call.from, QTime(0, 0));
    const QDateTime now = QDateTime::currentDateTime();
    const data::AvailabilityReport report =
        data::readAvailability(db, from, from.addMonths(1), now);
    const data::ReportNames names = data::readReportNames(db);
    if (!call.csv.isEmpty()) {
        QSaveFile file(call.csv);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(data::availabilityCsv(report, names)) < 0 || !file.commit()) {
            throw db::DbError(
                QStringLiteral("无法写入文件 %1：%2").arg(call.csv, file.errorString()));
        }
        out << "Wrote " << call.csv << "\n";
    }
    if (!call.pdf.isEmpty()) {
        data::writeAvailabilityPdf(report, names, now, call.pdf);
        out << "Wrote " << call.pdf << "\n";
    }
}

int runTunnelDb(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        out << kUsage;
        return 0;
    }
    try {
        const Call call = parseCall(arguments);
        const bool creates = !call.command.endsWith(QStringLiteral("-devices")) &&
                             call.command != u"log-export" && call.command != u"report";
        if (call.partitioned &&
            db::ConnectionSettings::parse(call.connectionString).engine != db::Engine::PostgreSQL) {
            throw UsageError{QStringLiteral("--partitioned is for PostgreSQL databases")};
        }
        auto db = db::Database::open(
            call.connectionString,
            creates ? db::Database::OpenMode::CreateIfMissing : db::Database::OpenMode::Existing);
        for (const QString& file : {call.file, call.pdf, call.csv}) {
            if (!file.isEmpty() && db::isDatabaseFile(file)) {
                // Written over, the database is gone; read and closed, its locks are.
                throw UsageError{
                    QStringLiteral("%1 is a file of the database itself: name another").arg(file)};
            }
        }
        if (call.command == u"init") {
            prepareSchema(*db, call.force, out);
            if (call.partitioned) {
                runPartitionHistories(*db, call, out);
            }
        } else if (call.command == u"partitions") {
            runPartitions(*db, call, out, err);
        } else if (call.command == u"demo") {
            prepareSchema(*db, call.force, out);
            loadDemoData(*db, QDateTime::currentDateTime());
            out << "Loaded the demo installation.\n";
        } else if (call.command == u"upgrade") {
            runUpgrade(*db, out, err);
        } else if (call.command == u"report") {
            runReport(*db, call, out);
        } else if (call.command == u"export-devices") {
            runExportDevices(*db, call.file, out);
        } else if (call.command == u"log-export") {
            runLogExport(*db, call.file, call.before, out);
        } else if (call.command == u"import-devices") {
            const LogNoticeTo notice(err);
            return runImportDevices(*db, call.file, call.encoding, call.checkOnly, out, err);
        } else {
            runGenerate(*db, call.generate, out);
        }
        return 0;
    } catch (const UsageError& error) {
        err << "tunneldb: " << error.text << "\n" << kUsage;
        return 2;
    } catch (const db::DbError& error) {
        err << "tunneldb: " << error.report() << "\n";
        return 1;
    }
}

void createDemoDatabase(const QString& connectionString) {
    auto db = db::Database::open(connectionString, db::Database::OpenMode::CreateIfMissing);
    data::createSchema(*db);
    loadDemoData(*db, QDateTime::currentDateTime());
}

}  // namespace tunnel::tools
