#pragma once

namespace tunnel::db {

class Database;

// Begins on construction; rolls back on leaving the scope unless committed, so an exception
// between the two never leaves half of the writes behind.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Database& db_;
    bool done_ = false;
};

}  // namespace tunnel::db
