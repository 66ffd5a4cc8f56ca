#pragma once

#include <QString>
#include <QVariantList>

#include <memory>

class QSqlQuery;

namespace tunnel::db {

class Database;

// A statement written in the SQL Server dialect, prepared once on `db` and run many times with
// values bound to its "?" placeholders: for bulk writes, where preparing a statement of
// thousands of placeholders costs more than running it.
class PreparedStatement {
public:
    // Throws DbError.
    PreparedStatement(Database& db, const QString& sql);
    ~PreparedStatement();
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    // Throws DbError.
    void run(const QVariantList& values);

private:
    Database& db_;
    QString sql_;
    std::unique_ptr<QSqlQuery> query_;
};

}  // namespace tunnel::db
