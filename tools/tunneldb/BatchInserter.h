#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tunnel::db {
class Database;
}

namespace tunnel::tools {

// Inserts rows given as ready value lists, many rows to one INSERT and many INSERTs to one
// transaction: a round trip per row would take hours for ten million rows on a server.
class BatchInserter {
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;

    BatchInserter(db::Database& db, const QString& table, const QString& columns, qint64 total,
                  Progress progress);
    ~BatchInserter();
    BatchInserter(const BatchInserter&) = delete;
    BatchInserter& operator=(const BatchInserter&) = delete;

    // `values` is the text between the brackets of one row: "1, 2, 'x'".
    void add(const QString& values);
    // Writes what is pending and commits. Must be called; the destructor rolls back the rest.
    void finish();

private:
    void flushStatement();
    void commitTransaction();

    db::Database& db_;
    QString prefix_;
    qint64 total_;
    Progress progress_;
    QStringList pending_;
    qint64 done_ = 0;
    qint64 inTransaction_ = 0;
    bool open_ = false;
};

}  // namespace tunnel::tools
