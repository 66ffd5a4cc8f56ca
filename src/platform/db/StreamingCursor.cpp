#include "platform/db/StreamingCursor.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"

#include <QSqlError>
#include <QSqlRecord>

namespace tunnel::db {
namespace {

constexpr int kServerBatch = 256;
const QString kCursorName = QStringLiteral("tunnel_grid_rows");

void readFields(const QSqlQuery& query, QStringList& fields) {
    const QSqlRecord record = query.record();
    fields.clear();
    for (int i = 0; i < record.count(); ++i) {
        fields.append(record.fieldName(i));
    }
}

}  // namespace

StreamingCursor::StreamingCursor(Database& db, const QString& sql)
    : db_(db), sql_(sql), serverSide_(db.engine() == Engine::PostgreSQL) {
    if (!serverSide_) {
        QSqlQuery query(db_.handle());
        query.setForwardOnly(true);
        if (!query.exec(db_.translate(sql_))) {
            throw db_.errorFrom(query.lastError(), sql_);
        }
        readFields(query, fields_);
        current_.emplace(std::move(query));
        return;
    }
    db_.begin();
    try {
        db_.execute(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR ").arg(kCursorName) + sql_);
        fetchBatch();
        readFields(*current_, fields_);
    } catch (...) {
        db_.rollback();
        throw;
    }
}

StreamingCursor::~StreamingCursor() {
    current_.reset();
    if (serverSide_) {
        db_.rollback();  // closes the cursor; nothing was written
    }
}

bool StreamingCursor::fetchBatch() {
    QSqlQuery batch(db_.handle());
    const QString fetch = QStringLiteral("FETCH %1 FROM %2").arg(kServerBatch).arg(kCursorName);
    if (!batch.exec(fetch)) {
        throw db_.errorFrom(batch.lastError(), sql_);
    }
    lastBatch_ = batch.size() >= 0 && batch.size() < kServerBatch;
    current_.emplace(std::move(batch));
    return true;
}

bool StreamingCursor::next() {
    if (current_->next()) {
        return true;
    }
    if (current_->lastError().isValid()) {
        throw db_.errorFrom(current_->lastError(), sql_);
    }
    if (!serverSide_ || lastBatch_) {
        return false;
    }
    fetchBatch();
    return current_->next();
}

}  // namespace tunnel::db
