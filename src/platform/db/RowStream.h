#pragma once

#include "platform/db/RowCache.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tunnel::db {

// A statement's whole result read straight from the engine's own library on a connection of
// its own, in one snapshot, one row after another: for a walk through millions of rows (a CSV
// export), where the driver's per-value variants and a statement a batch cost more than the
// rows themselves.
class RowStream {
public:
    virtual ~RowStream() = default;
    const QStringList& fields() const { return fields_; }
    // Hands on at most `rows` rows, each value as the grid reads it; false once the result has
    // ended. Throws DbError.
    virtual bool read(int rows, const std::function<void(RowCache::Row&)>& take) = 0;

protected:
    QStringList fields_;
};

// The stream of the engine named by `connectionString` (SQLite, PostgreSQL); null where the
// engine has none (SQL Server). Throws DbError.
std::unique_ptr<RowStream> openRowStream(const QString& connectionString, const QString& sql);

}  // namespace tunnel::db
