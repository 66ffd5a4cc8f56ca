#pragma once

#include "platform/db/Engine.h"

#include <QString>
#include <QStringList>

namespace tunnel::db {

// Rewrites a statement written in the SQL Server dialect for the engine in use, on tokens:
// `select top n ...` becomes `select ... limit n`, `[NAME]` a name the engine accepts, and a
// select-list item `alias= expr` becomes `expr AS alias`. String literals, quoted names and
// comments are never rewritten inside. SQL Server statements pass unchanged.
QString translateSql(const QString& sql, Engine engine);

// The rows of `sql` from `offset` on, at most `count` of them, in the order the statement
// fixes. The result is still to be translated.
QString pagedSql(const QString& sql, Engine engine, qint64 offset, int count);

// Only `fields` of the rows of `sql`, in the same order: a scan for a row's position reads two
// columns instead of every one.
QString projectedSql(const QString& sql, const QStringList& fields);

// A statement that counts the rows of `sql`, in a column named ROWS_COUNTED.
QString countSql(const QString& sql, Engine engine);

}  // namespace tunnel::db
