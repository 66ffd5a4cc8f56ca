#pragma once

#include <cstdint>

namespace tunnel::shell {

// One Frame_ExecFunc: bind the host's callbacks, ask for the code's right, then create the
// code's window, show it modally and destroy it when it closes.
void execFunc(std::uint32_t functionCode);

// The module's user-interface application: the host's, or one of our own for a host without.
void ensureApplication();
void releaseOwnApplication();

}  // namespace tunnel::shell
