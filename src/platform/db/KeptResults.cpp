#include "platform/db/KeptResults.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/SessionPool.h"

#include <QCoreApplication>

#include <map>
#include <memory>
#include <utility>

namespace tunnel::db::keptResults {
namespace {

// What is kept for one channel of one connection string.
struct Listener {
    std::shared_ptr<Database> session;
    bool announced = false;
    std::map<QString, Rows> results;  // by statement
};

using Listeners = std::map<std::pair<QString, QString>, Listener>;

// Made with the first listener and gone with closeAll(), never with the program's statics: a
// session closed after Qt's SQL drivers are gone would crash.
Listeners* listeners = nullptr;

Rows read(Database& db, const QString& sql) {
    Rows rows;
    db.forEachRow(
        sql, {}, [&](const QVariantList& row) { rows.push_back(row); },
        Database::Written::ForEngine);
    return rows;
}

Listener& listenerFor(const QString& connectionString, const QString& channel,
                      const std::function<bool(Database&)>& announced) {
    if (listeners == nullptr) {
        listeners = new Listeners;
        qAddPostRoutine(&closeAll);
    }
    Listener& listener = (*listeners)[{connectionString, channel}];
    if (!listener.session) {
        // Listening before the first read: a change the read misses is heard.
        listener.session = Database::open(connectionString);
        listener.announced = announced(*listener.session);
        listener.session->listenQuietly(channel);
    }
    return listener;
}

}  // namespace

Rows rows(Database& db, const QString& sql, const QString& channel,
          const std::function<bool(Database& listening)>& announced) {
    if (db.engine() != Engine::PostgreSQL || db.connectionString().isEmpty() ||
        !sessionPool::onApplicationThread()) {
        return read(db, sql);
    }
    const std::pair key{db.connectionString(), channel};
    Listener* found = nullptr;
    try {
        found = &listenerFor(db.connectionString(), channel, announced);
    } catch (const DbError&) {
        // Without a listening session nothing is kept: the read itself says what is wrong.
        listeners->erase(key);
        return read(db, sql);
    }
    Listener& listener = *found;
    if (!listener.announced) {
        return read(db, sql);
    }
    const std::optional<int> heard = listener.session->takeNotices(channel);
    if (!heard) {
        listeners->erase(key);  // listened again, on a new session, at the next read
        return read(db, sql);
    }
    if (*heard > 0) {
        listener.results.clear();
    }
    const auto kept = listener.results.find(sql);
    if (kept != listener.results.end()) {
        return kept->second;
    }
    return listener.results[sql] = read(db, sql);
}

void closeAll() {
    if (listeners != nullptr) {
        qRemovePostRoutine(&closeAll);
    }
    delete std::exchange(listeners, nullptr);
}

}  // namespace tunnel::db::keptResults
