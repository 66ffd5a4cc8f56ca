#include "shell/HostBinding.h"

#include "platform/text/Gbk.h"
#include "platform/ui/MessageBox.h"
#include "shell/ModuleState.h"

#include <dlfcn.h>

namespace tunnel::shell {
namespace {

// The address of `name` in the host, or null after telling the user that it is missing.
// `shownName` differs from `name` for one callback, as the host's documentation has it.
void* lookUp(FrameModule hostModule, const char* name, const char* shownName, bool& allFound) {
    // dlsym with a null handle would search every module of the process: a host that passes
    // no module has no callbacks.
    void* address = hostModule == nullptr ? nullptr : dlsym(hostModule, name);
    if (address == nullptr) {
        allFound = false;
        ui::showMessage(
            QStringLiteral("没有发现主程序中的%1函数").arg(QString::fromLatin1(shownName)));
    }
    return address;
}

template <typename Function>
Function as(void* address) {
    return reinterpret_cast<Function>(address);
}

}  // namespace

bool bindHostCallbacks(FrameModule hostModule) {
    bool allFound = true;
    HostCallbacks& c = moduleState().callbacks;
    c.execSqlCmd = as<Frame_ExecSqlCmd_t>(
        lookUp(hostModule, "Frame_ExecSqlCmd", "Frame_ExecSqlCmd", allFound));
    c.getMainHandle = as<Frame_GetMainHandle_t>(
        lookUp(hostModule, "Frame_GetMainHandle", "Frame_GetMainFormHandle", allFound));
    c.haveRight =
        as<Frame_HaveRight_t>(lookUp(hostModule, "Frame_HaveRight", "Frame_HaveRight", allFound));
    c.getImageById = as<Frame_GetImageByID_t>(
        lookUp(hostModule, "Frame_GetImageByID", "Frame_GetImageByID", allFound));
    c.addSystemLog = as<Frame_AddSystemLog_t>(
        lookUp(hostModule, "Frame_AddSystemLog", "Frame_AddSystemLog", allFound));
    const auto getWorkPath = as<Frame_GetWorkPath_t>(
        lookUp(hostModule, "Frame_GetWorkPath", "Frame_GetWorkPath", allFound));
    if (getWorkPath != nullptr) {
        c.workPath = text::fromGbk(getWorkPath());
    }
    return allFound;
}

}  // namespace tunnel::shell
