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

    // SQLite: ends the snapshot keeping what it wrote to TEMP tables of the connection's own
    // (work made from one state of the file, without its write lock); the file itself is never
    // written in a snapshot.
    void keepTemporaryTables();

private:
    Database& db_;
};

}  // namespace tunnel::db
