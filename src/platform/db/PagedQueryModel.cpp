#include "platform/db/PagedQueryModel.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/ValueText.h"

#include <QSqlError>

namespace tunnel::db {

PagedQueryModel::PagedQueryModel(QObject* parent) : GridModel(parent) {}

PagedQueryModel::~PagedQueryModel() = default;

void PagedQueryModel::close() {
    beginResetModel();
    rowCount_ = 0;
    pages_.clear();
    loadOrder_.clear();
    endResetModel();
}

void PagedQueryModel::reload() {
    close();
    QSqlQuery count = execute(countSql(statement(), database().engine()));
    const int rows = count.next() ? integerOf(count.value(0)) : 0;
    RowCache first = loadPage(0);
    beginResetModel();
    rowCount_ = rows;
    pages_.emplace(0, std::move(first));
    loadOrder_.push_back(0);
    endResetModel();
}

RowCache PagedQueryModel::loadPage(int number) {
    QStringList fields;
    QSqlQuery query = execute(pagedSql(statement(), database().engine(),
                                       static_cast<qint64>(number) * kPageRows, kPageRows),
                              &fields);
    RowCache rows;
    rows.reset(fields);
    while (query.next()) {
        rows.append(readRow(query, fields));
    }
    if (query.lastError().isValid()) {
        throw database().errorFrom(query.lastError(), statement());
    }
    return rows;
}

// A page that fails to load is kept empty until the next reload, so that the failure is
// reported once rather than at every paint.
const RowCache& PagedQueryModel::page(int number) const {
    auto found = pages_.constFind(number);
    if (found != pages_.constEnd()) {
        return *found;
    }
    auto* self = const_cast<PagedQueryModel*>(this);
    RowCache rows;
    try {
        rows = self->loadPage(number);
    } catch (const DbError& error) {
        emit self->fetchFailed(error.message(), error.statement());
    }
    if (static_cast<int>(loadOrder_.size()) >= kPagesKept) {
        pages_.remove(loadOrder_.front());
        loadOrder_.pop_front();
    }
    loadOrder_.push_back(number);
    return *pages_.emplace(number, std::move(rows));
}

QVariant PagedQueryModel::fieldValue(int row, const QString& field) const {
    if (row < 0 || row >= rowCount_) {
        return {};
    }
    return page(row / kPageRows).value(row % kPageRows, field);
}

int PagedQueryModel::findRow(const QStringList& fields, const QVariantList& values) {
    QSqlQuery query = execute(projectedSql(statement(), fields));
    QStringList wanted;
    for (int i = 0; i < fields.size(); ++i) {
        wanted.append(textOf(values.value(i)));
    }
    for (int row = 0; query.next(); ++row) {
        bool match = true;
        for (int i = 0; i < fields.size() && match; ++i) {
            match = textOf(query.value(i)) == wanted[i];
        }
        if (match) {
            return row < rowCount_ ? row : -1;
        }
    }
    if (query.lastError().isValid()) {
        throw database().errorFrom(query.lastError(), statement());
    }
    return -1;
}

int PagedQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rowCount_;
}

}  // namespace tunnel::db
