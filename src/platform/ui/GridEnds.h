#pragma once

class QTableView;

namespace tunnel::db {
class KeysetQueryModel;
}

namespace tunnel::ui {

// Ctrl+End goes to the last row of the grid's result and Ctrl+Home to its first, however many
// rows there are: the model reads the batch at that end (from the other end of the order, as
// its key set allows) when it does not hold it. Qt's own keys go only to the rows read so far.
void goToResultEndsOnCtrlHomeEnd(QTableView& grid, db::KeysetQueryModel& model);

}  // namespace tunnel::ui
