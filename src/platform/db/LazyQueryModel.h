#pragma once

#include "platform/db/GridColumn.h"
#include "platform/db/RowCache.h"

#include <QAbstractTableModel>
#include <QSqlQuery>

#include <functional>
#include <memory>
#include <optional>

namespace tunnel::db {

class Database;

// A read-only grid model that fetches its result lazily, a batch at a time, as the view
// scrolls: the first rows of a result of millions show without reading the rest, and memory
// grows with the rows scrolled through. It owns a connection of its own, because a result
// streamed from PostgreSQL would be cut off by any other statement on the same connection.
class LazyQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Reads one field of the row being fetched, for calculated fields.
    using FieldReader = std::function<QVariant(const QString& field)>;
    using Calculation = std::function<QVariant(const FieldReader& field)>;

    explicit LazyQueryModel(QObject* parent = nullptr);
    ~LazyQueryModel() override;

    void setConnectionString(const QString& connectionString);
    void setColumns(QVector<GridColumn> columns);
    const QVector<GridColumn>& columns() const { return columns_; }
    // A field computed once for every row as it is fetched, readable like a stored one.
    void addCalculatedField(const QString& name, Calculation calculation);
    void setStatement(const QString& statement);
    const QString& statement() const { return statement_; }
    void setBatchSize(int rows) { batchSize_ = rows > 0 ? rows : 1; }

    // Runs the statement afresh and fetches the first batch. Throws DbError.
    void reload();
    void close();
    bool isOpen() const { return query_.has_value(); }
    bool isEmpty() const { return cache_.size() == 0; }

    QVariant fieldValue(int row, const QString& field) const;
    // The first row whose fields hold the values, fetching further batches until it is found
    // or the result ends; -1 when there is none. Throws DbError.
    int findRow(const QStringList& fields, const QVariantList& values);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;

signals:
    // A later batch could not be read (the view asked for it; nobody can catch a throw there).
    void fetchFailed(const QString& report);

private:
    Database& database();
    void fetchBatch();
    RowCache::Row readRow(const QStringList& stored);

    QString connectionString_;
    std::shared_ptr<Database> db_;
    QVector<GridColumn> columns_;
    QVector<QPair<QString, Calculation>> calculated_;
    QString statement_;
    std::optional<QSqlQuery> query_;
    QStringList storedFields_;
    RowCache cache_;
    bool atEnd_ = true;
    bool fetching_ = false;  // views ask for more while rows are being inserted
    int batchSize_ = 256;
};

}  // namespace tunnel::db
