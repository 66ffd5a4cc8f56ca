#pragma once

#include "platform/db/GridColumn.h"
#include "platform/db/RowCache.h"

#include <QAbstractTableModel>
#include <QSqlQuery>

#include <functional>
#include <memory>

namespace tunnel::db {

class Database;

// A read-only grid over the result of one statement: column definitions with their display
// texts, fields calculated for every row as it is read, and rows found again by key. How the
// rows are fetched is the subclass's. The model owns a connection of its own, so that its
// reads never interleave with the window's other statements.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Reads one field of the row being fetched, for calculated fields.
    using FieldReader = std::function<QVariant(const QString& field)>;
    using Calculation = std::function<QVariant(const FieldReader& field)>;

    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    void setConnectionString(const QString& connectionString);
    const QString& connectionString() const { return connectionString_; }
    void setColumns(QVector<GridColumn> columns);
    const QVector<GridColumn>& columns() const { return columns_; }
    // A field computed once for every row as it is read, readable like a stored one.
    void addCalculatedField(const QString& name, Calculation calculation);
    void setStatement(const QString& statement) { statement_ = statement; }
    const QString& statement() const { return statement_; }

    // Runs the statement afresh and reads its first rows. Throws DbError, and leaves the model
    // empty.
    virtual void reload() = 0;
    virtual void close() = 0;
    virtual bool isEmpty() const = 0;
    virtual QVariant fieldValue(int row, const QString& field) const = 0;
    // The first row whose fields hold the values (compared as text); -1 when there is none.
    // Throws DbError.
    virtual int findRow(const QStringList& fields, const QVariantList& values) = 0;

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // Rows the view asked for could not be read (nobody can catch a throw there).
    void fetchFailed(const QString& message, const QString& details);

protected:
    Database& database();
    // What a row read by `execute` holds: the statement's fields, then each order column that
    // the statement read only as its key field (`keyColumns[i]` for keyField(i)), then the
    // calculated fields.
    struct ResultFields {
        QStringList names;
        int stored = 0;        // the statement's own fields
        QVector<int> aliasOf;  // for each order column after them, its key field's place
    };
    // Runs a statement written for the engine in use forward-only on the model's connection,
    // with `values` bound to its placeholders (Database::selectKept): the result is the
    // connection's until the next one; finish() it once read. Throws DbError.
    QSqlQuery& execute(const QString& sql, const QVariantList& values,
                       const QStringList& keyColumns, ResultFields* fields);
    // The names of the calculated fields, in the order readRow appends them.
    QStringList calculatedFields() const;
    // The current row of `query`, its calculated fields appended. Texts read as their stored
    // bytes are decoded as the installation's programs wrote them; the key fields that hold
    // order values as stored stay bytes.
    RowCache::Row readRow(const QSqlQuery& query, const ResultFields& fields) const;
    // Appends the calculated fields to a row whose first `stored` values are the fields `names`.
    void appendCalculated(RowCache::Row& row, const QStringList& names, int stored) const;

private:
    QString connectionString_;
    std::shared_ptr<Database> db_;
    QVector<GridColumn> columns_;
    QVector<QPair<QString, Calculation>> calculated_;
    QString statement_;
};

}  // namespace tunnel::db
