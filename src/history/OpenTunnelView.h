#pragma once

#include "data/ModuleContext.h"
#include "history/OpenTimeline.h"

class QTableView;
class QWidget;

namespace tunnel::history {

// "总览(&V)..." in the grid's context menu opens the tunnel view centred on the device the chosen
// row names.
void addTunnelViewEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                        ChosenDevice chosen);

}  // namespace tunnel::history
