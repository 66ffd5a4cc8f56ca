#include "data/RegisterLog.h"

#include "data/DeviceRegister.h"
#include "data/LogSearchIndex.h"
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
                return QStringLiteral("stored_text_json(%1)").arg(value);
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
                // As the texts the windows show: another program's GBK bytes are the same text
                // as the file's UTF-8.
                return QStringLiteral("stored_text(%1) IS NOT stored_text(%2)").arg(a, b);
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

// How a statement names a device's values before the import (stored) and in the file (staged).
struct Sides {
    QString stored;  // a prefix: "d." for the joined register, "d_" for its columns carried along
    QString staged;

    QString before(const QString& name) const { return stored + name; }
    QString after(const QString& name) const { return staged + name; }
};

const Sides kJoined{QStringLiteral("d."), QStringLiteral("s.")};

QString member(const Words& words, int column, const QString& value) {
    return words.join({QStringLiteral("'\"%1\":'").arg(registerColumnName(column)),
                       words.json(value, registerRules()[column].number)});
}

// A column's value as the log's search index holds it: as the member writes it, without its
// name; nothing for a null.
QString searchedValue(const Words& words, int column, const QString& value) {
    return QStringLiteral("CASE WHEN %1 IS NULL THEN '' ELSE %2 END")
        .arg(value,
             words.join({logSearchSeparator(), words.json(value, registerRules()[column].number)}));
}

// "DEVICETYPE=5,DEVICECODE=2", as the editor keys a device's rows.
QString keyOf(const Words& words, const Sides& sides) {
    return words.join({QStringLiteral("'DEVICETYPE='"), words.number(sides.after("DEVICETYPE")),
                       QStringLiteral("',DEVICECODE='"), words.number(sides.after("DEVICECODE"))});
}

// Every column of a device, as a new device's after-text.
QString wholeDevice(const Words& words, const Sides& sides) {
    QStringList members;
    for (int column = 0; column < registerRules().size(); ++column) {
        members.append(member(words, column, sides.after(registerColumnName(column))));
        members.append(QStringLiteral("','"));
    }
    members.removeLast();
    return words.join(QStringList{QStringLiteral("'{'")} + members + QStringList{"'}'"});
}

QString columnDiffers(const Words& words, const Sides& sides, int column) {
    const QString name = registerColumnName(column);
    return words.differs(sides.before(name), sides.after(name));
}

// The columns whose values differ, each as "NAME":value of before or after, in one object.
QString changedColumns(const Words& words, const Sides& sides, const QVector<int>& columns,
                       bool after) {
    if (columns.isEmpty()) {
        return QStringLiteral("''");  // a file of keys only changes nothing
    }
    QStringList members;
    for (const int column : columns) {
        const QString name = registerColumnName(column);
        members.append(
            QStringLiteral("CASE WHEN %1 THEN %2 ELSE '' END")
                .arg(columnDiffers(words, sides, column),
                     words.join(
                         {QStringLiteral("','"),
                          member(words, column, after ? sides.after(name) : sides.before(name))})));
    }
    return words.join({QStringLiteral("'{'"), words.rest(u'(' + words.join(members) + u')'),
                       QStringLiteral("'}'")});
}

// The values of the columns whose values differ, before then after, for the search index.
QString changedValues(const Words& words, const Sides& sides, const QVector<int>& columns) {
    QStringList values;
    for (const bool after : {false, true}) {
        for (const int column : columns) {
            const QString name = registerColumnName(column);
            values.append(QStringLiteral("CASE WHEN %1 THEN %2 ELSE '' END")
                              .arg(columnDiffers(words, sides, column),
                                   searchedValue(words, column,
                                                 after ? sides.after(name) : sides.before(name))));
        }
    }
    return values.isEmpty() ? QStringLiteral("''") : words.join(values);
}

QString wholeDeviceValues(const Words& words, const Sides& sides) {
    QStringList values;
    for (int column = 0; column < registerRules().size(); ++column) {
        values.append(searchedValue(words, column, sides.after(registerColumnName(column))));
    }
    return words.join(values);
}

// The select's last column for the log's search index, where the database has one.
QString searchValues(db::Database& db, const QString& values) {
    return hasLogSearch(db) ? QStringLiteral(", %1 AS SEARCHVALUES").arg(values) : QString();
}

