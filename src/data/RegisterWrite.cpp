#include "data/DeviceRegister.h"
#include "data/OperationLog.h"
#include "data/RegisterColumns.h"
#include "data/Schema.h"
#include "platform/db/CopyIn.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/PreparedStatement.h"
#include "platform/db/Transaction.h"

#include <future>

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

QString upsertStatement(db::Engine engine, const QVector<bool>& present, int rows) {
    const QString tuple =
        u'(' + QStringList(registerColumns().size(), QStringLiteral("?")).join(u',') + u')';
    const QString values = QStringLiteral("VALUES ") + QStringList(rows, tuple).join(u',');
    return engine == db::Engine::SqlServer ? mergeFrom(values, present)
                                           : upsertFrom(values, present, engine);
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

// PostgreSQL: the rows stream into a temporary table through COPY (bound values go one by one
// through the protocol's text form), then one statement moves them.
bool copyThroughStaging(db::Database& db, const ImportPlan& plan,
                        const RegisterProgress& progress) {
    db.execute(QStringLiteral("CREATE TEMP TABLE register_rows (LIKE DEVICE) ON COMMIT DROP"));
    if (!copyRows(db, QStringLiteral("register_rows"), plan, progress)) {
        return false;
    }
    db.execute(
        upsertFrom(QStringLiteral("SELECT %1 FROM register_rows").arg(registerColumns().join(u',')),
                   plan.present, db.engine()));
    return progress(plan.rows.size(), plan.rows.size());
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
    if (!copyRows(db, QStringLiteral("DEVICE"), plan, progress)) {
        return false;
    }
    for (const QString& create : createIndexStatements(db, QStringLiteral("DEVICE"))) {
        db.execute(create);
    }
    return progress(plan.rows.size(), plan.rows.size());
}

bool writeOnPostgres(db::Database& db, const ImportPlan& plan, const RegisterProgress& progress) {
    if (plan.registerWasEmpty) {
        if (const std::optional<bool> written = copyIntoEmptyRegister(db, plan, progress)) {
            return *written;
        }
    }
    return copyThroughStaging(db, plan, progress);
}

bool insertInBatches(db::Database& db, const ImportPlan& plan, const RegisterProgress& progress) {
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
            db::PreparedStatement(db, upsertStatement(db.engine(), plan.present, rows)).run(values);
        } else {
            if (!full) {
                full.emplace(db, upsertStatement(db.engine(), plan.present, perStatement));
            }
            full->run(values);
        }
        if (!progress(first + rows, plan.rows.size())) {
            return false;
        }
    }
    return true;
}

// The import's log text: how many devices were added and changed, and their keys.
QString importedText(const ImportPlan& plan) {
    QString text = QStringLiteral("新增 %1 台，修改 %2 台：").arg(plan.inserts).arg(plan.updates);
    text.reserve(text.size() + plan.rows.size() * 32);
    for (const ImportRow& row : plan.rows) {
        if (&row != plan.rows.constData()) {
            text += u"; ";
        }
        text += u"DEVICETYPE=";
        text += QString::number(row.number(kType));
        text += u",DEVICECODE=";
        text += QString::number(row.number(kCode));
    }
    return text;
}

void logImport(db::Database& db, const ImportPlan& plan, int funcCode, const QString& text) {
    logChange(db, {funcCode, QStringLiteral("导入"), QStringLiteral("DEVICE"),
                   QStringLiteral("%1 台设备").arg(plan.rows.size()), QString(), text});
}

}  // namespace

bool writeRegister(db::Database& db, const ImportPlan& plan, int funcCode,
                   const RegisterProgress& progress) {
    if (plan.rows.isEmpty()) {
        return true;  // a file of titles only: nothing to write, nothing to log
    }
    // Made while the server takes the rows: a hundred thousand keys are tens of milliseconds.
    std::future<QString> logText = std::async(std::launch::async, importedText, std::cref(plan));
    db::Transaction transaction(db);
    const bool written = db.engine() == db::Engine::PostgreSQL
                             ? writeOnPostgres(db, plan, progress)
                             : insertInBatches(db, plan, progress);
    if (!written) {
        return false;
    }
    logImport(db, plan, funcCode, logText.get());
    transaction.commit();
    return true;
}

}  // namespace tunnel::data
