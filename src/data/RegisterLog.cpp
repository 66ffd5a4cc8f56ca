#include "data/RegisterLog.h"

#include "data/OperationLog.h"
#include "data/RegisterColumns.h"
#include "platform/db/Database.h"

#include <QStringList>

namespace tunnel::data {
namespace {

// The engines' own words for what the log's texts are made of.
struct Words {
    db::Engine engine;

    QString join(const QStringList& parts) const {
        return engine == db::Engine::SqlServer ? parts.join(QStringLiteral(" + "))
                                               : parts.join(QStringLiteral(" || "));
    }
    // A column's value as a JSON value: null, a number, or a string without the column's
    // fixed-width padding.
    QString json(const QString& value, bool number) const {
        switch (engine) {
            case db::Engine::SQLite:
                return QStringLiteral("json_quote(%1)").arg(value);
            case db::Engine::PostgreSQL:
                return number ? QStringLiteral("coalesce(CAST(%1 AS TEXT), 'null')").arg(value)
                              : QStringLiteral(
                                    "coalesce(CAST(to_json(CAST(%1 AS TEXT)) AS "
                                    "TEXT), 'null')")
                                    .arg(value);
            case db::Engine::SqlServer:
                return number
                           ? QStringLiteral("COALESCE(CAST(%1 AS VARCHAR(11)), 'null')").arg(value)
                           : QStringLiteral(
                                 "COALESCE('\"' + STRING_ESCAPE(RTRIM(%1), "
                                 "'json') + '\"', 'null')")
                                 .arg(value);
        }
        return {};
    }
    QString differs(const QString& a, const QString& b) const {
        switch (engine) {
            case db::Engine::SQLite:
                return QStringLiteral("%1 IS NOT %2").arg(a, b);
            case db::Engine::PostgreSQL:
                return QStringLiteral("%1 IS DISTINCT FROM %2").arg(a, b);
            case db::Engine::SqlServer:
                return QStringLiteral(
                           "(%1 <> %2 OR (%1 IS NULL AND %2 IS NOT NULL) OR (%1 IS "
                           "NOT NULL AND %2 IS NULL))")
                    .arg(a, b);
        }
        return {};
    }
    // The text without its first character (the leading comma of the members).
    QString rest(const QString& text) const {
        return engine == db::Engine::SqlServer ? QStringLiteral("STUFF(%1, 1, 1, '')").arg(text)
                                               : QStringLiteral("substr(%1, 2)").arg(text);
    }
    QString number(const QString& value) const {
        return engine == db::Engine::SqlServer
                   ? QStringLiteral("CAST(%1 AS VARCHAR(11))").arg(value)
                   : QStringLiteral("CAST(%1 AS TEXT)").arg(value);
    }
};

QVector<int> changeableColumns(const QVector<bool>& present) {
    QVector<int> columns;
    for (int column = kCode + 1; column < registerRules().size(); ++column) {
        if (present[column]) {
            columns.append(column);
        }
    }
    return columns;
}

QString member(const Words& words, int column, const QString& alias) {
    const QString name = registerColumnName(column);
    return words.join({QStringLiteral("'\"%1\":'").arg(name),
                       words.json(alias + u'.' + name, registerRules()[column].number)});
}

// "DEVICETYPE=5,DEVICECODE=2", as the editor keys a device's rows.
QString keyOf(const Words& words, const QString& alias) {
    return words.join({QStringLiteral("'DEVICETYPE='"), words.number(alias + ".DEVICETYPE"),
                       QStringLiteral("',DEVICECODE='"), words.number(alias + ".DEVICECODE")});
}

// Every column of a device, as a new device's after-text.
QString wholeDevice(const Words& words, const QString& alias) {
    QStringList members;
    for (int column = 0; column < registerRules().size(); ++column) {
        members.append(member(words, column, alias));
        members.append(QStringLiteral("','"));
    }
    members.removeLast();
    return words.join(QStringList{QStringLiteral("'{'")} + members + QStringList{"'}'"});
}

// The columns that differ between d and s, each as ',"NAME":value' of `alias`'s, in one object.
QString changedColumns(const Words& words, const QVector<int>& columns, const QString& alias) {
    QStringList members;
    for (const int column : columns) {
        const QString name = registerColumnName(column);
        members.append(
            QStringLiteral("CASE WHEN %1 THEN %2 ELSE '' END")
                .arg(words.differs(QStringLiteral("d.") + name, QStringLiteral("s.") + name),
                     words.join({QStringLiteral("','"), member(words, column, alias)})));
    }
    return words.join({QStringLiteral("'{'"), words.rest(u'(' + words.join(members) + u')'),
                       QStringLiteral("'}'")});
}

QString anyChanged(const Words& words, const QVector<int>& columns) {
    QStringList changed;
    for (const int column : columns) {
        const QString name = registerColumnName(column);
        changed.append(words.differs(QStringLiteral("d.") + name, QStringLiteral("s.") + name));
    }
    return changed.isEmpty() ? QStringLiteral("1=0")
                             : u'(' + changed.join(QStringLiteral(" OR ")) + u')';
}

QString joined(const QString& staged) {
    return QStringLiteral(
               "%1 s LEFT JOIN DEVICE d ON d.DEVICETYPE=s.DEVICETYPE AND "
               "d.DEVICECODE=s.DEVICECODE")
        .arg(staged);
}

}  // namespace

QString ImportCounts::text() const {
    return QStringLiteral("共 %1 行：新增 %2 台，修改 %3 台，不变 %4 台")
        .arg(inserts + updates + unchanged)
        .arg(inserts)
        .arg(updates)
        .arg(unchanged);
}

ImportCounts logStagedDevices(db::Database& db, const QString& staged, const QVector<bool>& present,
                              int funcCode) {
    const Words words{db.engine()};
    const QVector<int> columns = changeableColumns(present);
    const QString changed = anyChanged(words, columns);
    ImportCounts counts;
    db.forEachRow(
        QStringLiteral("select count(*), count(d.DEVICETYPE), sum(CASE WHEN d.DEVICETYPE IS NOT "
                       "NULL AND %1 THEN 1 ELSE 0 END) from %2")
            .arg(changed, joined(staged)),
        {}, [&](const QVariantList& row) {
            const int rows = row[0].toInt();
            const int stored = row[1].toInt();
            counts = {rows - stored, row[2].toInt(), stored - row[2].toInt()};
        });
    const QString action = QStringLiteral("导入");
    logSelected(db, funcCode, action, QStringLiteral("DEVICE"),
                QStringLiteral("select %1 AS ROWKEY, '' AS BEFORETEXT, %2 AS AFTERTEXT from %3 "
                               "where d.DEVICETYPE IS NULL")
                    .arg(keyOf(words, QStringLiteral("s")), wholeDevice(words, QStringLiteral("s")),
                         joined(staged)));
    if (!columns.isEmpty()) {
        logSelected(
            db, funcCode, action, QStringLiteral("DEVICE"),
            QStringLiteral("select %1 AS ROWKEY, %2 AS BEFORETEXT, %3 AS AFTERTEXT from %4 "
                           "where d.DEVICETYPE IS NOT NULL AND %5")
                .arg(keyOf(words, QStringLiteral("s")),
                     changedColumns(words, columns, QStringLiteral("d")),
                     changedColumns(words, columns, QStringLiteral("s")), joined(staged), changed));
    }
    return counts;
}

void logLoadedRegister(db::Database& db, int funcCode) {
    const Words words{db.engine()};
    logSelected(
        db, funcCode, QStringLiteral("导入"), QStringLiteral("DEVICE"),
        QStringLiteral("select %1 AS ROWKEY, '' AS BEFORETEXT, %2 AS AFTERTEXT from "
                       "DEVICE s")
            .arg(keyOf(words, QStringLiteral("s")), wholeDevice(words, QStringLiteral("s"))));
}

}  // namespace tunnel::data
