#include "HostWindow.h"

#include "Functions.h"
#include "Plugin.h"

#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace tunnel::host {

HostWindow::HostWindow(Plugin& plugin, const QString& databaseDescription) : plugin_(plugin) {
    setObjectName(QStringLiteral("HostWindow"));
    setWindowTitle(QStringLiteral("隧道监控系统"));
    resize(900, 600);
    QMenu* menu = menuBar()->addMenu(QStringLiteral("设备配置(&S)"));
    QToolBar* toolbar = addToolBar(QStringLiteral("设备配置"));
    toolbar->setObjectName(QStringLiteral("FunctionBar"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const Function& function : pluginFunctions()) {
        QAction* action =
            new QAction(QStringLiteral("&%1 %2").arg(function.code).arg(function.caption), this);
        action->setObjectName(QStringLiteral("function%1").arg(function.code));
        // Codes 1 to 9 on their digits, 10 on the 0 after them.
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(function.code % 10)));
        action->setToolTip(function.caption);
        connect(action, &QAction::triggered, this,
                [this, code = function.code] { runFunction(code); });
        menu->addAction(action);
        toolbar->addAction(action);
    }
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("退出(&X)"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    auto* centre =
        new QLabel(QStringLiteral("隧道机电设备管理\n\n从菜单或工具栏选择一项功能"), this);
    centre->setAlignment(Qt::AlignCenter);
    setCentralWidget(centre);
    status_ = new QLabel(databaseDescription, this);
    statusBar()->addWidget(status_);
}

void HostWindow::runFunction(uint32_t code) {
    plugin_.execFunc(code);
}

}  // namespace tunnel::host
