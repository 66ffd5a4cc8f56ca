#include "shell/Dispatch.h"

#include "platform/text/Gbk.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/Translation.h"
#include "shell/FunctionTable.h"
#include "shell/HostBinding.h"
#include "shell/ModuleState.h"

#include <QApplication>

namespace tunnel::shell {
namespace {

QApplication*& ownApplication() {
    static QApplication* application = nullptr;
    return application;
}

bool hostGrants(int right) {
    const auto haveRight = moduleState().callbacks.haveRight;
    return haveRight != nullptr && haveRight(right) != 0;
}

data::ModuleContext windowContext() {
    data::ModuleContext context;
    context.connectionString = text::fromGbk(moduleState().connectionString);
    context.hasRight = hostGrants;
    context.execSqlCmd = [](const QByteArray& statement) {
        if (const auto execSqlCmd = moduleState().callbacks.execSqlCmd) {
            execSqlCmd(statement.constData());
        }
    };
    return context;
}

}  // namespace

void ensureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "devicemgmt";
        static char* argv[] = {name, nullptr};
        ownApplication() = new QApplication(argc, argv);
    }
    ui::useQtChineseTexts();
}

void releaseOwnApplication() {
    ui::dropQtChineseTexts();
    delete ownApplication();
    ownApplication() = nullptr;
}

void execFunc(std::uint32_t functionCode) {
    ensureApplication();
    if (!bindHostCallbacks(moduleState().hostModule)) {
        return;
    }
    const FunctionEntry* entry = functionEntry(functionCode);
    if (entry == nullptr) {
        return;
    }
    if (entry->right != 0 && !hostGrants(entry->right)) {
        ui::messageBox(QStringLiteral("请不起,你无权操作此功能.！"), QStringLiteral("错误"),
                       ui::mb::IconStop);
        return;
    }
    if (entry->create == nullptr) {
        return;
    }
    // Destroyed when the modal run ends, however it ends.
    const std::unique_ptr<QDialog> window = entry->create(ui::applicationWindow(), windowContext());
    ui::runModal(*window);
}

}  // namespace tunnel::shell
