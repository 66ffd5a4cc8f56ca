#pragma once

#include "data/ModuleContext.h"

#include <functional>
#include <optional>
#include <utility>

class QTableView;
class QWidget;

namespace tunnel::db {
class GridModel;
}

namespace tunnel::history {

// The device a grid's chosen row names: type and number; none when no row is chosen.
using ChosenDevice = std::function<std::optional<std::pair<int, int>>()>;

// "运行记录(&T)..." in the grid's context menu and Ctrl+T in its window open the timeline of the
// device the chosen row names.
// The device named by the DEVICETYPE and DEVICECODE fields of a grid's chosen row.
ChosenDevice chosenRowDevice(const QTableView& grid, const db::GridModel& model);

void addTimelineEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                      ChosenDevice chosen);

}  // namespace tunnel::history
