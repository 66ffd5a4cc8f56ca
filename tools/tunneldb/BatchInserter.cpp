#include "BatchInserter.h"

#include "platform/db/Database.h"

namespace tunnel::tools {
namespace {

constexpr int kRowsPerStatement = 500;  // SQL Server accepts at most 1000 rows per VALUES
constexpr int kRowsPerTransaction = 50000;

}  // namespace

BatchInserter::BatchInserter(db::Database& db, const QString& table, const QString& columns,
                             qint64 total, Progress progress)
    : db_(db),
      prefix_(QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, columns)),
      total_(total),
      progress_(std::move(progress)) {}

BatchInserter::~BatchInserter() {
    if (open_) {
        db_.rollback();
    }
}

void BatchInserter::add(const QString& values) {
    pending_.append(u'(' + values + u')');
    if (pending_.size() >= kRowsPerStatement) {
        flushStatement();
    }
    if (inTransaction_ >= kRowsPerTransaction) {
        commitTransaction();
    }
}

void BatchInserter::finish() {
    flushStatement();
    commitTransaction();
}

void BatchInserter::flushStatement() {
    if (pending_.isEmpty()) {
        return;
    }
    if (!open_) {
        db_.begin();
        open_ = true;
    }
    db_.execute(prefix_ + pending_.join(QStringLiteral(", ")));
    done_ += pending_.size();
    inTransaction_ += pending_.size();
    pending_.clear();
}

void BatchInserter::commitTransaction() {
    if (!open_) {
        return;
    }
    db_.commit();
    open_ = false;
    inTransaction_ = 0;
    if (progress_) {
        progress_(done_, total_);
    }
}

}  // namespace tunnel::tools
