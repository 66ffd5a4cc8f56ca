#include "platform/ui/ReadWindow.h"

#include "platform/db/KeysetQueryModel.h"

#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTableView>

namespace tunnel::ui {
namespace {

// Rows put in or taken out above the view move what it shows unless the view moves with them.
void keepRowsInPlace(QTableView& grid, int first, int count) {
    if (first == 0) {
        QScrollBar& bar = *grid.verticalScrollBar();
        bar.setValue(bar.value() + count);
    }
}

}  // namespace

void followReadWindow(QTableView& grid, db::KeysetQueryModel& model) {
    grid.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &grid,
                     [&grid, &model](const QModelIndex&, int first, int last) {
                         if (model.rowCount() > last - first + 1) {
                             keepRowsInPlace(grid, first, last - first + 1);
                         }
                     });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &grid,
                     [&grid](const QModelIndex&, int first, int last) {
                         keepRowsInPlace(grid, first, -(last - first + 1));
                     });
    // Read after the view has finished moving, never while it is handling the move.
    const auto atTop = [&grid, &model] {
        QMetaObject::invokeMethod(
            &grid, [&model] { model.fetchAbove(); }, Qt::QueuedConnection);
    };
    QObject::connect(grid.verticalScrollBar(), &QScrollBar::valueChanged, &grid,
                     [&grid, atTop](int value) {
                         if (value == grid.verticalScrollBar()->minimum()) {
                             atTop();
                         }
                     });
    QObject::connect(grid.selectionModel(), &QItemSelectionModel::currentRowChanged, &grid,
                     [atTop](const QModelIndex& current) {
                         if (current.row() == 0) {
                             atTop();
                         }
                     });
}

}  // namespace tunnel::ui
