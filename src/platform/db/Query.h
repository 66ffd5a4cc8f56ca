#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace tunnel::db {

class Database;

// A dataset as the windows use it: give it a statement (lines joined by line breaks), open it
// and stand on the first row, walk to the last, read columns by name (case-insensitively), or
// execute a statement that returns no rows. Every failure is a DbError.
class Query {
public:
    // Connects lazily, on the first open or execute, over the module's shared connection.
    explicit Query(QString connectionString);
    explicit Query(std::shared_ptr<Database> db);
    // Over a connection the caller keeps open for the query's life.
    explicit Query(Database& db);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    void setConnectionString(const QString& connectionString);
    void setSql(const QString& statement);
    void setSql(const QStringList& lines);
    const QString& sql() const { return sql_; }

    void open();
    // Returns the rows the statement affected.
    int execute();
    void close();

    bool isEmpty() const;  // open with no rows at all
    bool eof() const;      // walked past the last row (or no rows)
    void next();

    QVariant value(const QString& field) const;
    bool isNull(const QString& field) const;
    int integer(const QString& field) const;   // NULL reads as 0
    QString text(const QString& field) const;  // NULL reads as the empty text

    QStringList fieldNames() const;
    Database& database();

private:
    int indexOf(const QString& field) const;
    void requireRow() const;

    QString connectionString_;
    std::shared_ptr<Database> db_;
    QString sql_;
    std::optional<QSqlQuery> query_;
    QSqlRecord record_;
    mutable QHash<QString, int> fieldIndex_;
    bool empty_ = true;
    bool onRow_ = false;
};

}  // namespace tunnel::db
