#include "data/SearchIndex.h"

#include "data/IndexedGrams.h"
#include "data/Schema.h"
#include "platform/db/Database.h"

namespace tunnel::data {
namespace {

// Two characters of a control code after each indexed text: every character of a text then
// begins one of the index's trigrams, so that a text of one or two characters is found among
// the trigrams that start with it.
const QString kTextEnd = QStringLiteral("char(1, 1)");

// The row of a device in the index: its key packed into one 64-bit number, so that a trigger
// finds it without a scan.
const QString kRow = QStringLiteral("(%1.DEVICETYPE * 4294967296 + (%1.DEVICECODE & 4294967295))");

const QString kColumns = QStringLiteral(
    "rowid, DEVICETYPE, DEVICECODE, CODETEXT, PHYSICS, COMMDATA, PHYSICSHEX, COMMDATAHEX");

// The bytes of a text that is not plain ASCII, in hex, after SQLite's upper() (which changes
// ASCII letters byte by byte): a text another program stored in GBK is found by its bytes,
// which a trigram of characters cannot read.
QString storedBytes(const QString& column) {
    return QStringLiteral("CASE WHEN %1 GLOB '*[^ -~]*' THEN hex(upper(%1)) END").arg(column);
}

QString indexedValues(const QString& side) {
    return QStringLiteral(
               "%1, %2.DEVICETYPE, %2.DEVICECODE, CAST(%2.DEVICECODE AS TEXT) || %5, "
               "%2.PHYSICS || %5, %2.COMMDATA || %5, %3, %4")
        .arg(kRow.arg(side), side, storedBytes(side + QStringLiteral(".PHYSICS")),
             storedBytes(side + QStringLiteral(".COMMDATA")), kTextEnd);
}

QString indexedRow(const QString& side) {
    return QStringLiteral("INSERT INTO DEVICE_SEARCH (%1) VALUES (%2);")
        .arg(kColumns, indexedValues(side));
}

// The version of today ends its texts (an earlier one had no stored bytes, or no ends).
bool indexIsCurrent(db::Database& db) {
    bool current = false;
    db.forEachRow(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND "
                                 "name = 'DEVICE_SEARCH_INSERT' AND instr(sql, ?) > 0"),
                  {kTextEnd}, [&](const QVariantList& row) { current = row[0].toInt() == 1; });
    return current;
}

QString removedRow(const QString& side) {
    return QStringLiteral("DELETE FROM DEVICE_SEARCH WHERE rowid = %1;").arg(kRow.arg(side));
}

// On PostgreSQL the index is of an expression, kept by the server for every program that
// writes the register. The pieces are made by a function of ours (a loop: 15 µs a device, where
// a statement of set functions took 26 to 41), costed high so that the
// planner never reckons on computing them for every device instead of asking the index, and
// kept to the session's own process (a search's count is over before helper processes would
// have started); the statistics made at once give the planner the share of devices each piece
// is held by.
QString serverIndexCreation() {
    return QStringLiteral("CREATE INDEX DEVICE_SEARCH ON DEVICE USING gin (%1)").arg(kIndexedGrams);
}

QStringList serverIndexStatements() {
    return {
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION DEVICE_SEARCH_GRAMS(CODE INTEGER, PHYSICS TEXT, COMMDATA "
            "TEXT) RETURNS TEXT ARRAY LANGUAGE plpgsql IMMUTABLE PARALLEL RESTRICTED COST 1000 AS "
            "'DECLARE t TEXT; grams TEXT ARRAY := ''{}''; n INTEGER; BEGIN FOREACH t IN ARRAY "
            "ARRAY[CAST(CODE AS TEXT), upper(PHYSICS), upper(COMMDATA)] LOOP CONTINUE WHEN t IS "
            "NULL; n := length(t); FOR i IN 1..n LOOP grams := grams || substr(t, i, 1); IF i < n "
            "THEN grams := grams || substr(t, i, 2); END IF; IF i < n - 1 THEN grams := grams || "
            "substr(t, i, 3); END IF; END LOOP; END LOOP; RETURN grams; END'"),
        serverIndexCreation(),
        QStringLiteral("ANALYZE DEVICE"),
    };
}

bool hasServerIndex(db::Database& db) {
    return serverIndexExists(db, QStringLiteral("DEVICE_SEARCH"));
}

}  // namespace

QStringList searchIndexStatements(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        return serverIndexStatements();
    }
    if (db.engine() != db::Engine::SQLite) {
        return {};
    }
    return {
        QStringLiteral("CREATE VIRTUAL TABLE DEVICE_SEARCH USING fts5(DEVICETYPE UNINDEXED, "
                       "DEVICECODE UNINDEXED, CODETEXT, PHYSICS, COMMDATA, PHYSICSHEX, "
                       "COMMDATAHEX, tokenize='trigram')"),
        QStringLiteral("INSERT INTO DEVICE_SEARCH (%1) SELECT %2 FROM DEVICE")
            .arg(kColumns, indexedValues(QStringLiteral("DEVICE"))),
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
    switch (db.engine()) {
        case db::Engine::SQLite:
            return db.hasTable(QStringLiteral("DEVICE_SEARCH"));
        case db::Engine::PostgreSQL:
            return hasServerIndex(db);
        case db::Engine::SqlServer:
            break;
    }
    return false;
}

TextSearch textSearchOf(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        return hasServerIndex(db) ? TextSearch::ServerIndex : TextSearch::Scan;
    }
    if (db.engine() != db::Engine::SQLite) {
        return TextSearch::Scan;
    }
    return hasSearchIndex(db) && indexIsCurrent(db) ? TextSearch::Index
                                                    : TextSearch::ScanStoredBytes;
}

bool addSearchIndex(db::Database& db) {
    const QStringList statements = searchIndexStatements(db);
    if (statements.isEmpty() ||
        (hasSearchIndex(db) && (db.engine() != db::Engine::SQLite || indexIsCurrent(db)))) {
        return false;
    }
    dropSearchIndex(db);  // one of an earlier version
    for (const QString& statement : statements) {
        db.execute(statement);
    }
    return true;
}

void dropSearchIndex(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        if (hasServerIndex(db)) {
            db.execute(QStringLiteral("DROP INDEX DEVICE_SEARCH"));
            db.execute(QStringLiteral("DROP FUNCTION DEVICE_SEARCH_GRAMS"));
        }
        return;
    }
    if (hasSearchIndex(db)) {
        for (const char* name :
             {"DEVICE_SEARCH_INSERT", "DEVICE_SEARCH_DELETE", "DEVICE_SEARCH_UPDATE"}) {
            db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QLatin1String(name)));
        }
        db.execute(QStringLiteral("DROP TABLE DEVICE_SEARCH"));
    }
}

bool dropServerSearchIndexForLoad(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL || !hasServerIndex(db)) {
        return false;
    }
    db.execute(QStringLiteral("DROP INDEX DEVICE_SEARCH"));
    return true;
}

// The statistics follow from the server's own analysis after so many rows (an ANALYZE here
// computed the pieces of a sample again: 0.7 s of a 100,000 devices' load).
void buildServerSearchIndexAfterLoad(db::Database& db) {
    db.execute(serverIndexCreation());
}

}  // namespace tunnel::data
