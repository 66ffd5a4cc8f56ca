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

QSqlQuery GridModel::execute(const QString& sql, const QVariantList& values, QStringList* fields) {
    QSqlQuery query = database().select(sql, values, Database::Written::ForEngine);
    if (fields != nullptr) {
        const QSqlRecord record = query.record();
        fields->clear();
        for (int i = 0; i < record.count(); ++i) {
            fields->append(record.fieldName(i));
        }
        for (const auto& field : calculated_) {
            fields->append(field.first);
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

RowCache::Row GridModel::readRow(const QSqlQuery& query, const QStringList& fields) const {
    const int stored = static_cast<int>(fields.size() - calculated_.size());
    RowCache::Row row;
    row.reserve(fields.size());
    for (int i = 0; i < stored; ++i) {
        const QVariant value = query.value(i);
        row.append(value.typeId() == QMetaType::QByteArray && !isKeyField(fields[i])
                       ? QVariant(text::fromStoredText(value.toByteArray()))
                       : value);
    }
    const FieldReader reader = [&](const QString& field) -> QVariant {
        for (int i = 0; i < stored; ++i) {
            if (fields[i].compare(field, Qt::CaseInsensitive) == 0)
                return row[i];
        }
        return {};
    };
    for (const auto& field : calculated_) {
        row.append(field.second(reader));
    }
    return row;
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
