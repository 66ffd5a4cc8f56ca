#pragma once

#include "data/OperationLog.h"
#include "platform/db/Transaction.h"

namespace tunnel::data {

// The one way the module writes a logged change: a transaction whose commit writes the change's
// log rows first, in it, so that a change cannot land without its rows (nor they without it).
// Left without commit(), it rolls back, rows and change alike.
class LoggedTransaction {
public:
    explicit LoggedTransaction(db::Database& db);

    // A row for the commit to write.
    void log(LoggedChange change);
    // The row of a change to one row whose state before it was `before`, read again now; none
    // when nothing in it changed.
    void logRow(const RowChange& change, const QVariantList& before);
    void commit();

private:
    db::Database& db_;
    db::Transaction transaction_;
    QVector<LoggedChange> changes_;
};

}  // namespace tunnel::data
