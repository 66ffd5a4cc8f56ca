#include "platform/ui/GridEnds.h"

#include "platform/db/KeysetQueryModel.h"
#include "platform/ui/ErrorReport.h"

#include <QKeyEvent>
#include <QTableView>

namespace tunnel::ui {
namespace {

class ResultEnds : public QObject {
public:
    ResultEnds(QTableView& grid, db::KeysetQueryModel& model)
        : QObject(&grid), grid_(grid), model_(model) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::ControlModifier ||
            (key->key() != Qt::Key_End && key->key() != Qt::Key_Home)) {
            return QObject::eventFilter(watched, event);
        }
        const bool toEnd = key->key() == Qt::Key_End;
        guarded([&] {
            if (toEnd && model_.canFetchMore()) {
                model_.reloadAtEnd();
            } else if (!toEnd && model_.canFetchAbove()) {
                model_.reload();
            }
        });
        goTo(toEnd ? model_.rowCount() - 1 : 0);
        return true;
    }

private:
    void goTo(int row) {
        if (row < 0) {
            return;
        }
        const int column = grid_.currentIndex().isValid() ? grid_.currentIndex().column() : 0;
        const QModelIndex index = model_.index(row, column);
        grid_.setCurrentIndex(index);
        grid_.scrollTo(index);
    }

    QTableView& grid_;
    db::KeysetQueryModel& model_;
};

}  // namespace

void goToResultEndsOnCtrlHomeEnd(QTableView& grid, db::KeysetQueryModel& model) {
    grid.installEventFilter(new ResultEnds(grid, model));
}

}  // namespace tunnel::ui
