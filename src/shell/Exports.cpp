// The plug-in's only exported symbols.
#include <devicemgmt/frame.h>

#include "data/OperationLog.h"
#include "platform/db/SessionPool.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "shell/Dispatch.h"
#include "shell/ModuleState.h"

#include <QTimer>
#include <QWidget>

namespace {

// Load and unload of the module: the owner window the module found is put back, and the
// connection string and work path are forgotten.
// Said once a load, after the change that found no log table has ended (no box stands open
// inside a transaction).
void tellLogIsMissing() {
    QTimer::singleShot(0, [] {
        tunnel::ui::messageBox(
            QStringLiteral("数据库中没有操作记录表 OPERLOG，所做的修改不会被记录。\n"
                           "请数据库管理员运行 tunneldb upgrade 连接字符串 添加该表。"),
            QStringLiteral("提示"), tunnel::ui::mb::IconWarning);
    });
}

struct ModuleLifetime {
    ModuleLifetime() {
        tunnel::shell::moduleState().savedApplicationWindow = tunnel::ui::applicationWindow();
        tunnel::data::setMissingLogNotice(&tellLogIsMissing);
    }
    ~ModuleLifetime() {
        tunnel::shell::closeWindowsBeside();
        tunnel::data::setMissingLogNotice({});
        tunnel::db::sessionPool::closeAll();
        auto& state = tunnel::shell::moduleState();
        tunnel::ui::setApplicationWindow(state.savedApplicationWindow);
        tunnel::ui::setForeignApplicationWindow(0);
        state.connectionString.clear();
        state.callbacks.workPath.clear();
        tunnel::shell::releaseOwnApplication();
    }
};

const ModuleLifetime lifetime;

}  // namespace

extern "C" {

FRAME_EXPORT FrameModule FRAME_CALL Frame_Init(FrameWindow applicationWindow,
                                               FrameModule hostModule, intptr_t, intptr_t) {
    tunnel::shell::ensureApplication();
    QWidget* owner = QWidget::find(static_cast<WId>(applicationWindow));
    tunnel::ui::setApplicationWindow(owner);
    tunnel::ui::setForeignApplicationWindow(
        owner == nullptr ? static_cast<quintptr>(applicationWindow) : 0);
    tunnel::shell::moduleState().hostModule = hostModule;
    return hostModule;
}

FRAME_EXPORT void FRAME_CALL Frame_SetAdoString(const char* connectionString) {
    tunnel::db::sessionPool::closeAll();  // the sessions of the connection string given before
    tunnel::shell::moduleState().connectionString =
        connectionString == nullptr ? QByteArray() : QByteArray(connectionString);
}

FRAME_EXPORT void FRAME_CALL Frame_ExecFunc(uint32_t functionCode) {
    // An error must not unwind into a host that may not be C++: it is reported here instead.
    tunnel::ui::guarded([functionCode] { tunnel::shell::execFunc(functionCode); });
}

}  // extern "C"
