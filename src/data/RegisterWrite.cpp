#include "data/DeviceRegister.h"
#include "data/LoggedTransaction.h"
#include "data/OperationLog.h"
#include "data/RegisterColumns.h"
#include "data/RegisterLog.h"
#include "data/Schema.h"
#include "data/SearchIndex.h"
#include "platform/db/CopyIn.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/PreparedStatement.h"
#include "platform/db/Snapshot.h"
#include "platform/db/Transaction.h"

#include <cmath>

namespace tunnel::data {
namespace {

constexpr int kValuesPerStatement = 2000;  // within every engine's limit of bound values
constexpr int kProgressEvery = 4096;       // rows copied between two reports of progress

// The column assignments of an update from the file's columns (the key stays).
QStringList updatedColumns(const QVector<bool>& present, const QString& form) {
    QStringList updates;
    for (int column = kCode + 1; column < registerRules().size(); ++column) {
        if (present[column]) {
            updates.append(form.arg(registerColumnName(column)));
        }
    }
    return updates;
}

// Rows from `source` (VALUES or a SELECT) into DEVICE; a key that exists by then is updated.
// On PostgreSQL a device whose columns hold the file's values already is left as it is: no new
// row version, no index entries (a file exported and imported again changes nothing).
QString upsertFrom(const QString& source, const QVector<bool>& present, db::Engine engine) {
    const QStringList updates = updatedColumns(present, QStringLiteral("%1=excluded.%1"));
    QString unchanged;
    if (engine == db::Engine::PostgreSQL && !updates.isEmpty()) {
        unchanged = QStringLiteral(" WHERE (%1) IS DISTINCT FROM (%2)")
                        .arg(updatedColumns(present, QStringLiteral("DEVICE.%1")).join(u','),
                             updatedColumns(present, QStringLiteral("excluded.%1")).join(u','));
    }
    return QStringLiteral("INSERT INTO DEVICE (%1) %2 ON CONFLICT (DEVICETYPE, DEVICECODE) %3")
        .arg(registerColumns().join(u','), source,
             updates.isEmpty() ? QStringLiteral("DO NOTHING")
                               : QStringLiteral("DO UPDATE SET ") + updates.join(u',') + unchanged);
}

QString mergeFrom(const QString& values, const QVector<bool>& present) {
    const QStringList updates = updatedColumns(present, QStringLiteral("t.%1=s.%1"));
    const QString names = registerColumns().join(u',');
    return QStringLiteral(
               "MERGE DEVICE WITH (HOLDLOCK) AS t USING (%1) AS s(%2) ON "
               "t.DEVICETYPE=s.DEVICETYPE AND t.DEVICECODE=s.DEVICECODE%3 WHEN NOT MATCHED "
               "THEN INSERT (%2) VALUES (s.%4);")
        .arg(values, names,
             updates.isEmpty()
                 ? QString()
                 : QStringLiteral(" WHEN MATCHED THEN UPDATE SET ") + updates.join(u','),
             registerColumns().join(QStringLiteral(",s.")));
}

// The statement that stages `rows` devices at once.
QString stagingInsert(const QString& staged, int rows) {
    const QString tuple =
        u'(' + QStringList(registerColumns().size(), QStringLiteral("?")).join(u',') + u')';
    return QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(staged, registerColumns().join(u',')) +
           QStringList(rows, tuple).join(u',');
}

void addRow(db::CopyIn& copy, const ImportRow& row) {
    for (int column = 0; column < registerRules().size(); ++column) {
        if (row.isNull(column)) {
            copy.addNull();
        } else if (registerRules()[column].number) {
            copy.addNumber(row.number(column));
        } else {
            copy.addText(row.text(column));
        }
    }
    copy.endRow();
}

// The plan's rows into `table` through COPY, with the progress. False when cancelled.
bool copyRows(db::Database& db, const QString& table, const ImportPlan& plan,
              const RegisterProgress& progress) {
    db::CopyIn copy(db, table, registerColumns());
    for (qsizetype i = 0; i < plan.rows.size(); ++i) {
        addRow(copy, plan.rows[i]);
        if ((i + 1) % kProgressEvery == 0 && !progress(i + 1, plan.rows.size())) {
            return false;
        }
    }
    copy.finish();
    return true;
}

// Devices deleted and not yet vacuumed leave their keys in the primary key, and every row copied
// under the same key would visit each of them: a table with nothing alive in it starts again from
// empty storage. TRUNCATE needs a privilege of its own and no foreign key pointing at the table;
// where either is missing the rows simply go in beside the dead ones, as an insert would.
void startFromEmptyStorage(db::Database& db) {
    db.execute(QStringLiteral("SAVEPOINT empty_register"));
    try {
        db.execute(QStringLiteral("TRUNCATE TABLE DEVICE"));
        db.execute(QStringLiteral("RELEASE SAVEPOINT empty_register"));
    } catch (const db::DbError&) {
        db.execute(QStringLiteral("ROLLBACK TO SAVEPOINT empty_register"));
    }
}

// PostgreSQL, a register still empty (a new installation's first import): loaded as tunneldb
// generate loads it. The table is locked for the transaction (no device is there for another
// station to read, and none may come meanwhile), its secondary indexes go, the rows are copied
// straight in and the indexes are built once after them: inserting each row into indexes that
// hold many equal values costs more than the rows. False when the register is not empty now.
std::optional<bool> copyIntoEmptyRegister(db::Database& db, const ImportPlan& plan,
                                          const RegisterProgress& progress) {
    db.execute(QStringLiteral("LOCK TABLE DEVICE IN ACCESS EXCLUSIVE MODE"));
    bool any = false;
    db.forEachRow(QStringLiteral("select top 1 DEVICETYPE from DEVICE"), {},
                  [&](const QVariantList&) { any = true; });
    if (any) {
        return std::nullopt;
    }
    startFromEmptyStorage(db);
    for (const QString& drop : dropIndexStatements(db, QStringLiteral("DEVICE"))) {
        db.execute(drop);
    }
    const bool searchIndexed = dropServerSearchIndexForLoad(db);
    if (!copyRows(db, QStringLiteral("DEVICE"), plan, progress)) {
        return false;
    }
    for (const QString& create : createIndexStatements(db, QStringLiteral("DEVICE"))) {
        db.execute(create);
    }
    if (searchIndexed) {
        buildServerSearchIndexAfterLoad(db);
    }
    return progress(plan.rows.size(), plan.rows.size());
}

QString stagedSelect(const QString& staged) {
    // "WHERE 1=1": SQLite would otherwise read the upsert's ON as a join's.
    return QStringLiteral("SELECT %1 FROM %2 WHERE 1=1").arg(registerColumns().join(u','), staged);
}

// PostgreSQL: the rows stream into a temporary table through COPY (bound values go one by one
// through the protocol's text form); they are counted and logged against the register as it is,
// then one statement moves them. Other stations' writes of devices wait for the import (the
// register the check read may have changed since; what is logged is what is overwritten); their
// reads go on.
std::optional<ImportCounts> stageOnPostgres(db::Database& db, const ImportPlan& plan, int funcCode,
                                            const RegisterProgress& progress) {
    const QString staged = QStringLiteral("register_rows");
    db.execute(QStringLiteral("LOCK TABLE DEVICE IN SHARE ROW EXCLUSIVE MODE"));
    db.execute(QStringLiteral("CREATE TEMP TABLE register_rows (LIKE DEVICE) ON COMMIT DROP"));
    if (!copyRows(db, staged, plan, progress)) {
        return std::nullopt;
    }
    const ImportCounts counts = logStagedDevices(db, staged, plan.present, funcCode);
    db.execute(upsertFrom(stagedSelect(staged), plan.present, db.engine()));
    if (!progress(plan.rows.size(), plan.rows.size())) {
        return std::nullopt;
    }
    return counts;
}

std::optional<ImportCounts> writeOnPostgres(db::Database& db, const ImportPlan& plan, int funcCode,
                                            const RegisterProgress& progress) {
    if (plan.registerWasEmpty) {
        if (const std::optional<bool> written = copyIntoEmptyRegister(db, plan, progress)) {
            if (!*written) {
                return std::nullopt;
            }
            logLoadedRegister(db, funcCode);
            return ImportCounts{static_cast<int>(plan.rows.size()), 0, 0};
        }
    }
    return stageOnPostgres(db, plan, funcCode, progress);
}

// The plan's rows into `staged`, a statement of bound values at a time. False when cancelled.
bool insertInBatches(db::Database& db, const QString& staged, const ImportPlan& plan,
                     const RegisterProgress& progress) {
    const int perStatement =
        std::max(1, kValuesPerStatement / static_cast<int>(registerRules().size()));
    std::optional<db::PreparedStatement> full;
    for (qsizetype first = 0; first < plan.rows.size(); first += perStatement) {
        const int rows =
            static_cast<int>(std::min<qsizetype>(perStatement, plan.rows.size() - first));
        QVariantList values;
        for (qsizetype i = first; i < first + rows; ++i) {
            for (int column = 0; column < registerRules().size(); ++column) {
                values.append(plan.rows[i].value(column));
            }
        }
        if (rows < perStatement) {
            db::PreparedStatement(db, stagingInsert(staged, rows)).run(values);
        } else {
            if (!full) {
                full.emplace(db, stagingInsert(staged, perStatement));
            }
            full->run(values);
        }
        if (!progress(first + rows, plan.rows.size())) {
            return false;
        }
    }
    return true;
}

// SQL Server: the rows are staged in a temporary table a statement of values at a time, counted
// and logged against the register as it is (the transaction takes the table's update lock),
// then moved by one statement; the rest as on PostgreSQL.
std::optional<ImportCounts> writeThroughStaging(db::Database& db, const ImportPlan& plan,
                                                int funcCode, const RegisterProgress& progress) {
    const QString staged = QStringLiteral("#register_rows");
    db.execute(
        QStringLiteral("SELECT TOP 0 DEVICETYPE FROM DEVICE WITH (UPDLOCK, HOLDLOCK, TABLOCK)"));
    db.execute(QStringLiteral("SELECT TOP 0 * INTO #register_rows FROM DEVICE"));
    if (!insertInBatches(db, staged, plan, progress)) {
        return std::nullopt;
    }
    const ImportCounts counts = logStagedDevices(db, staged, plan.present, funcCode);
    db.execute(mergeFrom(stagedSelect(staged), plan.present));
    db.execute(QStringLiteral("DROP TABLE ") + staged);
    return counts;
}

// A print of the whole register that any write of it moves (RowsPrint.h).
QString registerPrint(db::Database& db) {
    QString print;
    db.forEachRow(
        QStringLiteral("select count(*) || ':' || coalesce(rows_print(%1), 0) from DEVICE")
            .arg(registerColumns().join(u',')),
        {}, [&](const QVariantList& row) { print = row[0].toString(); });
    return print;
}

// SQLite: one writer at a time holds the file's write lock, and every other program's write
// waits for it (or fails past its busy timeout), so the import holds it only to write. The rows
// are staged, compared with the register and their log rows made in temporary tables
// beforehand, against one state of the register read without the lock; under the lock the
// register's print tells whether another writer changed it since, and only then is the
// comparison made again there. The log rows' entries in the search index follow the commit.
std::optional<ImportCounts> writeOnSqlite(db::Database& db, const ImportPlan& plan, int funcCode,
                                          const RegisterProgress& progress) {
    const QString staged = QStringLiteral("register_rows");
    const QString changing = QStringLiteral("register_changing");
    db.execute(QStringLiteral("DROP TABLE IF EXISTS temp.") + staged);
    db.execute(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT * FROM DEVICE WHERE 0").arg(staged));
    if (!insertInBatches(db, staged, plan, progress)) {
        return std::nullopt;
    }
    QString print;
    ImportCounts counts;
    {
        db::Snapshot state(db);
        print = registerPrint(db);
        counts = prepareStagedLog(db, staged, changing, plan.present);
        state.keepTemporaryTables();
    }
    std::optional<MadeLogRows> logged;
    {
        LoggedTransaction transaction(db);
        if (registerPrint(db) != print) {
            counts = prepareStagedLog(db, staged, changing, plan.present);
        }
        if (hasLog(db)) {
            logged =
                writeMadeLogRows(db, funcCode, QStringLiteral("导入"), QStringLiteral("DEVICE"));
        }
        db.execute(upsertFrom(stagedSelect(changing), plan.present, db.engine()));
        transaction.commit();
    }
    if (logged) {
        db::Transaction indexing(db);
        indexMadeLogRows(db, *logged);
        indexing.commit();
    }
    db.execute(QStringLiteral("DROP TABLE temp.") + staged);
    db.execute(QStringLiteral("DROP TABLE temp.") + changing);
    return counts;
}

}  // namespace

std::optional<int> secondsOthersWait(const ImportPlan& plan, db::Engine engine) {
    constexpr double kSecondsADevice = 12e-6;  // 0.94 s for 100,000 added, 1.13 s changed
    const double seconds = (plan.counts.inserts + plan.counts.updates) * kSecondsADevice;
    if (engine != db::Engine::SQLite || seconds <= 1.0) {
        return std::nullopt;
    }
    return static_cast<int>(std::lround(seconds));
}

std::optional<ImportCounts> writeRegister(db::Database& db, const ImportPlan& plan, int funcCode,
                                          const RegisterProgress& progress) {
    if (plan.rows.isEmpty()) {
        return ImportCounts{};  // a file of titles only: nothing to write, nothing to log
    }
    if (db.engine() == db::Engine::SQLite) {
        return writeOnSqlite(db, plan, funcCode, progress);
    }
    LoggedTransaction transaction(db);  // the devices' rows are logged by the server, below
    const std::optional<ImportCounts> counts =
        db.engine() == db::Engine::PostgreSQL ? writeOnPostgres(db, plan, funcCode, progress)
                                              : writeThroughStaging(db, plan, funcCode, progress);
    if (!counts) {
        return std::nullopt;
    }
    transaction.commit();
    return counts;
}

}  // namespace tunnel::data
