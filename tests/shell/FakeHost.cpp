// A host module for the plug-in's binding: exports the six callbacks, less those named by the
// OMIT_* definitions it is built with, and a control block the test reads and sets.
#include <devicemgmt/frame.h>

#include "FakeHost.h"

namespace {
FakeHostControl control;
}

extern "C" {

FRAME_EXPORT FakeHostControl* FakeHost_control() {
    return &control;
}

#ifndef OMIT_EXEC_SQL
FRAME_EXPORT int32_t FRAME_CALL Frame_ExecSqlCmd(const char* statement) {
    control.statements.emplace_back(statement == nullptr ? "" : statement);
    return 1;
}
#endif
#ifndef OMIT_MAIN_HANDLE
FRAME_EXPORT FrameWindow FRAME_CALL Frame_GetMainHandle(void) {
    return 0;
}
#endif
#ifndef OMIT_HAVE_RIGHT
FRAME_EXPORT int32_t FRAME_CALL Frame_HaveRight(int32_t right) {
    control.rightsAsked.push_back(right);
    return control.rightAnswer;
}
#endif
#ifndef OMIT_IMAGE
FRAME_EXPORT void* FRAME_CALL Frame_GetImageByID(int32_t) {
    return nullptr;
}
#endif
#ifndef OMIT_LOG
FRAME_EXPORT void FRAME_CALL Frame_AddSystemLog(const char*) {}
#endif
#ifndef OMIT_WORK_PATH
FRAME_EXPORT const char* FRAME_CALL Frame_GetWorkPath(void) {
    ++control.workPathCalls;
    return control.workPath;
}
#endif

}  // extern "C"
