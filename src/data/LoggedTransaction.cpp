#include "data/LoggedTransaction.h"

namespace tunnel::data {

LoggedTransaction::LoggedTransaction(db::Database& db) : db_(db), transaction_(db) {}

void LoggedTransaction::log(LoggedChange change) {
    changes_.append(std::move(change));
}

void LoggedTransaction::logRow(const RowChange& change, const QVariantList& before) {
    if (std::optional<LoggedChange> row = rowChangeLog(db_, change, before)) {
        changes_.append(std::move(*row));
    }
}

void LoggedTransaction::commit() {
    logChanges(db_, changes_);
    changes_.clear();
    transaction_.commit();
}

}  // namespace tunnel::data
