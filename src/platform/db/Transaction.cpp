#include "platform/db/Transaction.h"

#include "platform/db/Database.h"

namespace tunnel::db {

Transaction::Transaction(Database& db) : db_(db) {
    db_.begin();
}

Transaction::~Transaction() {
    if (!done_) {
        db_.rollback();
    }
}

void Transaction::commit() {
    db_.commit();
    done_ = true;
}

}  // namespace tunnel::db
