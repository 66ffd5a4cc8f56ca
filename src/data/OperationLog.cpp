#include "data/OperationLog.h"

#include "data/DeviceRegister.h"
#include "data/DeviceStatements.h"
#include "data/LogSearchIndex.h"
#include "data/LoggedTransaction.h"
#include "platform/db/CopyIn.h"
#include "platform/db/Database.h"
#include "platform/db/ValueText.h"
#include "platform/text/Json.h"
#include "platform/text/TextRules.h"

#include <QSysInfo>

#ifdef Q_OS_WIN
#include <lmcons.h>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <algorithm>

namespace tunnel::data {
namespace {

constexpr int kNameLength = 128;

struct Notice {
    MissingLogNotice tell;
    bool told = false;
};

Notice& notice() {
    static Notice current;
    return current;
}


QString serverNow(db::Engine engine) {
    switch (engine) {
        case db::Engine::SQLite:
            return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')");
        case db::Engine::PostgreSQL:
            return QStringLiteral("LOCALTIMESTAMP(3)");
        case db::Engine::SqlServer:
            return QStringLiteral("GETDATE()");
    }
    return {};
}

// The account the process runs as, never what its environment claims: a variable is unset
// under a service and anyone's to set.
QString operatorName() {
    static const QString name = [] {
#ifdef Q_OS_WIN
        wchar_t buffer[UNLEN + 1];
        DWORD size = UNLEN + 1;
        return GetUserNameW(buffer, &size) ? QString::fromWCharArray(buffer) : QString();
#else
        const passwd* account = ::getpwuid(::geteuid());
        return account != nullptr ? QString::fromLocal8Bit(account->pw_name)
                                  : QStringLiteral("uid %1").arg(::geteuid());
#endif
    }();
    return name.left(kNameLength);
}

// The key's values out of a row of `columns` (names compared without case).
QVariantList keyOf(const QStringList& columns, const QStringList& keyColumns,
                   const QVariantList& row) {
    QVariantList key;
    for (const QString& keyColumn : keyColumns) {
        const auto at = std::find_if(columns.begin(), columns.end(), [&](const QString& column) {
            return column.compare(keyColumn, Qt::CaseInsensitive) == 0;
        });
        key.append(row.value(static_cast<int>(at - columns.begin())));
    }
    return key;
}

// An empty text is stored as one: the log never writes NULL for "nothing before" or "after".
QString emptyNotNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

QString valueText(const QVariant& value) {
    return value.isNull() ? QStringLiteral("NULL") : text::trimmed(db::textOf(value));
}

// A value as the log writes it: a fixed-width column's padding is not part of it (the server
// engines pad CHAR columns with blanks on reading), a leading blank is.
QVariant loggedValue(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray ||
        value.typeId() == QMetaType::QDateTime) {
        return text::withoutPadding(db::textOf(value));
    }
    return value;
}

bool sameLoggedValue(const QVariant& a, const QVariant& b) {
    const QVariant left = loggedValue(a);
    const QVariant right = loggedValue(b);
    return left.isNull() == right.isNull() && left.toString() == right.toString();
}

// The chosen columns as one JSON object: any value reads back exactly, a null is not the text
// "NULL", and a text shaped like another column's entry stays inside its own.
QString columnsText(const QStringList& columns, const QVariantList& values,
                    const QVector<int>& which) {
    QStringList names;
    QVariantList chosen;
    for (const int i : which) {
        names.append(columns[i]);
        chosen.append(loggedValue(values.value(i)));
    }
    return text::jsonObject(names, chosen);
}

}  // namespace

void setMissingLogNotice(MissingLogNotice replacement) {
    notice() = {std::move(replacement), false};
}

void logChange(db::Database& db, const LoggedChange& change) {
    logChanges(db, {change});
}

