#include "platform/db/LazyQueryModel.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/StreamingCursor.h"

#include <QScopedValueRollback>

namespace tunnel::db {

LazyQueryModel::LazyQueryModel(QObject* parent) : GridModel(parent) {}

LazyQueryModel::~LazyQueryModel() = default;

void LazyQueryModel::close() {
    beginResetModel();
    cursor_.reset();
    cache_.clear();
    atEnd_ = true;
    endResetModel();
}

void LazyQueryModel::reload() {
    close();
    auto cursor = std::make_unique<StreamingCursor>(database(), statement());
    beginResetModel();
    cache_.reset(cursor->fields() + calculatedFields());
    cursor_ = std::move(cursor);
    atEnd_ = false;
    endResetModel();
    fetchBatch();
}

void LazyQueryModel::fetchBatch() {
    if (!cursor_ || atEnd_ || fetching_) {
        return;
    }
    const QScopedValueRollback guard(fetching_, true);
    std::vector<RowCache::Row> batch;
    batch.reserve(static_cast<size_t>(batchSize_));
    while (static_cast<int>(batch.size()) < batchSize_) {
        bool more = false;
        try {
            more = cursor_->next();
        } catch (...) {
            atEnd_ = true;
            throw;
        }
        if (!more) {
            atEnd_ = true;
            break;
        }
        batch.push_back(readRow(cursor_->row(), cache_.fields()));
    }
    if (batch.empty()) {
        return;
    }
    const int first = static_cast<int>(cache_.size());
    beginInsertRows({}, first, first + static_cast<int>(batch.size()) - 1);
    for (auto& row : batch) {
        cache_.append(std::move(row));
    }
    endInsertRows();
}

QVariant LazyQueryModel::fieldValue(int row, const QString& field) const {
    return cache_.value(row, field);
}

int LazyQueryModel::findRow(const QStringList& fields, const QVariantList& values) {
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = cache_.find(fields, values, from);
        if (found >= 0) {
            return static_cast<int>(found);
        }
        if (!canFetchMore()) {
            return -1;
        }
        from = cache_.size();
        fetchBatch();
    }
}

int LazyQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(cache_.size());
}

bool LazyQueryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && cursor_ != nullptr && !atEnd_ && !fetching_;
}

void LazyQueryModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid()) {
        return;
    }
    try {
        fetchBatch();
    } catch (const DbError& error) {
        emit fetchFailed(error.message(), error.statement());
    }
}

}  // namespace tunnel::db
