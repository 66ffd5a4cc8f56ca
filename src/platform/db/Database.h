#pragma once

#include "platform/db/ConnectionString.h"
#include "platform/db/Engine.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

class QSqlError;
class QThread;

namespace tunnel::db {

class DbError;
class StandbyJudge;
class StandbyWatch;

// One named connection to the installation's database, never Qt's unnamed default: the module
// lives inside a host that may have its own. Closed when the last owner lets go.
//
// Servers restart and sessions are ended under a window that stays open for hours: a statement
// that finds the connection lost fails with a text that says so, and the next statement
// outside a transaction opens the connection afresh. A statement is never repeated by itself:
// whether a write that met a lost connection was done cannot be known here.
class Database {
public:
    // How a statement is written: in the installation's SQL Server dialect (translated for the
    // engine in use before it runs), or already for the engine in use.
    enum class Written { SqlServer, ForEngine };

    enum class OpenMode {
        Existing,        // an SQLite file must exist already
        CreateIfMissing  // an SQLite file is created (its folder must exist)
    };

    // A connection of its own; to a server, a session kept since an earlier owner let it go
    // where there is one (SessionPool.h). Throws DbError.
    static std::shared_ptr<Database> open(const QString& connectionString,
                                          OpenMode mode = OpenMode::Existing);

    // A session kept since an earlier owner let it go (SessionPool.h), never a new one; null
    // when there is none.
    static std::shared_ptr<Database> kept(const QString& connectionString);

    // Hands the session to another thread, from the thread it belongs to (a session is used by
    // one thread at a time). Returns whether it moved.
    bool moveToThread(QThread* thread);
    QThread* thread() const { return thread_; }

    // The connection that every query of the module on this connection string shares, opened
    // on first use and closed when the last query or window using it is gone. Throws DbError.
    static std::shared_ptr<Database> shared(const QString& connectionString);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Engine engine() const { return settings_.engine; }
    const ConnectionSettings& settings() const { return settings_; }
    // The text the session was opened with.
    const QString& connectionString() const { return connectionString_; }

    // The statement as the engine in use needs it.
    QString translate(const QString& sql) const;
    // A value as it is bound to a "?" placeholder on the engine in use.
    QVariant boundValue(const QVariant& value) const;

    // Runs a statement that returns rows and stands before its first row. On PostgreSQL a
    // forward-only result streams over the connection and the next statement on it cuts the
    // result off: read it whole first, or ask for a result that is not forward-only. Throws
    // DbError.
    QSqlQuery select(const QString& sql, Written written = Written::SqlServer,
                     bool forwardOnly = true);
    // The same, forward-only, with `values` bound to its "?" placeholders.
    QSqlQuery select(const QString& sql, const QVariantList& values, Written written);
    // The same, for a read made again and again in a session (a grid's batches): on PostgreSQL
    // prepared once and kept for the session, among the last few such statements, so that a
    // batch costs one round trip and is not planned afresh (planning over many partitions
    // costs more than reading a batch); the session's prepared statements are from then on
    // planned once, generically (pruning partitions as they run). The result stays the
    // session's until the next such read: read it, then finish() it, before the next
    // statement.
    QSqlQuery& selectKept(const QString& sql, const QVariantList& values);
    // The next row of a result from select; false at its end. Throws DbError for a row that
    // could not be read.
    bool next(QSqlQuery& result, const QString& sql);

    // Runs a statement that returns no rows; returns the rows it affected. Throws DbError.
    int execute(const QString& sql);
    // The same with values bound to its "?" placeholders.
    int execute(const QString& sql, const QVariantList& values);

    // Runs a statement that returns rows (written in the SQL Server dialect unless said
    // otherwise, `values` bound to its "?" placeholders) and hands each row's values, in the
    // select list's order, to `take`. Throws DbError.
    void forEachRow(const QString& sql, const QVariantList& values,
                    const std::function<void(const QVariantList& row)>& take,
                    Written written = Written::SqlServer);
    // The same, until `take` returns false. Throws DbError.
    void forEachRowWhile(const QString& sql, const QVariantList& values,
                         const std::function<bool(const QVariantList& row)>& take,
                         Written written = Written::SqlServer);
    // The names of a table's columns, in their order. Throws DbError.
    QStringList columnsOf(const QString& table);

    // Whether the table exists, asked once a session: for checks made at every change (a table
    // added meanwhile is seen from the next session on).
    bool hasTableThisSession(const QString& table);
    // Runs a statement that returns no rows with `values` bound, prepared once a session and
    // kept: for the small statements run at every change. Throws DbError.
    int executeKept(const QString& sql, const QVariantList& values);

    // A statement prepared once, for running many times with values bound to its "?"
    // placeholders (bulk loads), and one run of it. Both throw DbError.
    QSqlQuery prepare(const QString& sql);
    void run(QSqlQuery& prepared, const QString& sql);

