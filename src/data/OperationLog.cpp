#include "data/OperationLog.h"

#include "data/DeviceRegister.h"
#include "platform/db/Database.h"
#include "platform/db/Transaction.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"

#include <QHash>
#include <QSysInfo>

namespace tunnel::data {
namespace {

constexpr int kNameLength = 64;

MissingLogNotice& notice() {
    static MissingLogNotice current;
    return current;
}

// Whether the database has OPERLOG, asked once a connection string: a database upgraded while
// the module runs is logged from the next start.
bool hasLog(db::Database& db) {
    static QHash<QString, bool> known;
    const QString key = db.settings().describe();
    const auto found = known.constFind(key);
    if (found != known.constEnd()) {
        return *found;
    }
    const bool exists = db.hasTable(QStringLiteral("OPERLOG"));
    known.insert(key, exists);
    if (!exists && notice()) {
        notice()();
    }
    return exists;
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

QString operatorName() {
    const QString user = qEnvironmentVariable("USER");
    return (user.isEmpty() ? qEnvironmentVariable("USERNAME") : user).left(kNameLength);
}

QString valueText(const QVariant& value) {
    return value.isNull() ? QStringLiteral("NULL") : text::trimmed(db::textOf(value));
}

QString columnsText(const QStringList& columns, const QVariantList& values,
                    const QVector<int>& which) {
    QStringList parts;
    for (const int i : which) {
        parts.append(columns[i] + u'=' + valueText(values.value(i)));
    }
    return parts.join(QStringLiteral("; "));
}

}  // namespace

void setMissingLogNotice(MissingLogNotice replacement) {
    notice() = std::move(replacement);
}

void logChange(db::Database& db, const LoggedChange& change) {
    if (!hasLog(db)) {
        return;
    }
    db.execute(QStringLiteral("INSERT INTO OPERLOG (LOGTIME, STATION, OPERATOR, FUNCCODE, ACTION, "
                              "TABLENAME, ROWKEY, BEFORETEXT, AFTERTEXT) VALUES (%1, ?, ?, ?, ?, "
                              "?, ?, ?, ?)")
                   .arg(serverNow(db.engine())),
               {QSysInfo::machineHostName().left(kNameLength), operatorName(), change.funcCode,
                change.action, change.table, change.rowKey.left(100), change.before, change.after});
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
        const bool differs = before.isEmpty() || after.isEmpty() ||
                             valueText(before.value(i)) != valueText(after.value(i));
        if (differs) {
            which.append(i);
        }
    }
    return {before.isEmpty() ? QString() : columnsText(columns, before, which),
            after.isEmpty() ? QString() : columnsText(columns, after, which)};
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

bool writeLogged(db::Database& db, const RowChange& change, const std::function<bool()>& write) {
    db::Transaction transaction(db);
    const QVariantList before = storedRow(db, change.table, change.columns, change.beforeWhere);
    if (!write()) {
        return false;
    }
    const QVariantList after = storedRow(db, change.table, change.columns, change.afterWhere);
    const QVariantList& keyed = after.isEmpty() ? before : after;
    QVariantList key;
    for (const QString& column : change.keyColumns) {
        key.append(keyed.value(static_cast<int>(change.columns.indexOf(column))));
    }
    const ChangeTexts texts = changeTexts(change.columns, before, after);
    logChange(db, {change.funcCode, change.action, change.table, keyText(change.keyColumns, key),
                   texts.before, texts.after});
    transaction.commit();
    return true;
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

QString deviceWhere(int deviceType, int deviceCode) {
    return QStringLiteral("DEVICETYPE=%1 and DEVICECODE=%2").arg(deviceType).arg(deviceCode);
}

}  // namespace tunnel::data
