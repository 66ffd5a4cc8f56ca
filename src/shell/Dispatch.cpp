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

namespace {

// The call returns at once; a second call brings the open window forward instead of another.
void showBeside(std::uint32_t functionCode, const FunctionEntry& entry) {
    QPointer<QDialog>& open = moduleState().windowsBeside[functionCode];
    if (open.isNull()) {
        open = entry.create(ui::applicationWindow(), windowContext()).release();
        open->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (open->isMinimized()) {
        open->showNormal();
    }
    open->show();
    open->raise();
    open->activateWindow();
}

}  // namespace

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
    // Beside the host's windows where the host runs Qt's event loop, which then serves it; a host
    // without one would leave it unanswered, so there it runs modally like the others.
    if (entry->besideHost && ownApplication() == nullptr) {
        showBeside(functionCode, *entry);
        return;
    }
    // Destroyed when the modal run ends, however it ends.
    const std::unique_ptr<QDialog> window = entry->create(ui::applicationWindow(), windowContext());
    ui::runModal(*window);
}

void closeWindowsBeside() {
    for (const QPointer<QDialog>& window : std::as_const(moduleState().windowsBeside)) {
        delete window.data();
    }
    moduleState().windowsBeside.clear();
}

}  // namespace tunnel::shell
