#pragma once

#include <QString>
#include <QVariantList>

#include <functional>
#include <vector>

namespace tunnel::db {

class Database;

// Results read once a connection string and used again while the server says nothing of the
// tables under them changing, for the small catalogues every window reads as it opens: on
// PostgreSQL, where triggers on those tables notify a channel, a session of the cache's own
// listens there and is looked at without a round trip. Elsewhere, or without the triggers, read
// each time. Of the application's thread.
namespace keptResults {

using Rows = std::vector<QVariantList>;

// The rows of `sql` (written for the engine), read on `db` or kept from an earlier read while
// nothing came on `channel`. `announced` tells, on the listening session, whether the server
// notifies the channel at all. Throws DbError.
Rows rows(Database& db, const QString& sql, const QString& channel,
          const std::function<bool(Database& listening)>& announced);
// Lets go of every kept result and its listening session: when the module unloads, the
// application quits, or a database is dropped.
void closeAll();

}  // namespace keptResults
}  // namespace tunnel::db