namespace {

const QStringList& logColumns() {
    static const QStringList columns = {
        QStringLiteral("LOGTIME"),  QStringLiteral("STATION"),    QStringLiteral("OPERATOR"),
        QStringLiteral("FUNCCODE"), QStringLiteral("ACTION"),     QStringLiteral("TABLENAME"),
        QStringLiteral("ROWKEY"),   QStringLiteral("BEFORETEXT"), QStringLiteral("AFTERTEXT")};
    return columns;
}

// A row's values after its time.
QVariantList rowValues(const LoggedChange& change) {
    static const QString station = QSysInfo::machineHostName().left(kNameLength);
    return {station,
            operatorName(),
            change.funcCode,
            change.action,
            change.table,
            change.rowKey.left(100),
            emptyNotNull(change.before),
            emptyNotNull(change.after)};
}

// Texts of megabytes (a register import names every device) go to PostgreSQL through COPY: as a
// statement's bound value such a text is escaped, copied and parsed as a literal several times
// over. The time is the one the statement would have written: the transaction's.
constexpr qsizetype kCopiedTextSize = 1 << 16;

bool isLarge(const QVector<LoggedChange>& changes) {
    qsizetype size = 0;
    for (const LoggedChange& change : changes) {
        size += change.before.size() + change.after.size();
    }
    return size >= kCopiedTextSize;
}

void copyLogRows(db::Database& db, const QVector<LoggedChange>& changes) {
    QVariant now;
    db.forEachRow(QStringLiteral("select CAST(%1 AS TEXT)").arg(serverNow(db.engine())), {},
                  [&](const QVariantList& row) { now = row[0]; });
    db::CopyIn copy(db, QStringLiteral("OPERLOG"), logColumns());
    for (const LoggedChange& change : changes) {
        copy.add(QVariantList{now} + rowValues(change));
    }
    copy.finish();
}

// The index's entries of rows just written by one statement, on SQLite: their LOGIDs follow
// one another up to the last.
void indexWrittenRows(db::Database& db, const QVector<LoggedChange>& changes) {
    qint64 last = 0;
    db.forEachRow(QStringLiteral("select last_insert_rowid()"), {},
                  [&](const QVariantList& row) { last = row[0].toLongLong(); });
    QStringList texts;
    for (const LoggedChange& change : changes) {
        const QVariantList values = rowValues(change);
        texts.append(logSearchText(values[0].toString(), values[1].toString(), values[5].toString(),
                                   values[6].toString(), values[7].toString()));
    }
    indexLogRows(db, last - changes.size() + 1, texts);
}

}  // namespace

// One statement for all the rows of a change (a wiring save logs a row a terminal).
void logChanges(db::Database& db, const QVector<LoggedChange>& changes) {
    if (changes.isEmpty() || !hasLog(db)) {
        return;
    }
    if (db.postgresConnection() != nullptr && isLarge(changes)) {
        copyLogRows(db, changes);
        return;
    }
    const QString tuple =
        QStringLiteral("(%1, ?, ?, ?, ?, ?, ?, ?, ?)").arg(serverNow(db.engine()));
    QVariantList values;
    for (const LoggedChange& change : changes) {
        values.append(rowValues(change));
    }
    db.executeKept(QStringLiteral("INSERT INTO OPERLOG (%1) VALUES ").arg(logColumns().join(u',')) +
                       QStringList(changes.size(), tuple).join(u','),
                   values);
    if (hasLogSearch(db)) {
        indexWrittenRows(db, changes);
    }
}

std::optional<QString> logInsertFrom(db::Database& db, int funcCode, const QString& action,
                                     const QString& table, const QString& select,
                                     QVariantList& values) {
    if (!hasLog(db)) {
        return std::nullopt;
    }
    values += rowValues({funcCode, action, table, {}, {}, {}}).mid(0, 5);
    return QStringLiteral(
               "INSERT INTO OPERLOG (%1) SELECT %2, ?, ?, ?, ?, ?, x.ROWKEY, "
               "x.BEFORETEXT, x.AFTERTEXT FROM (%3) x")
        .arg(logColumns().join(u','), serverNow(db.engine()), select);
}

