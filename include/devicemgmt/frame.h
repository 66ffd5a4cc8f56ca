/* The device-management plug-in as a host sees it: the three entry points the plug-in exports
 * and the six callbacks it looks up in the host. Usable from C and C++. */
#ifndef DEVICEMGMT_FRAME_H
#define DEVICEMGMT_FRAME_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define FRAME_CALL __stdcall
#else
#define FRAME_CALL
#endif

#if defined(_WIN32)
#define FRAME_EXPORT __declspec(dllexport)
#else
#define FRAME_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A native window id (the host's main window) and a module handle (on Linux the handle of
 * dlopen(NULL, RTLD_NOW), in which the plug-in looks the callbacks up with dlsym). */
typedef uintptr_t FrameWindow;
typedef void* FrameModule;

/* Entry points of the plug-in. */

/* Ties the plug-in to the host's main window and module; returns hostModule unchanged. The last
 * two arguments are accepted and ignored. */
FRAME_EXPORT FrameModule FRAME_CALL Frame_Init(FrameWindow applicationWindow,
                                               FrameModule hostModule, intptr_t reserved1,
                                               intptr_t reserved2);
/* Copies the connection string (GBK, zero-terminated; NULL counts as empty). */
FRAME_EXPORT void FRAME_CALL Frame_SetAdoString(const char* connectionString);
/* Opens the window of function code 1 to 7 modally; returns when it has closed. */
FRAME_EXPORT void FRAME_CALL Frame_ExecFunc(uint32_t functionCode);

/* Callbacks the host exports under these names. */

/* Executes one SQL statement (GBK) on the installation's database; the result is ignored. */
typedef int32_t(FRAME_CALL* Frame_ExecSqlCmd_t)(const char* statement);
/* Required to exist; the plug-in never calls it. */
typedef FrameWindow(FRAME_CALL* Frame_GetMainHandle_t)(void);
/* Nonzero grants the right (5: device configuration, 12: state history). */
typedef int32_t(FRAME_CALL* Frame_HaveRight_t)(int32_t right);
/* Required to exist; the plug-in never calls it. */
typedef void*(FRAME_CALL* Frame_GetImageByID_t)(int32_t imageId);
/* Required to exist; the plug-in never calls it. */
typedef void(FRAME_CALL* Frame_AddSystemLog_t)(const char* text);
/* The host's work folder (GBK, zero-terminated; NULL counts as empty), copied at once. */
typedef const char*(FRAME_CALL* Frame_GetWorkPath_t)(void);

#ifdef __cplusplus
}
#endif

#endif /* DEVICEMGMT_FRAME_H */
