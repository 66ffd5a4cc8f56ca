#include "shell/ModuleState.h"

namespace tunnel::shell {

ModuleState& moduleState() {
    static ModuleState state;
    return state;
}

}  // namespace tunnel::shell
