#pragma once

#include "platform/db/KeysetSql.h"

#include <QHash>
#include <QStringList>

#include <functional>

class QTableView;

namespace tunnel::db {
class KeysetQueryModel;
}

namespace tunnel::ui {

// A click on a column title of a keyset grid sorts its rows in the database by that column,
// a second click on the same title the other way; the grid's key follows the column so that
// the order is total. Until a title is clicked the rows are in key order.
class TitleSort {
public:
    // `reread` reads the grid afresh in the new order, holding its chosen row as it sees fit.
    TitleSort(QTableView& grid, db::KeysetQueryModel& model, QStringList key,
              std::function<void()> reread);

    // A field that is not a stored column (a calculated one) sorts by these columns instead.
    void sortAs(const QString& field, QStringList columns);
    db::GridOrder order() const;

private:
    void sortBy(int column);

    QTableView& grid_;
    db::KeysetQueryModel& model_;
    QStringList key_;
    std::function<void()> reread_;
    QHash<QString, QStringList> sortColumns_;
    QString field_;
    bool descending_ = false;
};

}  // namespace tunnel::ui