namespace {

const QString kMade = QStringLiteral("temp.OPERLOG_MADE");

}  // namespace

// Asked once a session: a database upgraded while the module runs is logged from its next
// session on.
bool hasLog(db::Database& db) {
    if (db.hasTableThisSession(QStringLiteral("OPERLOG"))) {
        return true;
    }
    Notice& missing = notice();
    if (!missing.told && missing.tell) {
        missing.told = true;
        missing.tell();
    }
    return false;
}

void makeLogRows(db::Database& db, const QString& select) {
    db.execute(QStringLiteral("DROP TABLE IF EXISTS ") + kMade);
    db.execute(QStringLiteral("CREATE TABLE %1 AS %2").arg(kMade, select));
}

// Each row gets the next LOGID after the log's last, in the order the rows were made (the
// caller holds the write lock), so that its entry in the index can be made after.
MadeLogRows writeMadeLogRows(db::Database& db, int funcCode, const QString& action,
                             const QString& table) {
    MadeLogRows rows;
    db.forEachRow(QStringLiteral("select coalesce(max(LOGID), 0) from OPERLOG"), {},
                  [&](const QVariantList& row) { rows.before = row[0].toLongLong(); });
    QVariantList values{rows.before};
    values += rowValues({funcCode, action, table, {}, {}, {}}).mid(0, 5);
    rows.station = values[1].toString();
    rows.operatorName = values[2].toString();
    rows.written = db.execute(
        QStringLiteral("INSERT INTO OPERLOG (LOGID, %1) SELECT ? + rowid, %2, ?, ?, ?, ?, "
                       "?, ROWKEY, BEFORETEXT, AFTERTEXT FROM %3")
            .arg(logColumns().join(u','), serverNow(db.engine()), kMade),
        values);
    return rows;
}

void indexMadeLogRows(db::Database& db, const MadeLogRows& rows) {
    if (hasLogSearch(db)) {
        indexMadeRows(db, kMade, rows.before, rows.written, rows.station, rows.operatorName);
    }
    db.execute(QStringLiteral("DROP TABLE ") + kMade);
}

void logSelected(db::Database& db, int funcCode, const QString& action, const QString& table,
                 const QString& select) {
    if (hasLog(db) && hasLogSearch(db)) {
        makeLogRows(db, select);
        indexMadeLogRows(db, writeMadeLogRows(db, funcCode, action, table));
        return;
    }
    QVariantList values;
    if (const std::optional<QString> insert =
            logInsertFrom(db, funcCode, action, table, select, values)) {
        db.execute(*insert, values);
    }
}

QString keyText(const QStringList& columns, const QVariantList& values) {
    QStringList parts;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        parts.append(columns[i] + u'=' + valueText(values.value(i)));
    }
    return parts.join(u',');
}

ChangeTexts changeTexts(const QStringList& columns, const QVariantList& before,
                        const QVariantList& after) {
    QVector<int> which;
    for (int i = 0; i < columns.size(); ++i) {
        if (before.isEmpty() || after.isEmpty() ||
            !sameLoggedValue(before.value(i), after.value(i))) {
            which.append(i);
        }
    }
    return {before.isEmpty() ? QString() : columnsText(columns, before, which),
            after.isEmpty() ? QString() : columnsText(columns, after, which), !which.isEmpty()};
}

QVariantList storedRow(db::Database& db, const QString& table, const QStringList& columns,
                       const QString& where) {
    QVariantList row;
    if (where.isEmpty()) {
        return row;
    }
    db.forEachRow(QStringLiteral("select %1 from %2 where %3")
                      .arg(columns.join(QStringLiteral(", ")), table, where),
                  {}, [&](const QVariantList& values) {
                      if (row.isEmpty()) {
                          row = values;
                      }
                  });
    return row;
}

