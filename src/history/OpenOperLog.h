#pragma once

#include "data/ModuleContext.h"
#include "history/TfmOperLog.h"

#include <functional>
#include <optional>

class QTableView;
class QWidget;

namespace tunnel::history {

// The log rows of the chosen row: its table and key; none when no row is chosen.
using ChosenLogRow = std::function<std::optional<OperLogStart>()>;

// "操作记录(&L)..." in the grid's context menu and Ctrl+L in its window open the operation log
// on the chosen row's key (a grid that has a menu of its own keeps exactly that menu).
void addOperLogEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                     ChosenLogRow chosen);

// The device a device grid's chosen row names, as the log keys it.
ChosenLogRow chosenDeviceRow(const QTableView& grid, const db::GridModel& model);
// Where the log opens for a device.
OperLogStart deviceLogStart(int deviceType, int deviceCode);

}  // namespace tunnel::history
