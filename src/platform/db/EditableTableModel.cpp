#include "platform/db/EditableTableModel.h"

#include "platform/db/Transaction.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <QSqlError>

#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

namespace tunnel::db {
namespace {

// What the user typed, as the value to bind: an empty cell is NULL.
QVariant boundValue(const QVariant& value) {
    if (value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty()) {
        return {};
    }
    return value;
}

}  // namespace

EditableTableModel::EditableTableModel(QObject* parent) : QAbstractTableModel(parent) {}

EditableTableModel::~EditableTableModel() = default;

void EditableTableModel::setConnectionString(const QString& connectionString) {
    close();
    db_.reset();
    connectionString_ = connectionString;
}

void EditableTableModel::setTable(const QString& table) {
    table_ = table;
}

void EditableTableModel::setKeyFields(const QStringList& fields) {
    keyFields_ = fields;
}

void EditableTableModel::setColumns(QVector<GridColumn> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
}

Database& EditableTableModel::database() {
    if (!db_) {
        db_ = Database::shared(connectionString_);
    }
    return *db_;
}

void EditableTableModel::open() {
    close();
    Database& db = database();
    const QString sql = QStringLiteral("SELECT * FROM ") + table_;
    QSqlQuery query = db.select(sql);
    beginResetModel();
    const QSqlRecord record = query.record();
    fields_.clear();
    for (int i = 0; i < record.count(); ++i) {
        fields_.append(record.fieldName(i));
    }
    while (query.next()) {
        Row row;
        for (int i = 0; i < record.count(); ++i) {
            row.values.append(query.value(i));
        }
        row.stored = row.values;
        rows_.push_back(std::move(row));
    }
    state_ = State::Browse;
    current_ = rows_.empty() ? -1 : 0;
    endResetModel();
    emit currentRowChanged(current_);
}

void EditableTableModel::close() {
    beginResetModel();
    rows_.clear();
    fields_.clear();
    state_ = State::Inactive;
    modified_ = false;
    current_ = -1;
    endResetModel();
}

int EditableTableModel::fieldIndex(const QString& field) const {
    for (int i = 0; i < fields_.size(); ++i) {
        if (fields_[i].compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void EditableTableModel::setCurrent(int row) {
    if (row != current_) {
        current_ = row;
        emit currentRowChanged(row);
    }
}

bool EditableTableModel::setCurrentRow(int row) {
    if (row == current_ || row < 0 || row >= static_cast<int>(rows_.size())) {
        return row == current_;
    }
    if ((state_ == State::Edit || state_ == State::Insert) && !post()) {
        return false;
    }
    setCurrent(row);
    return true;
}

bool EditableTableModel::append() {
    if ((state_ == State::Edit || state_ == State::Insert) && !post()) {
        return false;
    }
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    Row fresh;
    fresh.values.resize(fields_.size());
    rows_.push_back(std::move(fresh));
    endInsertRows();
    state_ = State::Insert;
    modified_ = false;
    setCurrent(row);
    return true;
}

bool EditableTableModel::edit() {
    if (state_ == State::Edit || state_ == State::Insert) {
        return true;
    }
    if (rows_.empty()) {
        return append();
    }
    state_ = State::Edit;
    modified_ = false;
    return true;
}

bool EditableTableModel::post() {
    if (state_ != State::Edit && state_ != State::Insert) {
        return true;
    }
    Row& row = rows_[static_cast<size_t>(current_)];
    try {
        if (state_ == State::Insert) {
            insertRow(row);
        } else if (modified_) {
            updateRow(row);
        }
    } catch (const RowGone& gone) {
        reopenAfterOthersWrote();
        emit rowGone(gone.message());
        return false;
    } catch (const DbError& error) {
        if (error.isBusy()) {
            emit busy(error);
        } else {
            emit postError(error.message());
        }
        return false;
    }
    row.stored = row.values;
    state_ = State::Browse;
    modified_ = false;
    emit afterPost();
    return true;
}

void EditableTableModel::insertRow(Row& row) {
    QStringList names;
    QStringList marks;
    QVariantList binds;
    for (int i = 0; i < fields_.size(); ++i) {
        const QVariant value = boundValue(row.values[i]);
        if (value.isNull())
            continue;
        names.append(fields_[i]);
        marks.append(QStringLiteral("?"));
        binds.append(value);
    }
    if (names.isEmpty()) {
        throw DbError(QStringLiteral("新记录没有任何数据。"));
    }
    witnessed(
        [&] {
            database().execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table_, names.join(QStringLiteral(", ")),
                                        marks.join(QStringLiteral(", "))),
                               binds);
            return true;
        },
        {}, row.values);
}

void EditableTableModel::witnessed(const std::function<bool()>& write, const QVariantList& before,
                                   const QVariantList& after) {
    if (!witness_) {
        write();
        return;
    }
    Transaction transaction(database());
    if (write()) {
        witness_(database(), fields_, before, after);
        transaction.commit();
    }
}

QString EditableTableModel::keyCondition(const Row& row, QVariantList& binds) const {
    QStringList conditions;
    const QStringList keys = keyFields_.isEmpty() ? fields_ : keyFields_;
    for (const QString& key : keys) {
        const int i = fieldIndex(key);
        if (i < 0) {
            throw DbError(QStringLiteral("表 %1 中没有“%2”列。").arg(table_, key));
        }
        if (row.stored[i].isNull()) {
            conditions.append(fields_[i] + QStringLiteral(" IS NULL"));
        } else {
            conditions.append(fields_[i] + QStringLiteral(" = ?"));
            binds.append(row.stored[i]);
        }
    }
    return conditions.join(QStringLiteral(" AND "));
}

void EditableTableModel::updateRow(Row& row) {
    QStringList assignments;
    QVariantList binds;
    for (int i = 0; i < fields_.size(); ++i) {
        if (textOf(row.values[i]) == textOf(row.stored[i]) &&
            row.values[i].isNull() == row.stored[i].isNull()) {
            continue;
        }
        assignments.append(fields_[i] + QStringLiteral(" = ?"));
        binds.append(boundValue(row.values[i]));
    }
    if (assignments.isEmpty()) {
        return;
    }
    const QString where = keyCondition(row, binds);
    witnessed(
        [&] {
            const int written =
                database().execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                       .arg(table_, assignments.join(QStringLiteral(", ")), where),
                                   binds);
            if (written == 0) {
                throw RowGone(
                    QStringLiteral("这一行已被其他程序修改或删除，所做的修改没有保存。"
                                   "表格已重新读取，请查看后再修改。"));
            }
            return true;
        },
        row.stored, row.values);
}

void EditableTableModel::reopenAfterOthersWrote() {
    const int row = current_;
    state_ = State::Browse;
    modified_ = false;
    open();
    setCurrent(rows_.empty() ? -1 : std::clamp(row, 0, static_cast<int>(rows_.size()) - 1));
}

void EditableTableModel::cancel() {
    if (state_ == State::Insert) {
        // Browse before the row goes: views that move their current row while it is removed
        // must not find a pending row to post.
        state_ = State::Browse;
        modified_ = false;
        const int row = current_;
        current_ = -1;
        beginRemoveRows({}, row, row);
        rows_.erase(rows_.begin() + row);
        endRemoveRows();
        setCurrent(rows_.empty() ? -1 : std::min(row, static_cast<int>(rows_.size()) - 1));
        emit afterCancel();
        return;
    }
    if (state_ == State::Edit) {
        Row& row = rows_[static_cast<size_t>(current_)];
        row.values = row.stored;
        state_ = State::Browse;
        modified_ = false;
        emit dataChanged(index(current_, 0), index(current_, columnCount() - 1));
        emit afterCancel();
    }
}

void EditableTableModel::deleteCurrent() {
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (rows_.empty() || current_ < 0) {
        throw DbError(QStringLiteral("不能对空数据集执行此操作。"));
    }
    if (state_ == State::Edit) {
        cancel();
    }
    const int row = current_;
    QVariantList binds;
    const QString where = keyCondition(rows_[static_cast<size_t>(row)], binds);
    bool deleted = false;
    witnessed(
        [&] {
            deleted = database().execute(
                          QStringLiteral("DELETE FROM %1 WHERE %2").arg(table_, where), binds) > 0;
            return deleted;
        },
        rows_[static_cast<size_t>(row)].stored, {});
    if (!deleted) {
        reopenAfterOthersWrote();
        throw RowGone(
            QStringLiteral("这一行已被其他程序修改或删除，没有删除任何记录。表格已重新读取。"));
    }
    current_ = -1;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    setCurrent(rows_.empty() ? -1 : std::min(row, static_cast<int>(rows_.size()) - 1));
}

QVariant EditableTableModel::fieldValue(int row, const QString& field) const {
    const int i = fieldIndex(field);
    if (row < 0 || row >= static_cast<int>(rows_.size()) || i < 0) {
        return {};
    }
    return rows_[static_cast<size_t>(row)].values[i];
}

int EditableTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EditableTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant EditableTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columns_.size()) {
        return {};
    }
    const GridColumn& column = columns_[index.column()];
    return columnData(column, fieldValue(index.row(), column.field), role);
}

bool EditableTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.row() != current_ ||
        (state_ != State::Edit && state_ != State::Insert)) {
        return false;
    }
    const int field = fieldIndex(columns_[index.column()].field);
    if (field < 0) {
        return false;
    }
    QVariant& cell = rows_[static_cast<size_t>(index.row())].values[field];
    if (textOf(cell) == value.toString() && !(cell.isNull() && !value.toString().isEmpty())) {
        return true;
    }
    cell = value.toString();
    modified_ = true;
    emit dataChanged(index, index);
    return true;
}

QVariant EditableTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
        section < columns_.size()) {
        return columns_[section].title;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags EditableTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.row() == current_ && (state_ == State::Edit || state_ == State::Insert)) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

}  // namespace tunnel::db
