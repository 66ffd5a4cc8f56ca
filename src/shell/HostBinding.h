#pragma once

#include <devicemgmt/frame.h>

namespace tunnel::shell {

// Looks the six callbacks up in the host module, in their fixed order, rewriting the bound
// table; each missing one is announced in a plain message before the next look-up. Calls
// Frame_GetWorkPath and keeps a copy of its text. True when all six were found.
bool bindHostCallbacks(FrameModule hostModule);

}  // namespace tunnel::shell
