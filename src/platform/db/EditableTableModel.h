#pragma once

#include "platform/db/DbError.h"
#include "platform/db/GridColumn.h"

#include <QAbstractTableModel>

#include <QStringList>
#include <QVariant>
#include <functional>

#include <memory>
#include <vector>

namespace tunnel::db {

class Database;

// A whole table as an editable dataset: browse, edit and insert states; a row is written when
// it is posted (the window posts on confirm and on a change of row) and dropped when
// cancelled; the current row can be deleted. Values are bound, never spliced, and the database
// alone judges them: a refused row stays in its state with the user's values.
class EditableTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit EditableTableModel(QObject* parent = nullptr);
    ~EditableTableModel() override;

    void setConnectionString(const QString& connectionString);
    void setTable(const QString& table);
    // The columns that name a row for updates and deletes (by their values when last read).
    void setKeyFields(const QStringList& fields);
    // The columns shown, in order; the table's other columns are loaded but not shown.
    void setColumns(QVector<GridColumn> columns);
    // Told of every row the model writes, inside the write's transaction, with the row's fields
    // before and after (empty for an insert's before and a delete's after): what it records
    // lands with the write or not at all.
    using WriteWitness = std::function<void(Database& db, const QStringList& fields,
                                            const QVariantList& before, const QVariantList& after)>;
    void setWriteWitness(WriteWitness witness) { witness_ = std::move(witness); }

    void open();  // throws DbError
    void close();

    State state() const { return state_; }
    bool isModified() const { return modified_; }
    int currentRow() const { return current_; }
    bool isEmpty() const { return rows_.empty(); }

    // Makes `row` current, posting a pending row first; false (and nothing moves) when that
    // post is refused.
    bool setCurrentRow(int row);
    // Posts a pending row, then adds an empty row at the end in the insert state.
    bool append();
    // Puts the current row into editing; an empty table gets a new row instead.
    bool edit();
    // Writes the pending row; false when the database refuses it (postError is emitted) or
    // when another program changed or removed the stored row meanwhile (rowGone is emitted and
    // the table is read afresh: nothing is reported as saved that was not).
    bool post();
    void cancel();
    // Drops a new row, or deletes the current stored row from the table. Throws DbError, also
    // when there is no row at all, and RowGone (after reading the table afresh) when another
    // program removed or changed the row meanwhile.
    void deleteCurrent();

    QVariant fieldValue(int row, const QString& field) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void afterPost();
    void afterCancel();
    void postError(const QString& message);
    // The pending row waited for a lock in vain: not an input error, and it stays pending for
    // another try.
    void busy(const tunnel::db::DbError& error);
    void rowGone(const QString& message);
    void currentRowChanged(int row);

private:
    struct Row {
        QVector<QVariant> values;
        QVector<QVariant> stored;  // as last read or written; names the row in the table
    };

    Database& database();
    int fieldIndex(const QString& field) const;
    // Runs `write` (false: it wrote nothing) and tells the witness, in one transaction.
    void witnessed(const std::function<bool()>& write, const QVariantList& before,
                   const QVariantList& after);
    void insertRow(Row& row);
    void updateRow(Row& row);
    QString keyCondition(const Row& row, QVariantList& binds) const;
    void setCurrent(int row);
    void reopenAfterOthersWrote();

    QString connectionString_;
    std::shared_ptr<Database> db_;
    QString table_;
    QStringList keyFields_;
    QVector<GridColumn> columns_;
    QStringList fields_;
    std::vector<Row> rows_;
    State state_ = State::Inactive;
    bool modified_ = false;
    WriteWitness witness_;
    int current_ = -1;
};

}  // namespace tunnel::db
