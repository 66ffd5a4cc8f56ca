#pragma once

class QTableView;

namespace tunnel::db {
class GridModel;
class KeysetQueryModel;
}  // namespace tunnel::db

namespace tunnel::ui {

// A read-only grid as the module's lists show it: whole-row selection, titles in the window's
// font, lines, columns that can be resized (and moved when `movableColumns`), a row indicator
// where the window has one, bound to `model` with its columns' widths. Tab leaves the grid for
// the next control. A batch that fails to load while scrolling goes to the error report.
enum class RowMark { None, Indicator };
void bindReadOnlyGrid(QTableView& grid, db::GridModel& model, bool movableColumns,
                      RowMark rowMark = RowMark::None);

// Rows as high as the grid's font and a few pixels, as the module's grids were laid out.
void useCompactRows(QTableView& grid);

// Ctrl+C, and "复制(&C)" in the grid's context menu when `withMenu`, copy the selected rows as
// tab-separated display texts, one line a row, in the order the columns are shown.
void enableRowCopy(QTableView& grid, bool withMenu);

// A click on the title of `column` reverses the order the rows are read in and reads them
// afresh, in the database (once a statement has run); the other titles do not sort.
void reverseOrderOnTitleClick(QTableView& grid, db::KeysetQueryModel& model, int column);

}  // namespace tunnel::ui