    bool hasTable(const QString& table);
    // The libpq session (PGconn*) of a PostgreSQL connection, for what Qt's driver does not
    // offer (a bulk COPY); null on the other engines.
    void* postgresConnection();
    // The SQLite connection (sqlite3*) of an SQLite connection, for reading a result straight
    // from the library; null on the other engines.
    void* sqliteConnection();
    // Whether the session is on a hot standby (a connection for the reads of history).
    bool onStandby() const { return onStandby_; }
    // Whether a statement found the connection lost; the next use outside a transaction
    // reopens it.
    bool isLost() const { return lost_; }
    // Whether the session still stands as far as can be told without asking the server: a
    // server that ended it has said so, or closed it, by now.
    bool stillConnected();
    // Handed to a new owner: what a session knows of the tables is asked afresh, as on a new
    // session (a table may have come or gone while it was kept).
    void handOver() { knownTables_.clear(); }
    // Ends the results of kept statements that were not read to their end, as a session must
    // be before a new owner's first statement (on PostgreSQL such a result holds the session).
    void finishResults();

    // Writes on SQLite begin with BEGIN IMMEDIATE: a deferred transaction that reads first and
    // then writes fails at once with "database is locked" instead of waiting for the lock.
    void begin();
    // A transaction that only reads, every statement of it in one snapshot of the database
    // (what other programs write meanwhile stays out of it); ended by rollback. On SQLite in
    // WAL mode a deferred transaction is that; PostgreSQL and SQL Server are asked for it
    // (SQL Server needs ALLOW_SNAPSHOT_ISOLATION, and otherwise reads each statement's state).
    void beginSnapshot();
    void commit();
    void rollback() noexcept;
    bool inTransaction() const { return inTransaction_; }

    // A DbError from a driver error, with any password taken out of its text.
    DbError errorFrom(const QSqlError& error, const QString& statement = {}) const;

private:
    Database(ConnectionSettings settings, QString connectionName);
    void connect(OpenMode mode);
    QSqlDatabase handle() const;
    // The session's libpq connection as it stands (never opened afresh); null elsewhere.
    void* rawPostgresConnection() const;
    // The connection for the next statement: reopened first when it was lost and no
    // transaction is open on it.
    QSqlDatabase usable();
    void reopen();
    // Runs the statement kept as `sql` (prepared from `engineSql` at its first run) with
    // `values` bound. Throws DbError, and then forgets it.
    QSqlQuery& runKept(const QString& sql, const QString& engineSql, const QVariantList& values);
    // PostgreSQL's kept statements: named on the server, made there with their first run.
    QSqlQuery& runNamed(const QString& sql, const QString& engineSql, const QVariantList& values);
    // Lets go of a kept statement; on PostgreSQL its server statement goes with the next one made.
    void forgetKept(const QString& sql);
    // A value as a literal of the engine's SQL, as its driver writes it.
    QString literalOf(const QVariant& value) const;
    // Values as literals of the engine's SQL, as bound.
    QStringList literalsOf(const QVariantList& values) const;
    // The statement (written for the engine) with `values` written in for its placeholders.
    QString inlined(const QString& engineSql, const QVariantList& values) const;
    void boundLockWaitInTransaction();
    // Drops the statements kept on the session (they go with it).
    void forgetStatements();
    // What each session needs set after it opens (SQL Server's lock wait bound).
    void applySessionSettings();
    void openOrThrow(QSqlDatabase& db) const;
    // Opens the session: for the reads of history a standby when one answers and is current
    // enough, else (and for everything else) the server that takes writes. Throws DbError.
    void openSession(QSqlDatabase& db);
    bool openedStandby(QSqlDatabase& db);
    // The name of the session to the primary kept beside a standby's, for judging it.
    QString primaryProbeName() const;
    // A read, or the start of a transaction, that found its session lost is made again, once,
    // on a fresh session (which goes to the server that now answers: a standby that went is
    // passed over, a promoted primary found): both are safe to repeat, so the operator hears
    // only of a write whose outcome is unknown.
    template <typename Step>
    decltype(auto) againIfSessionWent(Step step);
    void beginSnapshotOnce();
    // The transaction as the driver begins it (PostgreSQL, SQL Server). Throws DbError.
    void beginDriverTransaction();

    ConnectionSettings settings_;
    QString connectionString_;
    QString connectionName_;
    bool inTransaction_ = false;
    mutable bool lost_ = false;
    bool readOnly_ = false;  // an SQLite file this user may only read
    bool onStandby_ = false;
    std::unique_ptr<StandbyJudge> judge_;  // judges a standby as a session opens on it
    std::unique_ptr<StandbyWatch> watch_;  // judges it meanwhile, while the session is on it
    QHash<QString, bool> knownTables_;
    QThread* thread_;
    QHash<QString, std::shared_ptr<QSqlQuery>> kept_;
    QList<QString> keptReads_;       // the texts of kept reads in kept_, the most recent last
    QHash<QString, QString> named_;  // PostgreSQL: the server's name of each kept statement
    QStringList unnamed_;            // the DEALLOCATEs of statements let go of
    int statementsNamed_ = 0;
    QSqlQuery lastRead_;         // selectKept's result where nothing is kept
    bool genericPlans_ = false;  // the session plans prepared statements once
};

}  // namespace tunnel::db
