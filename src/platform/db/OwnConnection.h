#pragma once

#include <QString>

#include <memory>

namespace tunnel::db {

class Database;

// A window's connection of its own, apart from the module's shared one: for a window whose
// writes go in transactions of their own (a transaction on the shared connection would take in
// every other window's statements). Opened on first use; after a failed transaction the window
// may let it go, and the next use opens a fresh one.
class OwnConnection {
public:
    explicit OwnConnection(QString connectionString);
    ~OwnConnection();
    OwnConnection(const OwnConnection&) = delete;
    OwnConnection& operator=(const OwnConnection&) = delete;

    // Throws DbError when it cannot be opened.
    Database& get();
    void release();

private:
    QString connectionString_;
    std::shared_ptr<Database> db_;
};

}  // namespace tunnel::db
