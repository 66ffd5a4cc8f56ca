#pragma once

class QTableView;

namespace tunnel::db {
class KeysetQueryModel;
}

namespace tunnel::ui {

// A grid over a keyset model shows a window of the result that moves with the view: rows above
// the first one held come in as the view reaches the top, rows let go at either end go, and the
// rows on screen stay where they are through both (the view scrolls by whole rows).
void followReadWindow(QTableView& grid, db::KeysetQueryModel& model);

}  // namespace tunnel::ui
