#include "platform/db/OwnConnection.h"

#include "platform/db/Database.h"

namespace tunnel::db {

OwnConnection::OwnConnection(QString connectionString)
    : connectionString_(std::move(connectionString)) {}

OwnConnection::~OwnConnection() = default;

Database& OwnConnection::get() {
    if (!db_) {
        db_ = Database::open(connectionString_);
    }
    return *db_;
}

void OwnConnection::release() {
    db_.reset();
}

}  // namespace tunnel::db
