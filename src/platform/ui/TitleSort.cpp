#include "platform/ui/TitleSort.h"

#include "platform/db/KeysetQueryModel.h"
#include "platform/ui/ErrorReport.h"

#include <QHeaderView>
#include <QTableView>

namespace tunnel::ui {

TitleSort::TitleSort(QTableView& grid, db::KeysetQueryModel& model, QStringList key,
                     std::function<void()> reread)
    : grid_(grid), model_(model), key_(std::move(key)), reread_(std::move(reread)) {
    QHeaderView& titles = *grid_.horizontalHeader();
    titles.setSectionsClickable(true);
    titles.setSortIndicatorShown(false);
    QObject::connect(&titles, &QHeaderView::sectionClicked, &grid_,
                     [this](int column) { guarded([&] { sortBy(column); }); });
    model_.setOrder(order());
}

void TitleSort::sortAs(const QString& field, QStringList columns) {
    sortColumns_.insert(field, std::move(columns));
}

db::GridOrder TitleSort::order() const {
    QStringList columns;
    if (!field_.isEmpty()) {
        columns = sortColumns_.value(field_, {field_});
    }
    for (const QString& key : key_) {
        if (!columns.contains(key)) {
            columns.append(key);
        }
    }
    return {columns, descending_};
}

void TitleSort::sortBy(int column) {
    const QString field = model_.columns().value(column).field;
    descending_ = field == field_ && !descending_;
    field_ = field;
    QHeaderView& titles = *grid_.horizontalHeader();
    titles.setSortIndicatorShown(true);
    titles.setSortIndicator(column, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    model_.setOrder(order());
    reread_();
}

}  // namespace tunnel::ui
