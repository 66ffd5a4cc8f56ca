#include "platform/ui/ListBinding.h"

#include "platform/db/KeysetQueryModel.h"
#include "platform/ui/ErrorReport.h"

#include <QTableView>

namespace tunnel::ui {

ListBinding::ListBinding(QTableView& grid, db::KeysetQueryModel& model, QStringList keyFields,
                         QList<QWidget*> rowButtons)
    : grid_(grid),
      model_(model),
      keyFields_(std::move(keyFields)),
      rowButtons_(std::move(rowButtons)) {
    QObject::connect(&model_, &QAbstractItemModel::modelReset, &grid_, [this] { setRowButtons(); });
    setRowButtons();
}

void ListBinding::setRowButtons() {
    for (QWidget* button : rowButtons_) {
        button->setEnabled(!model_.isEmpty());
    }
}

void ListBinding::select(int row) {
    if (row < 0 || model_.isEmpty()) {
        return;
    }
    const int column = std::max(grid_.currentIndex().column(), 0);
    grid_.setCurrentIndex(model_.index(row, column));
    grid_.scrollTo(grid_.currentIndex());
}

void ListBinding::reload() {
    model_.reload();
    select(0);
}

bool ListBinding::reloadOn(const Selection& selection) {
    const auto place = model_.reloadOnRow(keyFields_, selection.key, selection.orderValues);
    select(place.row);
    return place.found;
}

bool ListBinding::reloadAfterAction(const Selection& target,
                                    const std::optional<Selection>& atStart) {
    const std::optional<Selection> now = selected();
    const bool chosenSince = now && (!atStart || now->key != atStart->key);
    if (chosenSince) {
        reloadOn(*now);
        return true;
    }
    return reloadOn(target);
}

void ListBinding::reloadInNewOrder() {
    if (model_.statement().isEmpty()) {
        return;
    }
    if (const std::optional<Selection> selection = selected()) {
        reloadOn({selection->key, {}});
    } else {
        reload();
    }
}

std::optional<ListBinding::Selection> ListBinding::selected() const {
    const int row = grid_.currentIndex().row();
    if (row < 0 || row >= model_.rowCount()) {
        return std::nullopt;
    }
    Selection selection;
    for (const QString& field : keyFields_) {
        selection.key.append(model_.fieldValue(row, field));
    }
    selection.orderValues = model_.orderValues(row);
    return selection;
}

}  // namespace tunnel::ui
