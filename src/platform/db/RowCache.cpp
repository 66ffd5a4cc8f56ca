#include "platform/db/RowCache.h"

#include "platform/db/ValueText.h"

#include <algorithm>

namespace tunnel::db {

void RowCache::reset(const QStringList& fields) {
    clear();
    fields_ = fields;
    index_.clear();
    for (int i = 0; i < fields.size(); ++i) {
        index_.insert(fields[i].toLower(), i);
    }
}

void RowCache::append(Row row) {
    rows_.push_back(std::move(row));
}

void RowCache::prepend(std::vector<Row> rows) {
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        rows_.push_front(std::move(*row));
    }
}

void RowCache::dropFront(qsizetype count) {
    rows_.erase(rows_.begin(), rows_.begin() + std::min<qsizetype>(count, size()));
}

void RowCache::dropBack(qsizetype count) {
    rows_.erase(rows_.end() - std::min<qsizetype>(count, size()), rows_.end());
}

void RowCache::clear() {
    std::deque<Row>().swap(rows_);
}

int RowCache::fieldIndex(const QString& field) const {
    return index_.value(field.toLower(), -1);
}

QVariant RowCache::value(qsizetype row, int field) const {
    if (row < 0 || row >= size() || field < 0) {
        return {};
    }
    const Row& values = rows_[static_cast<size_t>(row)];
    return field < values.size() ? values[field] : QVariant();
}

QVariant RowCache::value(qsizetype row, const QString& field) const {
    return value(row, fieldIndex(field));
}

qsizetype RowCache::find(const QStringList& fields, const QVariantList& values,
                         qsizetype from) const {
    QVector<int> columns;
    for (const QString& field : fields) {
        columns.append(fieldIndex(field));
    }
    for (qsizetype row = std::max<qsizetype>(from, 0); row < size(); ++row) {
        bool match = true;
        for (int i = 0; i < columns.size() && match; ++i) {
            match = columns[i] >= 0 && i < values.size() &&
                    textOf(value(row, columns[i])) == textOf(values[i]);
        }
        if (match) {
            return row;
        }
    }
    return -1;
}

}  // namespace tunnel::db
