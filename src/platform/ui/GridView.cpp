#include "platform/ui/GridView.h"

#include "platform/db/GridModel.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/ui/ErrorReport.h"

#include <QHeaderView>
#include <QTableView>

namespace tunnel::ui {

void useCompactRows(QTableView& grid) {
    const int height = grid.fontMetrics().height() + 6;
    QHeaderView& rows = *grid.verticalHeader();
    rows.setMinimumSectionSize(height);
    rows.setDefaultSectionSize(height);
    rows.setSectionResizeMode(QHeaderView::Fixed);
}

void reverseOrderOnTitleClick(QTableView& grid, db::KeysetQueryModel& model, int column) {
    QHeaderView& titles = *grid.horizontalHeader();
    titles.setSectionsClickable(true);
    QObject::connect(&titles, &QHeaderView::sectionClicked, &grid, [&grid, &model, column](int clicked) {
        if (clicked != column || model.statement().isEmpty()) {
            return;
        }
        db::GridOrder order = model.order();
        order.descending = !order.descending;
        model.setOrder(order);
        grid.horizontalHeader()->setSortIndicatorShown(true);
        grid.horizontalHeader()->setSortIndicator(
            column, order.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        guarded([&model] { model.reload(); });
    });
}

void bindReadOnlyGrid(QTableView& grid, db::GridModel& model, bool movableColumns) {
    grid.setModel(&model);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.setShowGrid(true);
    grid.verticalHeader()->setVisible(true);
    useCompactRows(grid);
    grid.horizontalHeader()->setSectionsMovable(movableColumns);
    grid.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    const auto& columns = model.columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].width >= 0) {
            grid.setColumnWidth(i, columns[i].width);
        }
    }
    // Rows are read while the grid paints; a message box there would run inside the paint
    // event, so the failure is reported once the paint is over.
    QObject::connect(
        &model, &db::GridModel::fetchFailed, &grid,
        [](const QString& message, const QString& details) { reportError(message, details); },
        Qt::QueuedConnection);
}

}  // namespace tunnel::ui
