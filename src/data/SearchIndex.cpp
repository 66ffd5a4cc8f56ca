#include "data/SearchIndex.h"

#include "platform/db/Database.h"

namespace tunnel::data {
namespace {

// The row of a device in the index: its key packed into one 64-bit number, so that a trigger
// finds it without a scan.
const QString kRow = QStringLiteral("(%1.DEVICETYPE * 4294967296 + (%1.DEVICECODE & 4294967295))");

QString indexedRow(const QString& side) {
    return QStringLiteral(
               "INSERT INTO DEVICE_SEARCH (rowid, DEVICETYPE, DEVICECODE, CODETEXT, PHYSICS, "
               "COMMDATA) VALUES (%1, %2.DEVICETYPE, %2.DEVICECODE, CAST(%2.DEVICECODE AS TEXT), "
               "%2.PHYSICS, %2.COMMDATA);")
        .arg(kRow.arg(side), side);
}

QString removedRow(const QString& side) {
    return QStringLiteral("DELETE FROM DEVICE_SEARCH WHERE rowid = %1;").arg(kRow.arg(side));
}

}  // namespace

QStringList searchIndexStatements(db::Database& db) {
    if (db.engine() != db::Engine::SQLite) {
        return {};
    }
    return {
        QStringLiteral("CREATE VIRTUAL TABLE DEVICE_SEARCH USING fts5(DEVICETYPE UNINDEXED, "
                       "DEVICECODE UNINDEXED, CODETEXT, PHYSICS, COMMDATA, tokenize='trigram')"),
        QStringLiteral("INSERT INTO DEVICE_SEARCH (rowid, DEVICETYPE, DEVICECODE, CODETEXT, "
                       "PHYSICS, COMMDATA) SELECT %1, DEVICETYPE, DEVICECODE, CAST(DEVICECODE AS "
                       "TEXT), PHYSICS, COMMDATA FROM DEVICE")
            .arg(kRow.arg(QStringLiteral("DEVICE"))),
        QStringLiteral("CREATE TRIGGER DEVICE_SEARCH_INSERT AFTER INSERT ON DEVICE BEGIN ") +
            indexedRow(QStringLiteral("NEW")) + QStringLiteral(" END"),
        QStringLiteral("CREATE TRIGGER DEVICE_SEARCH_DELETE AFTER DELETE ON DEVICE BEGIN ") +
            removedRow(QStringLiteral("OLD")) + QStringLiteral(" END"),
        QStringLiteral("CREATE TRIGGER DEVICE_SEARCH_UPDATE AFTER UPDATE ON DEVICE BEGIN ") +
            removedRow(QStringLiteral("OLD")) + u' ' + indexedRow(QStringLiteral("NEW")) +
            QStringLiteral(" END"),
    };
}

bool hasSearchIndex(db::Database& db) {
    return db.engine() == db::Engine::SQLite && db.hasTable(QStringLiteral("DEVICE_SEARCH"));
}

bool addSearchIndex(db::Database& db) {
    const QStringList statements = searchIndexStatements(db);
    if (statements.isEmpty() || hasSearchIndex(db)) {
        return false;
    }
    for (const QString& statement : statements) {
        db.execute(statement);
    }
    return true;
}

void dropSearchIndex(db::Database& db) {
    if (hasSearchIndex(db)) {
        for (const char* name :
             {"DEVICE_SEARCH_INSERT", "DEVICE_SEARCH_DELETE", "DEVICE_SEARCH_UPDATE"}) {
            db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QLatin1String(name)));
        }
        db.execute(QStringLiteral("DROP TABLE DEVICE_SEARCH"));
    }
}

}  // namespace tunnel::data
