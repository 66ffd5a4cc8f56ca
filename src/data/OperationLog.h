#pragma once

#include "data/DeviceStatements.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <optional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// Function codes as the log names the window that made a change; 0 for tunneldb.
namespace funcCode {
constexpr int kDeviceList = 1;
constexpr int kGatewayWiring = 2;
constexpr int kAreas = 4;
constexpr int kPlcMapping = 6;
constexpr int kOmronMapping = 7;
constexpr int kTool = 0;
}  // namespace funcCode

// One row of OPERLOG: what changed, in which table and row; before and after hold the changed
// columns only, as a JSON object {"COLUMN":value,...} in the table's column order (empty for an
// insert's before and a delete's after). A row written by an older version holds
// "COLUMN=value" joined by "; ".
struct LoggedChange {
    int funcCode = 0;
    QString action;  // 增加, 修改, 删除, 连接配置, 属性设置(主程序), 接线, 断开, 映射, 导入
    QString table;
    QString rowKey;  // "DEVICETYPE=5,DEVICECODE=2"
    QString before;
    QString after;
};

// Adds the change's row on `db` at the server's time, with this computer's name and the
// operating-system user, inside the caller's transaction, so that it lands with the change or
// not at all. A database without OPERLOG gets no row; the first such change after the notice
// was set calls it, once. Throws DbError.
void logChange(db::Database& db, const LoggedChange& change);
// Several rows of one change, in one statement.
void logChanges(db::Database& db, const QVector<LoggedChange>& changes);
// A row for every row that `select` yields (ROWKEY, BEFORETEXT, AFTERTEXT, in that order,
// written for the engine in use, and where the database has the log's search index
// (LogSearchIndex.h) SEARCHVALUES: the values of the two texts, each after
// logSearchSeparator()), made by the server, with the same time,
// station, account, function code, action and table as logChange writes. Nothing where the
// database has no OPERLOG. Throws DbError.
void logSelected(db::Database& db, int funcCode, const QString& action, const QString& table,
                 const QString& select);
// Whether the database has the log (OPERLOG); where it has not, the missing-log notice is
// given once.
bool hasLog(db::Database& db);
// logSelected in three steps, on SQLite, for a write that holds the file's write lock for the
// least: the rows of `select` made into a temporary table beforehand (what it reads must still
// hold when they are written: the caller sees to that); written in the caller's transaction,
// each with the next LOGID; entered in the log's search index after, in a transaction of their
// own (until then they are marked unindexed, and a search reads them as they are).
void makeLogRows(db::Database& db, const QString& select);
struct MadeLogRows {
    qint64 before = 0;  // the log's last LOGID before them
    int written = 0;
    QString station;
    QString operatorName;
};
MadeLogRows writeMadeLogRows(db::Database& db, int funcCode, const QString& action,
                             const QString& table);
void indexMadeLogRows(db::Database& db, const MadeLogRows& rows);
// The INSERT that logSelected runs, for a statement of the caller's to hold, with the values it
// binds appended to `values`; nothing where the database has no OPERLOG.
std::optional<QString> logInsertFrom(db::Database& db, int funcCode, const QString& action,
                                     const QString& table, const QString& select,
                                     QVariantList& values);
using MissingLogNotice = std::function<void()>;
void setMissingLogNotice(MissingLogNotice notice);

// "NAME=value,NAME=value" of a row's key.
QString keyText(const QStringList& columns, const QVariantList& values);
// The columns whose values differ between two readings of a row (either may be empty: an
// insert or a delete), as the before and after texts.
struct ChangeTexts {
    QString before;
    QString after;
    bool changed = false;  // an insert, a delete, or a column that differs
};
ChangeTexts changeTexts(const QStringList& columns, const QVariantList& before,
                        const QVariantList& after);

// One row of a table as stored now, by a condition that names it; empty when there is none.
// Throws DbError.
QVariantList storedRow(db::Database& db, const QString& table, const QStringList& columns,
                       const QString& where);

// A change of one row made by `write` (which returns false when it wrote nothing, say a refused
// duplicate), read before and after by `beforeWhere` and `afterWhere` (empty: no such row) and
// logged, all in one transaction on `db`. Returns what `write` returned. Throws DbError.
struct RowChange {
    int funcCode = 0;
    QString action;
    QString table;
    QStringList columns;
    QStringList keyColumns;
    QString beforeWhere;
    QString afterWhere;
};
bool writeLogged(db::Database& db, const RowChange& change, const std::function<bool()>& write);
// The log row of such a change, the row having read `before` ahead of it and read again now;
// none when nothing in it changed. Throws DbError.
std::optional<LoggedChange> rowChangeLog(db::Database& db, const RowChange& change,
                                         const QVariantList& before);

// A row written by an editable grid, read before and after (either empty: an insert or a
// delete), logged with the action that follows from that.
void logTableRow(db::Database& db, int funcCode, const QString& table, const QStringList& columns,
                 const QStringList& keyColumns, const QVariantList& before,
                 const QVariantList& after);

// A change of one device row (every register column, keyed by type and number); `beforeWhere`
// and `afterWhere` name the device before and after (deviceWhere), empty where there is none.
RowChange deviceChange(int funcCode, const QString& action, const QString& beforeWhere,
                       const QString& afterWhere);

// The message sign's properties as handed to the host, which runs the statement on its own
// connection: logged right after, against what was stored just before, and marked as handed
// over (the module cannot know whether the host's statement succeeded).
void logSignHandedToHost(db::Database& db, int deviceCode, const QVariantList& storedBefore,
                         const SignProperties& sign);
QVariantList storedSign(db::Database& db, int deviceCode);

// A change of one PLC mapping, keyed by PLC, register type, register and bit.
RowChange plcMappingChange(int funcCode, const QString& action, const QString& beforeWhere,
                           const QString& afterWhere);
QString plcMappingWhere(const QString& plc, int registerType, const QString& registerCode,
                        const QString& registerBit);

}  // namespace tunnel::data
