#pragma once

#include "platform/db/Engine.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace tunnel::db {

// An ADO-style connection text: Key=Value pairs separated by ";", keys case-insensitive,
// values optionally quoted with " or ' (a doubled quote inside stands for itself).
// `Provider` chooses the engine.
struct ConnectionSettings {
    Engine engine = Engine::SQLite;
    QString provider;
    QString file;    // SQLite: Data Source
    QString server;  // SQL Server: Data Source (server[,port])
    QString host;    // PostgreSQL: one server, or several ("db1,db2": the one that writes)
    int port = 0;    // PostgreSQL (the first server's), SQL Server (0: the driver's default)
    QString ports;   // PostgreSQL: "5432", or one port a server ("5432,5433")
    // PostgreSQL: hot standbys ("host" or "host:port") that serve the pure reads of history
    // while they are no more than `maxLagSeconds` behind; the primary otherwise.
    QStringList standbys;
    int maxLagSeconds = 30;
    // Set by standbyReads(): a connection for those reads.
    bool readsFromStandby = false;
    QString database;  // PostgreSQL: Database; SQL Server: Initial Catalog
    QString user;
    QString password;
    // How long a statement waits for a lock another session holds before it fails: a stuck
    // client or a maintenance script must not freeze a window without end.
    int lockTimeoutSeconds = 10;
    // PostgreSQL behind a pooler in transaction mode (Pooler=transaction): nothing may outlive a
    // transaction on the server's session (no prepared statement, no session setting), and the
    // pooler takes no startup options.
    bool pooledTransactions = false;
    // Shown values that hold a password-like key ("Database=tunnel Password=x" with a ";"
    // missing), by the key's name, with where the value begins: described by that, never
    // echoed, and taken out of any driver text.
    QMap<QString, QString> hiddenValues;
    QStringList secrets;  // the password and every hidden value

    // Throws DbError naming what is wrong; the error text never holds the password.
    static ConnectionSettings parse(const QString& text);

    // A description fit for error texts and logs: engine and place, never the password.
    QString describe() const;
    // `text` with every secret replaced by "***".
    QString scrub(QString text) const;

private:
    static ConnectionSettings settingsOf(const QMap<QString, QString>& pairs,
                                         const QString& password);
    void hideValuesHoldingPasswords(const QString& text);
    QString shown(const QString& value, const QString& key) const;
};

// The connection text for the pure reads of history (the history windows, the timeline, their
// counts and exports): on PostgreSQL with standbys named, one that goes to a standby; otherwise
// the text itself.
QString standbyReads(const QString& connectionString);

// The ODBC connection text for SQL Server (FreeTDS), every value quoted the ODBC way ({...}
// with "}" doubled), user and password inside it: a value holding ";" cannot add a keyword.
QString odbcConnectionText(const ConnectionSettings& settings);

// The raw pairs, keys folded to lower case. Throws DbError on malformed text.
QMap<QString, QString> parseConnectionPairs(const QString& text);

}  // namespace tunnel::db
