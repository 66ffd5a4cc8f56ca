#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

namespace tunnel::db {
class CopyIn;
class Database;
}  // namespace tunnel::db

namespace tunnel::tools {

// Inserts rows of bound values through one prepared statement of many rows (on PostgreSQL,
// streams them through COPY), in few transactions: a round trip, a parse or a commit per row
// would take hours for ten million rows. Into a table that was empty, the whole load is one
// transaction and the table's indexes are built once, after the rows.
class BatchInserter {
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;

    BatchInserter(db::Database& db, const QString& table, const QStringList& columns, qint64 total,
                  Progress progress);
    ~BatchInserter();
    BatchInserter(const BatchInserter&) = delete;
    BatchInserter& operator=(const BatchInserter&) = delete;

    // One row's values, in the columns' order.
    void add(const QVariantList& row);
    // Writes what is pending, commits and builds the indexes dropped for the load. Must be
    // called; the destructor rolls back the rest.
    void finish();

private:
    QString insertStatement(int rows) const;
    void addToBatch(const QVariantList& row);
    void flush();
    void commitTransaction();
    void open();
    void counted(qint64 rows);

    db::Database& db_;
    QString table_;
    QStringList columns_;
    qint64 total_;
    Progress progress_;
    bool wholeLoadInOneTransaction_;
    QStringList indexesToBuild_;
    QString fullStatement_;
    std::optional<QSqlQuery> full_;     // prepared for a full batch of rows
    std::unique_ptr<db::CopyIn> copy_;  // PostgreSQL: the rows of the open transaction
    QVariantList pending_;
    qint64 pendingRows_ = 0;
    qint64 done_ = 0;
    qint64 inTransaction_ = 0;
    bool open_ = false;
};

}  // namespace tunnel::tools
