#pragma once

#include "platform/db/Engine.h"

#include <QString>
#include <QStringList>

namespace tunnel::db {

// Rewrites a statement written in the SQL Server dialect for the engine in use, on tokens:
// `select top n ...` becomes `select ... limit n`, `[NAME]` a name the engine accepts, and a
// select-list item `alias= expr` becomes `expr AS alias`. String literals, quoted names and
// comments are never rewritten inside. SQL Server statements pass unchanged. A statement it
// cannot translate faithfully (an unterminated string or name, TOP in a branch of a UNION) is
// refused with a DbError.
QString translateSql(const QString& sql, Engine engine);

}  // namespace tunnel::db
