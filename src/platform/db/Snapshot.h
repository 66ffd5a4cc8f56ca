#pragma once

namespace tunnel::db {

class Database;

// Reads made while it lives see one state of the database (Database::beginSnapshot); it ends
// with the scope, having written nothing.
class Snapshot {
public:
    explicit Snapshot(Database& db);
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    Database& db_;
};

}  // namespace tunnel::db
