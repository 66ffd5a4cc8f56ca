#pragma once

namespace tunnel::db {

enum class Engine { SQLite, PostgreSQL, SqlServer };

}  // namespace tunnel::db
