#include "platform/db/GridModel.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/KeysetSql.h"
#include "platform/db/ValueText.h"
#include "platform/text/Gbk.h"

#include <QSqlError>
#include <QSqlRecord>

namespace tunnel::db {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

GridModel::~GridModel() = default;

void GridModel::setConnectionString(const QString& connectionString) {
    close();
    db_.reset();
    connectionString_ = connectionString;
}

void GridModel::setColumns(QVector<GridColumn> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
}

void GridModel::addCalculatedField(const QString& name, Calculation calculation) {
    calculated_.append({name, std::move(calculation)});
}

Database& GridModel::database() {
    if (!db_) {
        db_ = Database::open(connectionString_);
    }
    return *db_;
}

QSqlQuery& GridModel::execute(const QString& sql, const QVariantList& values,
                              const QStringList& keyColumns, ResultFields* fields) {
    QSqlQuery& query = database().selectKept(sql, values);
    if (fields != nullptr) {
        const QSqlRecord record = query.record();
        fields->names.clear();
        fields->aliasOf.clear();
        for (int i = 0; i < record.count(); ++i) {
            fields->names.append(record.fieldName(i));
        }
        fields->stored = record.count();
        for (int i = 0; i < keyColumns.size(); ++i) {
            const int key = static_cast<int>(fields->names.indexOf(keyField(i)));
            if (key >= 0 && !fields->names.contains(keyColumns[i], Qt::CaseInsensitive)) {
                fields->names.append(keyColumns[i]);
                fields->aliasOf.append(key);
            }
        }
        for (const auto& field : calculated_) {
            fields->names.append(field.first);
        }
    }
    return query;
}

QStringList GridModel::calculatedFields() const {
    QStringList names;
    for (const auto& field : calculated_)
        names.append(field.first);
    return names;
}

RowCache::Row GridModel::readRow(const QSqlQuery& query, const ResultFields& fields) const {
    const int stored = fields.stored + static_cast<int>(fields.aliasOf.size());
    RowCache::Row row;
    row.reserve(fields.names.size());
    const auto decoded = [](const QVariant& value) {
        return value.typeId() == QMetaType::QByteArray
                   ? QVariant(text::fromStoredText(value.toByteArray()))
                   : value;
    };
    for (int i = 0; i < fields.stored; ++i) {
        const QVariant value = query.value(i);
        row.append(isKeyField(fields.names[i]) ? value : decoded(value));
    }
    for (const int key : fields.aliasOf) {
        row.append(decoded(row[key]));
    }
    appendCalculated(row, fields.names, stored);
    return row;
}

void GridModel::appendCalculated(RowCache::Row& row, const QStringList& names, int stored) const {
    const FieldReader reader = [&](const QString& field) -> QVariant {
        for (int i = 0; i < stored; ++i) {
            if (names[i].compare(field, Qt::CaseInsensitive) == 0)
                return row[i];
        }
        return {};
    };
    for (const auto& field : calculated_) {
        row.append(field.second(reader));
    }
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columns_.size() || role == Qt::EditRole) {
        return {};
    }
    const GridColumn& column = columns_[index.column()];
    const bool needsValue = role == Qt::DisplayRole;
    return columnData(column, needsValue ? fieldValue(index.row(), column.field) : QVariant(),
                      role);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
        section < columns_.size()) {
        return columns_[section].title;
    }
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace tunnel::db
