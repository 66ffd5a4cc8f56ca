#pragma once

#include <cstdint>

namespace tunnel::shell {

// One Frame_ExecFunc: bind the host's callbacks, ask for the code's right, then create the
// code's window, show it modally and destroy it when it closes; the overview (9) is kept open
// beside the host's windows instead, the call returning at once, where the host runs Qt's
// event loop.
void execFunc(std::uint32_t functionCode);
// Closes the windows kept open beside the host's: when the module unloads.
void closeWindowsBeside();

// The module's user-interface application: the host's, or one of our own for a host without.
void ensureApplication();
void releaseOwnApplication();

}  // namespace tunnel::shell
