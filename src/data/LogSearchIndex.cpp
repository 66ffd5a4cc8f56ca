#include "data/LogSearchIndex.h"

#include "data/Schema.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/Transaction.h"
#include "platform/text/Json.h"
#include "platform/text/TextRules.h"

#include <algorithm>
#include <string>

namespace tunnel::data {
namespace {

const QString kTable = QStringLiteral("OPERLOG_SEARCH");
const QChar kSeparator = QChar(1);
// Every row written to the log is marked here by a trigger until its writer has entered it in
// the index: the rows of a writer that does not (a station still running an older version, a
// session that began before the index was made) are read by every search.
const QString kUnindexed = QStringLiteral("OPERLOG_UNINDEXED");

// A text held by this many rows is met among the newest rows at once; from the index all of them
// would be sorted first.
constexpr int kHeldByMany = 2000;
constexpr int kTrigram = 3;
// Rows entered by one statement when the index is filled.
constexpr int kRowsAStatement = 500;

// The tables whose changes the log records: their columns' names are the names in its texts.
const char* const kLoggedTables[] = {"DEVICE", "NGCONFIG", "PLCCONFIG", "AREA"};

// JSON's null is not held (a text that could be part of it is read in the rows, as the
// columns' names are): an import's new device has many.
const QString kNull = QStringLiteral("null");

// A before or after text's values; a text of an older version (or of no object) whole.
QString valuesOf(const QString& text) {
    const std::optional<QStringList> values = text::jsonObjectValues(text);
    if (!values) {
        return text;
    }
    QStringList held = *values;
    held.removeAll(kNull);
    return held.join(kSeparator);
}

// The words of a text's JSON that the index does not hold: the columns' names and null.
QStringList wordsNotHeld(db::Database& db) {
    QStringList names{kNull.toUpper()};
    for (const char* table : kLoggedTables) {
        if (db.hasTable(QLatin1String(table))) {
            for (const QString& name : db.columnsOf(QLatin1String(table))) {
                names.append(name.toUpper());
            }
        }
    }
    return names;
}

// Whether the index holds every place a search could find `text` in a row's texts: it holds a
// JSON text's values as written, so a text that reaches into the names or the punctuation
// around them is not answered for.
bool indexAnswersFor(db::Database& db, const QString& text) {
    if (text.toUcs4().size() < kTrigram || text::hasControlCharacter(text)) {
        return false;
    }
    for (const QChar c : {u'"', u'\\', u'{', u'}'}) {
        if (text.contains(c)) {
            return false;
        }
    }
    for (const QChar c : {u',', u':'}) {
        if (text.startsWith(c) || text.endsWith(c)) {
            return false;
        }
    }
    const QString upper = text.toUpper();
    const QStringList names = wordsNotHeld(db);
    return std::none_of(names.begin(), names.end(),
                        [&](const QString& name) { return name.contains(upper); });
}

// Every trigram of the text, each a phrase of the index's query language, all required.
QString everyTrigramOf(const QString& text) {
    const std::u32string characters = text.toStdU32String();
    QStringList trigrams;
    for (std::size_t i = 0; i + kTrigram <= characters.size(); ++i) {
        const QString trigram =
            u'"' + QString::fromStdU32String(characters.substr(i, kTrigram)) + u'"';
        if (!trigrams.contains(trigram)) {
            trigrams.append(trigram);
        }
    }
    return trigrams.join(QStringLiteral(" AND "));
}

bool heldByMany(db::Database& db, const QString& match) {
    int held = 0;
    db.forEachRow(QStringLiteral("select count(*) from (select rowid from %1 where %1 match ? "
                                 "limit %2) t")
                      .arg(kTable)
                      .arg(kHeldByMany),
                  {match}, [&](const QVariantList& row) { held = row[0].toInt(); });
    return held >= kHeldByMany;
}

void markIndexed(db::Database& db, qint64 firstId, qint64 lastId) {
    db.executeKept(QStringLiteral("DELETE FROM %1 WHERE LOGID BETWEEN ? AND ?").arg(kUnindexed),
                   {firstId, lastId});
}

// The entries of the log rows LOGID `ids` as they are now (STATION, OPERATOR, ROWKEY, BEFORETEXT,
// AFTERTEXT read by `select`), in statements of kRowsAStatement rows.
void enterRows(db::Database& db, const QString& select, QVariantList& ids) {
    QVariantList entries;
    const auto enter = [&] {
        if (!entries.isEmpty()) {
            db.execute(QStringLiteral("INSERT INTO %1 (rowid, T) VALUES ").arg(kTable) +
                           QStringList(entries.size() / 2, QStringLiteral("(?, ?)")).join(u','),
                       entries);
            entries.clear();
        }
    };
    db.forEachRow(select, {}, [&](const QVariantList& row) {
        ids.append(row[0]);
        entries += QVariantList{
            row[0], logSearchText(row[1].toString(), row[2].toString(), row[3].toString(),
                                  row[4].toString(), row[5].toString())};
        if (entries.size() / 2 == kRowsAStatement) {
            enter();
        }
    });
    enter();
}

void fillFromTheLog(db::Database& db) {
    QVariantList ids;
    enterRows(db,
              QStringLiteral("select LOGID, STATION, OPERATOR, ROWKEY, BEFORETEXT, AFTERTEXT from "
                             "OPERLOG order by LOGID"),
              ids);
}

// On PostgreSQL: a trigram index (pg_trgm) of a function of each row's texts, kept by the
// server for every writer, where the server has the extension (or lets the owner add it); the
// rows are read otherwise. As on SQLite the columns' names are left out of the before and after
// texts (an import's 100,000 rows took 10 s more to log with them, 3.8 s without), removed by
// `replace` (a regular expression cost 3.7 s itself), the texts lower-cased first (pg_trgm
// folds case anyway) so that a name is removed however a writer spelled it. The control
// character between the texts is one no search holds.
const QString kServerText =
    QStringLiteral("OPERLOG_SEARCH_TEXT(STATION, OPERATOR, ROWKEY, BEFORETEXT, AFTERTEXT)");

// The function's body, a text of a statement in quotes: the logged tables' columns' names, as
// JSON writes a key, removed from the before and after texts.
QString serverTextBody(db::Database& db) {
    QString texts =
        QStringLiteral("lower(COALESCE(BEFORETEXT, '''') || chr(1) || COALESCE(AFTERTEXT, ''''))");
    for (const QString& name : wordsNotHeld(db)) {
        if (name != kNull.toUpper()) {
            texts = QStringLiteral("replace(%1, ''\"%2\":'', '''')").arg(texts, name.toLower());
        }
    }
    return QStringLiteral(
               "'SELECT lower(COALESCE(STATION, '''') || chr(1) || COALESCE(OPERATOR, '''') || "
               "chr(1) || COALESCE(ROWKEY, '''')) || chr(1) || %1'")
        .arg(texts);
}

bool hasServerLogSearch(db::Database& db) {
    return serverIndexExists(db, kTable);
}

// The schema of the trigram operators, the extension added first where it is missing, the
// server has it and the session may add it (it is trusted: the database's CREATE right
// suffices); none otherwise.
std::optional<QString> trigramOperators(db::Database& db) {
    QString schema;
    bool addable = false;
    db.forEachRow(QStringLiteral(
                      "SELECT (SELECT n.nspname FROM pg_extension e JOIN pg_namespace n ON n.oid = "
                      "e.extnamespace WHERE e.extname = 'pg_trgm'), EXISTS (SELECT 1 FROM "
                      "pg_available_extensions WHERE name = 'pg_trgm') AND has_database_privilege("
                      "current_database(), 'CREATE')"),
                  {}, [&](const QVariantList& row) {
                      schema = row[0].toString();
                      addable = row[1].toBool();
                  });
    if (schema.isEmpty() && addable) {
        db.execute(QStringLiteral("CREATE EXTENSION pg_trgm"));
        return trigramOperators(db);
    }
    if (schema.isEmpty()) {
        return std::nullopt;
    }
    return schema;
}

bool addServerLogSearch(db::Database& db) {
    if (!db.hasTable(QStringLiteral("OPERLOG")) || hasServerLogSearch(db)) {
        return false;
    }
    const std::optional<QString> schema = trigramOperators(db);
    if (!schema) {
        return false;
    }
    QString quoted = *schema;
    quoted.replace(u'"', QStringLiteral("\"\""));
    db.execute(QStringLiteral("CREATE OR REPLACE FUNCTION OPERLOG_SEARCH_TEXT(STATION TEXT, "
                              "OPERATOR TEXT, ROWKEY TEXT, BEFORETEXT TEXT, AFTERTEXT TEXT) "
                              "RETURNS TEXT LANGUAGE sql IMMUTABLE PARALLEL SAFE AS %1")
                   .arg(serverTextBody(db)));
    db.execute(QStringLiteral("CREATE INDEX %1 ON OPERLOG USING gin (%2 \"%3\".gin_trgm_ops)")
                   .arg(kTable, kServerText, quoted));
    db.execute(QStringLiteral("ANALYZE OPERLOG"));
    return true;
}

// Whether pg_trgm finds a trigram in the search's pattern ("%text%"): it reads words of letters
// and digits, a word bounded by another character within the text padded by two blanks before
// and one after; a pattern without any would make the index read all of itself.
bool trigramsInPattern(const QString& text) {
    const std::u32string characters = text.toStdU32String();
    const auto isWord = [](char32_t c) { return QChar::isLetterOrNumber(c); };
    std::size_t at = 0;
    while (at < characters.size()) {
        if (!isWord(characters[at])) {
            ++at;
            continue;
        }
        const std::size_t start = at;
        while (at < characters.size() && isWord(characters[at])) {
            ++at;
        }
        const std::size_t padded =
            at - start + (start > 0 ? 2 : 0) + (at < characters.size() ? 1 : 0);
        if (padded >= kTrigram) {
            return true;
        }
    }
    return false;
}

// The server's index narrows a search for `text` unless it holds no trigram of it, the index
// is missing, or so many rows hold it that the newest come at once.
std::optional<QString> serverLogSearchCandidates(db::Database& db, const QString& text) {
    if (!indexAnswersFor(db, text) || !text::casedOnlyInAscii(text) || !trigramsInPattern(text)) {
        return std::nullopt;
    }
    const QString candidates =
        QStringLiteral("%1 ILIKE %2").arg(kServerText, db::likeContaining(text));
    int held = kHeldByMany;
    db.forEachRow(QStringLiteral("SELECT CASE WHEN to_regclass('operlog_search') IS NULL THEN %1 "
                                 "ELSE (SELECT count(*) FROM (SELECT 1 FROM OPERLOG WHERE %2 "
                                 "LIMIT %1) t) END")
                      .arg(kHeldByMany)
                      .arg(candidates),
                  {}, [&](const QVariantList& row) { held = row[0].toInt(); });
    if (held >= kHeldByMany) {
        return std::nullopt;
    }
    return candidates;
}

}  // namespace

QStringList logSearchStatements(db::Database& db) {
    if (db.engine() != db::Engine::SQLite) {
        return {};
    }
    return {QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(T, content='', detail='none', "
                           "columnsize=0, tokenize='trigram')")
                .arg(kTable),
            // Merged only when its segments pile up: an import enters 100,000 rows at once,
            // which incremental merging would make twice as dear.
            QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('automerge', 0)").arg(kTable),
            QStringLiteral("CREATE TABLE %1 (LOGID INTEGER PRIMARY KEY)").arg(kUnindexed),
            QStringLiteral("CREATE TRIGGER %1_MARK AFTER INSERT ON OPERLOG BEGIN INSERT OR "
                           "IGNORE INTO %1 VALUES (NEW.LOGID); END")
                .arg(kUnindexed)};
}

bool hasLogSearch(db::Database& db) {
    return db.engine() == db::Engine::SQLite && db.hasTableThisSession(kTable);
}

bool addLogSearch(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL) {
        return addServerLogSearch(db);
    }
    const QStringList statements = logSearchStatements(db);
    if (statements.isEmpty() || db.hasTable(kTable) || !db.hasTable(QStringLiteral("OPERLOG"))) {
        return false;
    }
    for (const QString& statement : statements) {
        db.execute(statement);
    }
    fillFromTheLog(db);
    return true;
}

