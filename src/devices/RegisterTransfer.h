#pragma once

#include "data/ModuleContext.h"

#include <functional>
#include <optional>

class QTableView;
class QWidget;

namespace tunnel::devices {

// "导出设备表(&X)..." (Ctrl+Shift+E) and "导入设备表(&I)..." (Ctrl+Shift+I) in the device
// list's context menu. The export writes the devices of the list as it is filtered
// (`filteredType`, none for every device); after an import `reload` reads the list afresh.
void addRegisterEntries(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                        std::function<std::optional<int>()> filteredType,
                        std::function<void()> reload);

}  // namespace tunnel::devices
