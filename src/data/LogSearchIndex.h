#pragma once

#include <QStringList>

#include <optional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// On SQLite, an index of the operation log's texts, so that a text looked for in a year of the
// log is found without reading every row's five texts: a trigram index (FTS5, the trigram
// tokenizer, no positions kept) of each row's station, operator, key and the values of its
// before and after texts. The columns' names in those texts are left out: they are most of an
// import's row, and indexing them would cost an import as much again; a text that could match
// them is read in the rows instead. The module's writers write a row's entry in the transaction
// that writes the row (OperationLog.h); no other program writes the log. On PostgreSQL, with the
// server's pg_trgm extension, a trigram index of an expression of each row's five texts, which
// the server keeps (`addLogSearch` adds the extension where the session may). SQL Server has
// none.
QStringList logSearchStatements(db::Database& db);
// Whether the module's writers enter their rows in the index (SQLite's); asked once a
// session, as the log table itself.
bool hasLogSearch(db::Database& db);
// Creates the index and enters the rows the log holds, when the engine has one and it is
// missing; returns whether it did. Inside the caller's transaction. Throws DbError.
bool addLogSearch(db::Database& db);
void dropLogSearch(db::Database& db);

// Enters the rows the index lacks (marked unindexed: written by another program, an older
// station, or a writer that left before entering them), a few hundred at a time, each batch a
// transaction of its own; returns how many. SQLite's index only. Throws DbError.
int indexUnindexedLogRows(db::Database& db);

// What the index holds of a log row.
QString logSearchText(const QString& station, const QString& operatorName, const QString& rowKey,
                      const QString& before, const QString& after);
// Enters the rows LOGID firstId, firstId + 1, ... that hold `texts` (logSearchText), and marks
// them entered. Throws DbError.
void indexLogRows(db::Database& db, qint64 firstId, const QStringList& texts);
// The same for the rows of table `made` (ROWKEY, SEARCHVALUES), written to the log as LOGID
// `before` + their rowid, `written` of them, by the station and operator. Throws DbError.
void indexMadeRows(db::Database& db, const QString& made, qint64 before, int written,
                   const QString& station, const QString& operatorName);
// The separator of a row's parts in what the index holds, for a statement that makes it.
QString logSearchSeparator();

// A condition on OPERLOG that narrows a search for `text` (anywhere in the station, the
// operator, the key, the before or the after text, case-insensitive, as the log window looks)
// to the rows the index holds it in; the search's own conditions still decide. None where the
// rows are better read: no index, a text the index cannot answer for (under three characters,
// with JSON's punctuation, or part of a column's name), or one held by so many rows that the
// newest of them come at once. Throws DbError.
std::optional<QString> logSearchCandidates(db::Database& db, const QString& text);
// The same over the database of a connection string, connected to only where it has the index.
std::optional<QString> logSearchCandidates(const QString& connectionString, const QString& text);

}  // namespace tunnel::data