void dropLogSearch(db::Database& db) {
    if (db.engine() == db::Engine::PostgreSQL && hasServerLogSearch(db)) {
        db.execute(QStringLiteral("DROP INDEX %1").arg(kTable));
        db.execute(QStringLiteral("DROP FUNCTION OPERLOG_SEARCH_TEXT"));
    }
    if (db.engine() != db::Engine::SQLite) {
        return;
    }
    db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1_MARK").arg(kUnindexed));
    db.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kUnindexed));
    db.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kTable));
}

QString logSearchText(const QString& station, const QString& operatorName, const QString& rowKey,
                      const QString& before, const QString& after) {
    return QStringList{station, operatorName, rowKey, valuesOf(before), valuesOf(after)}.join(
        kSeparator);
}

QString logSearchSeparator() {
    return QStringLiteral("char(1)");
}

void indexMadeRows(db::Database& db, const QString& made, qint64 before, int written,
                   const QString& station, const QString& operatorName) {
    db.execute(QStringLiteral("INSERT INTO %1 (rowid, T) SELECT ? + rowid, ? || ROWKEY || %2 || "
                              "SEARCHVALUES FROM %3")
                   .arg(kTable, logSearchSeparator(), made),
               {before, QStringList{station, operatorName, QString()}.join(kSeparator)});
    markIndexed(db, before + 1, before + written);
}

