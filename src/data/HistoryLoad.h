#pragma once

#include "data/KeptStateServer.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <utility>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// Rows loaded into a history in bulk by one session (the benchmark generator's). On a server
// that keeps the histories' latest rows as copies, their row triggers made a load eight times as
// long (2,000,000 rows 47 s against 6 s): where the session's role may (a superuser's), the
// load runs with the session's triggers set aside (session_replication_role), and each device's
// newest row loaded is copied once at the end, as the triggers would have left the copies, and
// the change is told on the tables' channel once. Other sessions' triggers run as ever. Elsewhere,
// or where the role may not, the triggers run a row at a time.
class HistoryLoad {
public:
    // `columns` are the loaded rows' columns, in their order, named as the schema writes them.
    // Throws DbError.
    HistoryLoad(db::Database& db, QString history, const QStringList& columns);
    // A load that failed still has what it committed copied; its own error is the one reported.
    ~HistoryLoad();
    HistoryLoad(const HistoryLoad&) = delete;
    HistoryLoad& operator=(const HistoryLoad&) = delete;

    // A row written, its values in the columns' order.
    void wrote(const QVariantList& row);
    // After the rows were committed: the triggers back, the newest rows copied. Throws DbError.
    void finish();

private:
    void restoreTriggers(LoadedRows copied);
    void keepNewestLoaded(LoadedRows copied);

    db::Database& db_;
    QString history_;
    qsizetype type_ = -1;
    qsizetype code_ = -1;
    qsizetype time_ = -1;
    bool triggersAside_ = false;
    QHash<std::pair<int, int>, QVariant> newest_;  // each device's newest time loaded
};

}  // namespace tunnel::data
