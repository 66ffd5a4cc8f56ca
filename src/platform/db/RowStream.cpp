#include "platform/db/RowStream.h"

#include "platform/db/ConnectionString.h"
#include "platform/db/PostgresStream.h"
#include "platform/db/SqliteStream.h"

namespace tunnel::db {

std::unique_ptr<RowStream> openRowStream(const QString& connectionString, const QString& sql) {
    switch (ConnectionSettings::parse(connectionString).engine) {
        case Engine::SQLite:
            return std::make_unique<SqliteStream>(connectionString, sql);
        case Engine::PostgreSQL:
            return std::make_unique<PostgresStream>(connectionString, sql);
        case Engine::SqlServer:
            break;
    }
    return nullptr;
}

}  // namespace tunnel::db
