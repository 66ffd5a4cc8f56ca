#pragma once

#include "data/ModuleContext.h"

#include <QDialog>

#include <cstdint>
#include <memory>

namespace tunnel::shell {

using WindowFactory = std::unique_ptr<QDialog> (*)(QWidget* owner,
                                                   const data::ModuleContext& context);

struct FunctionEntry {
    int right;                // the right asked of the host; 0: none
    WindowFactory create;     // null while the window is not built yet
    bool besideHost = false;  // kept open beside the host's windows, not modal
};

// The entry of a function code, or null for a code outside 1 to 10.
const FunctionEntry* functionEntry(std::uint32_t code);

}  // namespace tunnel::shell
