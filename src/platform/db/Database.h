#pragma once

#include "platform/db/ConnectionString.h"
#include "platform/db/Engine.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <memory>

class QSqlError;

namespace tunnel::db {

class DbError;

// One named connection to the installation's database, never Qt's unnamed default: the module
// lives inside a host that may have its own. Closed when the last owner lets go.
class Database {
public:
    enum class OpenMode {
        Existing,        // an SQLite file must exist already
        CreateIfMissing  // an SQLite file is created (its folder must exist)
    };

    // A connection of its own. Throws DbError.
    static std::shared_ptr<Database> open(const QString& connectionString,
                                          OpenMode mode = OpenMode::Existing);

    // The connection that every query of the module on this connection string shares, opened
    // on first use and closed when the last query or window using it is gone. Throws DbError.
    static std::shared_ptr<Database> shared(const QString& connectionString);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Engine engine() const { return settings_.engine; }
    const ConnectionSettings& settings() const { return settings_; }
    QSqlDatabase handle() const;

    // The statement as the engine in use needs it.
    QString translate(const QString& sql) const;

    // Runs a statement that returns no rows. Throws DbError.
    void execute(const QString& sql);
    // The same with values bound to its "?" placeholders; returns the rows it affected.
    int execute(const QString& sql, const QVariantList& values);

    // Writes on SQLite begin with BEGIN IMMEDIATE: a deferred transaction that reads first and
    // then writes fails at once with "database is locked" instead of waiting for the lock.
    void begin();
    void commit();
    void rollback() noexcept;
    bool inTransaction() const { return inTransaction_; }

    // A DbError from a driver error, with any password taken out of its text.
    DbError errorFrom(const QSqlError& error, const QString& statement = {}) const;

private:
    Database(ConnectionSettings settings, QString connectionName);
    void connect(OpenMode mode);

    ConnectionSettings settings_;
    QString connectionName_;
    bool inTransaction_ = false;
};

}  // namespace tunnel::db
