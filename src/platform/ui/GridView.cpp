#include "platform/ui/GridView.h"

#include "platform/db/GridModel.h"
#include "platform/ui/ErrorReport.h"

#include <QHeaderView>
#include <QTableView>

namespace tunnel::ui {

void bindReadOnlyGrid(QTableView& grid, db::GridModel& model, bool movableColumns) {
    grid.setModel(&model);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.setShowGrid(true);
    grid.verticalHeader()->setVisible(true);
    grid.verticalHeader()->setDefaultSectionSize(grid.fontMetrics().height() + 6);
    grid.horizontalHeader()->setSectionsMovable(movableColumns);
    grid.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    const auto& columns = model.columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].width >= 0) {
            grid.setColumnWidth(i, columns[i].width);
        }
    }
    QObject::connect(&model, &db::GridModel::fetchFailed, &grid,
                     [](const QString& report) { reportError(report); });
}

}  // namespace tunnel::ui