std::optional<LoggedChange> rowChangeLog(db::Database& db, const RowChange& change,
                                         const QVariantList& before) {
    const QVariantList after = storedRow(db, change.table, change.columns, change.afterWhere);
    const QVariantList key =
        keyOf(change.columns, change.keyColumns, after.isEmpty() ? before : after);
    const ChangeTexts texts = changeTexts(change.columns, before, after);
    if (!texts.changed) {
        return std::nullopt;
    }
    return LoggedChange{change.funcCode, change.action,
                        change.table,    keyText(change.keyColumns, key),
                        texts.before,    texts.after};
}

bool writeLogged(db::Database& db, const RowChange& change, const std::function<bool()>& write) {
    LoggedTransaction transaction(db);
    const QVariantList before = storedRow(db, change.table, change.columns, change.beforeWhere);
    if (!write()) {
        return false;
    }
    transaction.logRow(change, before);
    transaction.commit();
    return true;
}

void logTableRow(db::Database& db, int funcCode, const QString& table, const QStringList& columns,
                 const QStringList& keyColumns, const QVariantList& before,
                 const QVariantList& after) {
    const QVariantList key = keyOf(columns, keyColumns, after.isEmpty() ? before : after);
    const QString action = before.isEmpty()  ? QStringLiteral("增加")
                           : after.isEmpty() ? QStringLiteral("删除")
                                             : QStringLiteral("修改");
    const ChangeTexts texts = changeTexts(columns, before, after);
    if (texts.changed) {
        logChange(db,
                  {funcCode, action, table, keyText(keyColumns, key), texts.before, texts.after});
    }
}

namespace {

QStringList signColumns() {
    return {QStringLiteral("int1"), QStringLiteral("int2"),  QStringLiteral("int3"),
            QStringLiteral("int4"), QStringLiteral("char1"), QStringLiteral("char2"),
            QStringLiteral("char3")};
}

}  // namespace

QVariantList storedSign(db::Database& db, int deviceCode) {
    return storedRow(db, QStringLiteral("DEVICE"), signColumns(), deviceWhere(12, deviceCode));
}

void logSignHandedToHost(db::Database& db, int deviceCode, const QVariantList& storedBefore,
                         const SignProperties& sign) {
    const ChangeTexts texts = changeTexts(signColumns(), storedBefore, signColumnValues(sign));
    if (!texts.changed) {
        return;
    }
    logChange(
        db,
        {funcCode::kDeviceList, QStringLiteral("属性设置(主程序)"), QStringLiteral("DEVICE"),
         keyText({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, {12, deviceCode}),
         texts.before, texts.after});
}

RowChange deviceChange(int funcCode, const QString& action, const QString& beforeWhere,
                       const QString& afterWhere) {
    return {funcCode,
            action,
            QStringLiteral("DEVICE"),
            registerColumns(),
            {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
            beforeWhere,
            afterWhere};
}

RowChange plcMappingChange(int funcCode, const QString& action, const QString& beforeWhere,
                           const QString& afterWhere) {
    return {
        funcCode,
        action,
        QStringLiteral("PLCCONFIG"),
        {QStringLiteral("PLCCODE"), QStringLiteral("RegisterTYPE"), QStringLiteral("RegisterCODE"),
         QStringLiteral("RegisterBIT"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
         QStringLiteral("DEVICEPARAM"), QStringLiteral("DESCRIPT")},
        {QStringLiteral("PLCCODE"), QStringLiteral("RegisterTYPE"), QStringLiteral("RegisterCODE"),
         QStringLiteral("RegisterBIT")},
        beforeWhere,
        afterWhere};
}

QString plcMappingWhere(const QString& plc, int registerType, const QString& registerCode,
                        const QString& registerBit) {
    return QStringLiteral("PLCCODE=%1 and RegisterTYPE=%2 and RegisterCODE=%3 and RegisterBIT=%4")
        .arg(plc)
        .arg(registerType)
        .arg(registerCode, registerBit);
}

}  // namespace tunnel::data
