#include "platform/ui/GridView.h"

#include "platform/db/GridModel.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/GridEnds.h"
#include "platform/ui/ReadWindow.h"
#include "platform/ui/RowIndicator.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
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

namespace {

QString selectedRowsText(const QTableView& grid) {
    const QAbstractItemModel& model = *grid.model();
    QList<int> rows;
    for (const QModelIndex& index : grid.selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    if (rows.isEmpty() && grid.currentIndex().isValid()) {
        rows.append(grid.currentIndex().row());
    }
    std::sort(rows.begin(), rows.end());
    const QHeaderView& header = *grid.horizontalHeader();
    QStringList lines;
    for (const int row : rows) {
        QStringList cells;
        for (int visual = 0; visual < header.count(); ++visual) {
            cells.append(model.data(model.index(row, header.logicalIndex(visual))).toString());
        }
        lines.append(cells.join(u'\t'));
    }
    return lines.join(u'\n');
}

}  // namespace

void enableRowCopy(QTableView& grid, bool withMenu) {
    auto* copy = new QAction(QStringLiteral("复制(&C)"), &grid);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(copy, &QAction::triggered, &grid, [&grid] {
        if (grid.model() != nullptr && grid.currentIndex().isValid()) {
            QGuiApplication::clipboard()->setText(selectedRowsText(grid));
        }
    });
    grid.addAction(copy);
    if (withMenu) {
        grid.setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

void reverseOrderOnTitleClick(QTableView& grid, db::KeysetQueryModel& model, int column) {
    QHeaderView& titles = *grid.horizontalHeader();
    titles.setSectionsClickable(true);
    QObject::connect(&titles, &QHeaderView::sectionClicked, &grid,
                     [&grid, &model, column](int clicked) {
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

void bindReadOnlyGrid(QTableView& grid, db::GridModel& model, bool movableColumns,
                      RowMark rowMark) {
    grid.setModel(&model);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.setShowGrid(true);
    grid.setTabKeyNavigation(false);
    useCompactRows(grid);
    if (rowMark == RowMark::Indicator) {
        RowIndicator::attach(grid);
    } else {
        grid.verticalHeader()->setVisible(false);
    }
    // Titles in the window's font: a selected row would make every title bold, and a desktop
    // theme may give headers a face of its own.
    grid.horizontalHeader()->setHighlightSections(false);
    grid.horizontalHeader()->setFont(grid.font());
    grid.horizontalHeader()->setSectionsMovable(movableColumns);
    grid.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    const auto& columns = model.columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].width >= 0) {
            grid.setColumnWidth(i, columns[i].width);
        }
    }
    if (auto* keyset = qobject_cast<db::KeysetQueryModel*>(&model)) {
        followReadWindow(grid, *keyset);
        goToResultEndsOnCtrlHomeEnd(grid, *keyset);
    }
    // Rows are read while the grid paints; a message box there would run inside the paint
    // event, so the failure is reported once the paint is over.
    QObject::connect(
        &model, &db::GridModel::fetchFailed, &grid,
        [](const QString& message, const QString& details) { reportError(message, details); },
        Qt::QueuedConnection);
}

}  // namespace tunnel::ui
