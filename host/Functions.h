#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace tunnel::host {

struct Function {
    std::uint32_t code;
    QString caption;  // the caption of the window the code opens
};

// The plug-in's function codes, as the host's menu and toolbar offer them.
const std::vector<Function>& pluginFunctions();

}  // namespace tunnel::host
