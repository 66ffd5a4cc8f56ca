#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariantList>

namespace tunnel::db {

class Database;

// COPY ... FROM STDIN on a PostgreSQL connection, through libpq: rows go to the server as a
// stream of text lines, at the rate of the server's own bulk load. Inside the caller's
// transaction; finish ends it, and a copy not finished is cancelled.
class CopyIn {
public:
    // Starts the copy. Throws DbError.
    CopyIn(Database& db, const QString& table, const QStringList& columns);
    ~CopyIn();
    CopyIn(const CopyIn&) = delete;
    CopyIn& operator=(const CopyIn&) = delete;

    // One row's values, in the columns' order. Throws DbError.
    void add(const QVariantList& row);
    // A row cell by cell in the columns' order, then endRow(): for rows a caller holds in its
    // own form rather than as variants (no variant and no string made for a number). endRow
    // throws DbError.
    void addNull();
    void addNumber(qint64 value);
    void addText(QStringView text);
    void endRow();
    // Sends what is left and ends the copy; throws DbError with the server's text if it refused
    // any row.
    void finish();

private:
    void send();
    void separate();

    void* connection_;  // the session's PGconn
    QString statement_;
    QByteArray buffer_;
    bool open_ = false;
    bool rowStarted_ = false;
};

}  // namespace tunnel::db
