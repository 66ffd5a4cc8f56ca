// The six callbacks the plug-in looks up in the host's executable.
#include <devicemgmt/frame.h>

#include "HostServices.h"

#include "platform/text/Gbk.h"

#include <QWidget>

using tunnel::host::HostServices;

extern "C" {

FRAME_EXPORT int32_t FRAME_CALL Frame_ExecSqlCmd(const char* statement) {
    return HostServices::instance().executeStatement(tunnel::text::fromGbk(statement)) ? 1 : 0;
}

FRAME_EXPORT FrameWindow FRAME_CALL Frame_GetMainHandle(void) {
    QWidget* window = HostServices::instance().mainWindow();
    return window == nullptr ? 0 : static_cast<FrameWindow>(window->winId());
}

FRAME_EXPORT int32_t FRAME_CALL Frame_HaveRight(int32_t right) {
    return HostServices::instance().hasRight(right) ? 1 : 0;
}

FRAME_EXPORT void* FRAME_CALL Frame_GetImageByID(int32_t) {
    return nullptr;
}

FRAME_EXPORT void FRAME_CALL Frame_AddSystemLog(const char* text) {
    HostServices::instance().log(tunnel::text::fromGbk(text));
}

FRAME_EXPORT const char* FRAME_CALL Frame_GetWorkPath(void) {
    return HostServices::instance().workPathGbk();
}

}  // extern "C"
