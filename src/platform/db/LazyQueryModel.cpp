#include "platform/db/LazyQueryModel.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <QScopedValueRollback>
#include <QSqlError>
#include <QSqlRecord>

namespace tunnel::db {

LazyQueryModel::LazyQueryModel(QObject* parent) : QAbstractTableModel(parent) {}

LazyQueryModel::~LazyQueryModel() {
    query_.reset();
}

void LazyQueryModel::setConnectionString(const QString& connectionString) {
    close();
    db_.reset();
    connectionString_ = connectionString;
}

void LazyQueryModel::setColumns(QVector<GridColumn> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
}

void LazyQueryModel::addCalculatedField(const QString& name, Calculation calculation) {
    calculated_.append({name, std::move(calculation)});
}

void LazyQueryModel::setStatement(const QString& statement) {
    statement_ = statement;
}

Database& LazyQueryModel::database() {
    if (!db_) {
        db_ = Database::open(connectionString_);
    }
    return *db_;
}

void LazyQueryModel::close() {
    beginResetModel();
    query_.reset();
    cache_.clear();
    atEnd_ = true;
    endResetModel();
}

void LazyQueryModel::reload() {
    close();
    Database& db = database();
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    if (!query.exec(db.translate(statement_))) {
        throw db.errorFrom(query.lastError(), statement_);
    }
    const QSqlRecord record = query.record();
    storedFields_.clear();
    for (int i = 0; i < record.count(); ++i) {
        storedFields_.append(record.fieldName(i));
    }
    QStringList all = storedFields_;
    for (const auto& field : calculated_) {
        all.append(field.first);
    }
    beginResetModel();
    cache_.reset(all);
    query_.emplace(std::move(query));
    atEnd_ = false;
    endResetModel();
    fetchBatch();
}

RowCache::Row LazyQueryModel::readRow(const QStringList& stored) {
    RowCache::Row row;
    row.reserve(stored.size() + calculated_.size());
    for (int i = 0; i < stored.size(); ++i) {
        row.append(query_->value(i));
    }
    const FieldReader reader = [&](const QString& field) -> QVariant {
        for (int i = 0; i < stored.size(); ++i) {
            if (stored[i].compare(field, Qt::CaseInsensitive) == 0)
                return row[i];
        }
        return {};
    };
    for (const auto& field : calculated_) {
        row.append(field.second(reader));
    }
    return row;
}

void LazyQueryModel::fetchBatch() {
    if (!query_ || atEnd_ || fetching_) {
        return;
    }
    const QScopedValueRollback guard(fetching_, true);
    std::vector<RowCache::Row> batch;
    batch.reserve(static_cast<size_t>(batchSize_));
    while (static_cast<int>(batch.size()) < batchSize_) {
        if (!query_->next()) {
            atEnd_ = true;
            if (query_->lastError().isValid()) {
                throw db_->errorFrom(query_->lastError(), statement_);
            }
            break;
        }
        batch.push_back(readRow(storedFields_));
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

int LazyQueryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant LazyQueryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columns_.size()) {
        return {};
    }
    const GridColumn& column = columns_[index.column()];
    switch (role) {
        case Qt::DisplayRole: {
            const QVariant value = cache_.value(index.row(), column.field);
            return column.displayText ? column.displayText(value) : textOf(value);
        }
        case Qt::TextAlignmentRole:
            return static_cast<int>(column.alignment);
        default:
            return {};
    }
}

QVariant LazyQueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section >= 0 && section < columns_.size() ? columns_[section].title : QVariant();
    }
    return {};
}

Qt::ItemFlags LazyQueryModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool LazyQueryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && query_.has_value() && !atEnd_ && !fetching_;
}

void LazyQueryModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid()) {
        return;
    }
    try {
        fetchBatch();
    } catch (const DbError& error) {
        emit fetchFailed(error.report());
    }
}

}  // namespace tunnel::db
