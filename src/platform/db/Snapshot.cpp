#include "platform/db/Snapshot.h"

#include "platform/db/Database.h"

namespace tunnel::db {

Snapshot::Snapshot(Database& db) : db_(db) {
    db_.beginSnapshot();
}

Snapshot::~Snapshot() {
    db_.rollback();
}

void Snapshot::keepTemporaryTables() {
    db_.commit();
}

}  // namespace tunnel::db