int indexUnindexedLogRows(db::Database& db) {
    if (!hasLogSearch(db)) {
        return 0;
    }
    int entered = 0;
    for (;;) {
        // A batch at a time, each a short write: other programs write the file meanwhile.
        db::Transaction batch(db);
        db.execute(QStringLiteral("DELETE FROM %1 WHERE LOGID NOT IN (select LOGID from OPERLOG)")
                       .arg(kUnindexed));
        QVariantList ids;
        enterRows(db,
                  QStringLiteral("select o.LOGID, o.STATION, o.OPERATOR, o.ROWKEY, o.BEFORETEXT, "
                                 "o.AFTERTEXT from OPERLOG o join %1 u on u.LOGID = o.LOGID order "
                                 "by o.LOGID limit %2")
                      .arg(kUnindexed)
                      .arg(kRowsAStatement),
                  ids);
        if (ids.isEmpty()) {
            batch.commit();
            return entered;
        }
        db.execute(QStringLiteral("DELETE FROM %1 WHERE LOGID IN (%2)")
                       .arg(kUnindexed, QStringList(ids.size(), QStringLiteral("?")).join(u',')),
                   ids);
        batch.commit();
        entered += static_cast<int>(ids.size());
    }
}

void indexLogRows(db::Database& db, qint64 firstId, const QStringList& texts) {
    QVariantList entries;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        entries += QVariantList{firstId + i, texts[i]};
    }
    db.executeKept(QStringLiteral("INSERT INTO %1 (rowid, T) VALUES ").arg(kTable) +
                       QStringList(texts.size(), QStringLiteral("(?, ?)")).join(u','),
                   entries);
    markIndexed(db, firstId, firstId + texts.size() - 1);
}

std::optional<QString> logSearchCandidates(const QString& connectionString, const QString& text) {
    const db::Engine engine = db::ConnectionSettings::parse(connectionString).engine;
    if (text::trimmed(text).isEmpty() ||
        (engine != db::Engine::SQLite && engine != db::Engine::PostgreSQL)) {
        return std::nullopt;
    }
    return logSearchCandidates(*db::Database::shared(connectionString), text);
}

std::optional<QString> logSearchCandidates(db::Database& db, const QString& text) {
    const QString wanted = text::trimmed(text);
    if (db.engine() == db::Engine::PostgreSQL) {
        return serverLogSearchCandidates(db, wanted);
    }
    if (!hasLogSearch(db) || !indexAnswersFor(db, wanted)) {
        return std::nullopt;
    }
    const QString match = everyTrigramOf(wanted);
    if (heldByMany(db, match)) {
        return std::nullopt;
    }
    return QStringLiteral(
               "(LOGID in (select rowid from %1 where %1 match %2) or LOGID in (select LOGID "
               "from %3))")
        .arg(kTable, db::sqlQuote(match), kUnindexed);
}

}  // namespace tunnel::data
