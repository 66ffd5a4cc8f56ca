#pragma once

#include <QString>

#include <stdexcept>

namespace tunnel::db {

// The one error of the data layer. It carries the database's own text, its native code, whether
// it is a unique-key violation, and the statement that was run (never a password).
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message, const QString& nativeCode = {},
                     bool uniqueViolation = false, const QString& statement = {},
                     bool busy = false);

    const QString& message() const { return message_; }
    const QString& nativeCode() const { return nativeCode_; }
    bool isUniqueViolation() const { return uniqueViolation_; }
    // The statement gave up waiting for a lock another session holds: nothing is wrong with
    // it, and it may work once the other session lets go.
    bool isBusy() const { return busy_; }
    const QString& statement() const { return statement_; }

    // The text and the statement, for logs and consoles; an operator's box shows the statement
    // only in its details.
    QString report() const;

private:
    QString message_;
    QString nativeCode_;
    bool uniqueViolation_;
    QString statement_;
    bool busy_;
};

// A write that found no row to act on: another program changed or removed it meanwhile.
class RowGone : public DbError {
public:
    using DbError::DbError;
};

// The connection was lost while COMMIT was on its way: the server may have committed or not,
// and nothing here can tell which.
class CommitOutcomeUnknown : public DbError {
public:
    using DbError::DbError;
};

}  // namespace tunnel::db
