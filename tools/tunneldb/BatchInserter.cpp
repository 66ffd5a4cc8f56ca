#include "BatchInserter.h"

#include "platform/db/CopyIn.h"

#include "data/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"

namespace tunnel::tools {
namespace {

// SQL Server takes at most 2100 bound values and 1000 rows to a statement.
constexpr int kValuesPerStatement = 2000;
constexpr int kRowsPerTransaction = 50000;

bool isEmpty(db::Database& db, const QString& table) {
    db::Query query(db);
    query.setSql(QStringLiteral("SELECT COUNT(*) AS N FROM (SELECT TOP 1 * FROM %1) t").arg(table));
    query.open();
    return query.integer(QStringLiteral("N")) == 0;
}

}  // namespace

BatchInserter::BatchInserter(db::Database& db, const QString& table, const QStringList& columns,
                             qint64 total, Progress progress)
    : db_(db),
      table_(table),
      columns_(columns),
      total_(total),
      progress_(std::move(progress)),
      wholeLoadInOneTransaction_(isEmpty(db, table)) {
    if (wholeLoadInOneTransaction_) {
        indexesToBuild_ = data::createIndexStatements(db_, table_);
        for (const QString& drop : data::dropIndexStatements(db_, table_)) {
            db_.execute(drop);
        }
    }
}

BatchInserter::~BatchInserter() {
    copy_.reset();
    if (open_) {
        db_.rollback();
    }
    // A load that failed must not leave the table without its indexes.
    for (const QString& index : indexesToBuild_) {
        try {
            db_.execute(index);
        } catch (const std::exception&) {
            break;  // the database is gone; the schema script builds them anew
        }
    }
}

QString BatchInserter::insertStatement(int rows) const {
    const QString one = u'(' + QStringList(columns_.size(), QStringLiteral("?")).join(u',') + u')';
    return QStringLiteral("INSERT INTO %1 (%2) VALUES ")
               .arg(table_, columns_.join(QStringLiteral(", "))) +
           QStringList(rows, one).join(u',');
}

void BatchInserter::add(const QVariantList& row) {
    if (db_.engine() == db::Engine::PostgreSQL) {
        open();
        if (!copy_) {
            copy_ = std::make_unique<db::CopyIn>(db_, table_, columns_);
        }
        copy_->add(row);
        counted(1);
    } else {
        addToBatch(row);
    }
    if (!wholeLoadInOneTransaction_ && inTransaction_ >= kRowsPerTransaction) {
        commitTransaction();
    }
}

void BatchInserter::addToBatch(const QVariantList& row) {
    pending_.append(row);
    ++pendingRows_;
    if (pending_.size() + columns_.size() > kValuesPerStatement) {
        flush();
    }
}

void BatchInserter::open() {
    if (!open_) {
        db_.begin();
        open_ = true;
    }
}

void BatchInserter::counted(qint64 rows) {
    done_ += rows;
    inTransaction_ += rows;
    if (progress_ && done_ % 10000 < rows) {
        progress_(done_, total_);
    }
}

void BatchInserter::finish() {
    flush();
    commitTransaction();
    for (const QString& index : indexesToBuild_) {
        db_.execute(index);
    }
    indexesToBuild_.clear();
}

void BatchInserter::flush() {
    if (pendingRows_ == 0) {
        return;
    }
    open();
    const int rows = static_cast<int>(pendingRows_);
    const bool fullBatch = pending_.size() + columns_.size() > kValuesPerStatement;
    if (fullBatch && !full_) {
        fullStatement_ = insertStatement(rows);
        full_.emplace(db_.prepare(fullStatement_));
    }
    const QString statement = fullBatch ? fullStatement_ : insertStatement(rows);
    QSqlQuery partial;
    if (!fullBatch) {
        partial = db_.prepare(statement);
    }
    QSqlQuery& query = fullBatch ? *full_ : partial;
    for (int i = 0; i < pending_.size(); ++i) {
        query.bindValue(i, pending_[i]);
    }
    db_.run(query, statement);
    pending_.clear();
    pendingRows_ = 0;
    counted(rows);
}

void BatchInserter::commitTransaction() {
    if (!open_) {
        return;
    }
    if (copy_) {
        copy_->finish();
        copy_.reset();
    }
    db_.commit();
    open_ = false;
    inTransaction_ = 0;
    if (progress_) {
        progress_(done_, total_);
    }
}

}  // namespace tunnel::tools
