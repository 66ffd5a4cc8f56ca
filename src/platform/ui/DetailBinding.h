#pragma once

#include <QString>

#include <functional>

class QTableView;

namespace tunnel::db {
class GridModel;
}

namespace tunnel::ui {

// A detail grid that follows the chosen row of a master grid: for every row chosen, the detail
// statement made from that row runs afresh (a window shows, say, the wiring of the gateway
// chosen above it), and stands on its first row, as a dataset does. No row chosen leaves the
// detail grid empty.
class DetailBinding {
public:
    // The detail statement for a master row.
    using DetailStatement = std::function<QString(int masterRow)>;

    DetailBinding(QTableView& masterGrid, QTableView& detailGrid, db::GridModel& detail,
                  DetailStatement statement);

    // Runs the detail statement for the row chosen now. Throws DbError (the detail is empty).
    void refresh();

private:
    QTableView& masterGrid_;
    QTableView& detailGrid_;
    db::GridModel& detail_;
    DetailStatement statement_;
};

}  // namespace tunnel::ui
