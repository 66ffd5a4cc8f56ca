#include "data/SearchIndex.h"

#include "data/IndexBesideWriters.h"
#include "data/IndexedGrams.h"
#include "data/Schema.h"
#include "platform/db/Database.h"

namespace tunnel::data {
namespace {

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

QString serverFunctionStatement() {
    return QStringLiteral(
        "CREATE OR REPLACE FUNCTION DEVICE_SEARCH_GRAMS(CODE INTEGER, PHYSICS TEXT, COMMDATA "
        "TEXT) RETURNS TEXT ARRAY LANGUAGE plpgsql IMMUTABLE PARALLEL RESTRICTED COST 1000 AS "
        "'DECLARE t TEXT; grams TEXT ARRAY := ''{}''; n INTEGER; BEGIN FOREACH t IN ARRAY "
        "ARRAY[CAST(CODE AS TEXT), upper(PHYSICS), upper(COMMDATA)] LOOP CONTINUE WHEN t IS "
        "NULL; n := length(t); FOR i IN 1..n LOOP grams := grams || substr(t, i, 1); IF i < n "
        "THEN grams := grams || substr(t, i, 2); END IF; IF i < n - 1 THEN grams := grams || "
        "substr(t, i, 3); END IF; END LOOP; END LOOP; RETURN grams; END'");
}

QStringList serverIndexStatements() {
    return {serverFunctionStatement(), serverIndexCreation(), QStringLiteral("ANALYZE DEVICE")};
}

bool hasServerIndex(db::Database& db) {
    return serverIndexExists(db, QStringLiteral("DEVICE_SEARCH"));
}

}  // namespace

QStringList searchIndexStatements(db::Database& db) {
    return db.engine() == db::Engine::PostgreSQL ? serverIndexStatements() : QStringList{};
}

bool hasSearchIndex(db::Database& db) {
    return db.engine() == db::Engine::PostgreSQL && hasServerIndex(db);
}

TextSearch textSearchOf(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        return hasServerIndex(db) ? TextSearch::ServerIndex : TextSearch::Scan;
    }
    return db.engine() == db::Engine::SQLite ? TextSearch::ScanStoredBytes : TextSearch::Scan;
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

bool addSearchIndexBesideWriters(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL || hasServerIndex(db)) {
        return false;
    }
    db.execute(serverFunctionStatement());
    buildIndexBesideWriters(db, QStringLiteral("DEVICE"), serverIndexCreation());
    db.execute(QStringLiteral("ANALYZE DEVICE"));
    return true;
}

void dropSearchIndex(db::Database& db) {
    if (hasSearchIndex(db)) {
        db.execute(QStringLiteral("DROP INDEX DEVICE_SEARCH"));
        db.execute(QStringLiteral("DROP FUNCTION DEVICE_SEARCH_GRAMS"));
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
