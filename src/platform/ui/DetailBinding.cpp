#include "platform/ui/DetailBinding.h"

#include "platform/db/GridModel.h"
#include "platform/ui/ErrorReport.h"

#include <QItemSelectionModel>
#include <QTableView>

namespace tunnel::ui {

DetailBinding::DetailBinding(QTableView& masterGrid, QTableView& detailGrid, db::GridModel& detail,
                             DetailStatement statement)
    : masterGrid_(masterGrid),
      detailGrid_(detailGrid),
      detail_(detail),
      statement_(std::move(statement)) {
    // The master's model is set before the binding: its selection model is the one to follow.
    QObject::connect(masterGrid_.selectionModel(), &QItemSelectionModel::currentRowChanged,
                     &masterGrid_, [this] { guarded([this] { refresh(); }); });
    QObject::connect(masterGrid_.model(), &QAbstractItemModel::modelReset, &masterGrid_,
                     [this] { guarded([this] { refresh(); }); });
}

void DetailBinding::refresh() {
    const int row = masterGrid_.currentIndex().row();
    if (row < 0) {
        detail_.close();
        return;
    }
    detail_.setStatement(statement_(row));
    detail_.reload();
    if (!detail_.isEmpty()) {
        detailGrid_.setCurrentIndex(detail_.index(0, 0));
    }
}

}  // namespace tunnel::ui
