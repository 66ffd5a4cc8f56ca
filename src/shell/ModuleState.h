#pragma once

#include <devicemgmt/frame.h>

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

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

// The one module-wide state; nothing else outlives a Frame_ExecFunc call but the windows kept
// open beside the host's, which close when the module unloads.
struct ModuleState {
    QByteArray connectionString;  // GBK, as the host gave it
    FrameModule hostModule = nullptr;
    QPointer<QWidget> savedApplicationWindow;
    HostCallbacks callbacks;
    QHash<std::uint32_t, QPointer<QDialog>> windowsBeside;  // by function code
};

ModuleState& moduleState();

}  // namespace tunnel::shell
