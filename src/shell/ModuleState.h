#pragma once

#include <devicemgmt/frame.h>

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace tunnel::shell {

// The callbacks found at the last binding (null where the host lacks one).
struct HostCallbacks {
    Frame_ExecSqlCmd_t execSqlCmd = nullptr;
    Frame_GetMainHandle_t getMainHandle = nullptr;
    Frame_HaveRight_t haveRight = nullptr;
    Frame_GetImageByID_t getImageById = nullptr;
    Frame_AddSystemLog_t addSystemLog = nullptr;
    QString workPath;
};

// The one module-wide state; nothing else outlives a Frame_ExecFunc call.
struct ModuleState {
    QByteArray connectionString;  // GBK, as the host gave it
    FrameModule hostModule = nullptr;
    QPointer<QWidget> savedApplicationWindow;
    HostCallbacks callbacks;
};

ModuleState& moduleState();

}  // namespace tunnel::shell
