#pragma once

#include "data/DeviceSearch.h"
#include "data/ModuleContext.h"

#include <QVariantList>

#include <functional>

class QTableView;
class QWidget;

namespace tunnel::devices {

// Ctrl+F in the window, and "查找(&F)..." in the grid's context menu when `grid` is given (a
// grid that has a menu of its own keeps exactly that menu), open the device search narrowed to
// `scope`; the key (DEVICETYPE, DEVICECODE) of the device the operator chose goes to `found`.
using FoundDevice = std::function<void(const QVariantList& key)>;
void addFindEntry(QWidget& window, QTableView* grid, const data::ModuleContext& context,
                  const data::DeviceSearch& scope, FoundDevice found);

// What a window says when the device chosen in the search was removed meanwhile.
void reportDeviceGone(const QVariantList& key);

}  // namespace tunnel::devices