QString anyChanged(const Words& words, const Sides& sides, const QVector<int>& columns) {
    QStringList changed;
    for (const int column : columns) {
        changed.append(columnDiffers(words, sides, column));
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

namespace {

// The log's rows of the staged devices against the register as it is.
QString stagedLogSelect(db::Database& db, const Words& words, const QString& staged,
                        const QVector<int>& columns) {
    return QStringLiteral(
               "select %1 AS ROWKEY, CASE WHEN d.DEVICETYPE IS NULL THEN '' ELSE %2 END AS "
               "BEFORETEXT, CASE WHEN d.DEVICETYPE IS NULL THEN %3 ELSE %4 END AS AFTERTEXT%5 "
               "from %6")
        .arg(keyOf(words, kJoined), changedColumns(words, kJoined, columns, false),
             wholeDevice(words, kJoined), changedColumns(words, kJoined, columns, true),
             searchValues(db, QStringLiteral("CASE WHEN d.DEVICETYPE IS NULL THEN %1 ELSE %2 END")
                                  .arg(wholeDeviceValues(words, kJoined),
                                       changedValues(words, kJoined, columns))),
             joined(staged));
}

// A staged device the register holds already with the file's values.
QString unchangedCondition(const Words& words, const QString& staged, const QVector<int>& columns) {
    const Sides staying{QStringLiteral("d."), staged + u'.'};
    return QStringLiteral(
               "EXISTS (select 1 from DEVICE d where d.DEVICETYPE=%1.DEVICETYPE AND "
               "d.DEVICECODE=%1.DEVICECODE AND NOT %2)")
        .arg(staged, anyChanged(words, staying, columns));
}

void countChanging(db::Database& db, const QString& staged, ImportCounts& counts) {
    db.forEachRow(
        QStringLiteral("select count(*), count(d.DEVICETYPE) from %1").arg(joined(staged)), {},
        [&](const QVariantList& row) {
            counts.updates = row[1].toInt();
            counts.inserts = row[0].toInt() - counts.updates;
        });
}

}  // namespace

ImportCounts logStagedDevices(db::Database& db, const QString& staged, const QVector<bool>& present,
                              int funcCode) {
    const Words words{db.engine()};
    const QVector<int> columns = changeableColumns(present);
    ImportCounts counts;
    // A device the file leaves as it is goes before anything else is done (a file imported
    // again is mostly such devices): what stays is added or changed, and only it is logged and
    // written.
    counts.unchanged = db.execute(QStringLiteral("DELETE FROM %1 WHERE %2")
                                      .arg(staged, unchangedCondition(words, staged, columns)));
    countChanging(db, staged, counts);
    logSelected(db, funcCode, QStringLiteral("导入"), QStringLiteral("DEVICE"),
                stagedLogSelect(db, words, staged, columns));
    return counts;
}

ImportCounts prepareStagedLog(db::Database& db, const QString& staged, const QString& changing,
                              const QVector<bool>& present) {
    const Words words{db.engine()};
    const QVector<int> columns = changeableColumns(present);
    ImportCounts counts;
    db.execute(QStringLiteral("DROP TABLE IF EXISTS temp.") + changing);
    // A text another program stored in GBK that the file holds as the same text keeps its
    // bytes, which that program reads.
    QStringList picked;
    for (int column = 0; column < registerRules().size(); ++column) {
        picked.append((registerRules()[column].number
                           ? QStringLiteral("s.%1 AS %1")
                           : QStringLiteral("CASE WHEN stored_text(d.%1) IS stored_text(s.%1) "
                                            "THEN d.%1 ELSE s.%1 END AS %1"))
                          .arg(registerColumnName(column)));
    }
    db.execute(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT %2 FROM %3 s LEFT JOIN DEVICE d ON "
                              "d.DEVICETYPE=s.DEVICETYPE AND d.DEVICECODE=s.DEVICECODE WHERE NOT "
                              "%4")
                   .arg(changing, picked.join(u','), staged,
                        unchangedCondition(words, QStringLiteral("s"), columns)));
    db.forEachRow(QStringLiteral("select (select count(*) from %1) - (select count(*) from %2)")
                      .arg(staged, changing),
                  {}, [&](const QVariantList& row) { counts.unchanged = row[0].toInt(); });
    countChanging(db, changing, counts);
    if (hasLog(db)) {
        makeLogRows(db, stagedLogSelect(db, words, changing, columns));
    }
    return counts;
}

void logLoadedRegister(db::Database& db, int funcCode) {
    const Words words{db.engine()};
    const Sides loaded{QString(), QStringLiteral("s.")};
    logSelected(db, funcCode, QStringLiteral("导入"), QStringLiteral("DEVICE"),
                QStringLiteral("select %1 AS ROWKEY, '' AS BEFORETEXT, %2 AS AFTERTEXT%3 from "
                               "DEVICE s")
                    .arg(keyOf(words, loaded), wholeDevice(words, loaded),
                         searchValues(db, wholeDeviceValues(words, loaded))));
}

}  // namespace tunnel::data
