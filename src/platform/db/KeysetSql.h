#pragma once

#include "platform/db/Engine.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <optional>

namespace tunnel::db {

// The order a grid reads its rows in: columns of the statement's result, all ascending or all
// descending. Ended by a key (the device key, say), it is total and rows are found again by
// their values; without one, rows with equal values are told apart by how many were read.
// NULL sorts where the engine puts it (first on SQLite and SQL Server, last on PostgreSQL in an
// ascending order), so that a plain index serves the order.
struct GridOrder {
    QStringList columns;
    bool descending = false;
};

// The leading column's rows fall in two runs, its NULLs and its values, read one run at a
// time so that an index on that column serves each run in order.
// From the start of the result a read takes both runs at once, in the engine's own order.
enum class NullRun { Nulls, Values, Both };

// One read of a grid's rows: at most `limit` rows (every row when it is negative) of the
// statement's result, in the order or against it, from the row whose order values are `from` on
// (inclusive), or from the start of the run `run` when there is no such row.
struct KeysetRead {
    bool forward = true;
    std::optional<QVariantList> from;
    NullRun run = NullRun::Nulls;
    int limit = 0;
};

// The run that follows `run` in that direction, if any.
std::optional<NullRun> nextRun(NullRun run, const GridOrder& order, bool forward, Engine engine);

// The run the row with these order values stands in.
NullRun runOf(const QVariantList& values);

// The statement as a derived table's body for the engine in use: translated, a trailing ";"
// and comments dropped, and, on SQL Server, an ORDER BY without TOP left out (the grid orders
// the rows itself). Throws DbError for a text of more than one statement.
QString gridSource(const QString& statement, Engine engine);

// A statement with values bound to its "?" placeholders.
struct BoundSql {
    QString sql;
    QVariantList values;
};

// What a grid's statements select from `source`, for the engine in use. On SQLite, where other
// programs store texts in bytes that are not always UTF-8, `fields` (the source's columns)
// are read with every text as its stored bytes (GridModel decodes them), and each order column
// again as `keyField(i)`: a batch resumes from exactly what is stored, never from a decoded
// text. Elsewhere the rows are read as they are.
struct GridSelect {
    QString source;
    Engine engine = Engine::SQLite;
    QStringList fields;
};
// The field that holds order column `i` as stored, where there is one.
QString keyField(int i);
bool isKeyField(const QString& field);

// The statement that makes the read. The boundary values are bound as read: the stored bytes
// of a text on SQLite, the value itself elsewhere.
BoundSql keysetSql(const GridSelect& select, const GridOrder& order, const KeysetRead& read);

// Several reads in one statement (PostgreSQL), so that a reload on a row or a batch that crosses
// into the NULL run costs one round trip: each read's rows in its order, the reads one after the
// other; every row ends with its read's number as `readField()` and its place in that read.
BoundSql keysetReadsSql(const GridSelect& select, const GridOrder& order,
                        const QVector<KeysetRead>& reads);
QString readField();
// How many fields keysetReadsSql adds after the ones keysetSql reads.
constexpr int kReadFields = 2;

// The whole result in the order, every field as the engine gives it (no key fields): for one
// statement that streams every row.
QString orderedSql(const GridSelect& select, const GridOrder& order);

// The engine's count of the statement's rows in one statement, as "N".
QString countSql(const GridSelect& select);

// A count by the engine, in steps along the order's leading column so that each is short: the
// leading value `chunk` rows after `after` (none: from the first value) as "B", no row when
// fewer remain; the rows with a leading value after `after` and up to `upTo` (either may be
// null: unbounded) as "N"; the rows whose leading value is NULL as "N".
BoundSql countBoundarySql(const GridSelect& select, const QString& leading, const QVariant& after,
                          int chunk);
BoundSql countRangeSql(const GridSelect& select, const QString& leading, const QVariant& after,
                       const QVariant& upTo);
BoundSql countNullsSql(const GridSelect& select, const QString& leading);

// The rows whose `fields` hold `values` (at most one when they are a key), read as keysetSql
// reads them.
BoundSql matchingRowsSql(const GridSelect& select, const GridOrder& order,
                         const QStringList& fields, const QVariantList& values);

// The first statement of a source, that reads no row and tells its fields.
QString fieldsProbeSql(const QString& source, Engine engine);

}  // namespace tunnel::db
