#include "platform/ui/WindowEntry.h"

#include "platform/ui/ErrorReport.h"

#include <QAction>
#include <QTableView>

namespace tunnel::ui {

void addWindowEntry(QWidget& window, QTableView* grid, const QString& title,
                    const QKeySequence& keys, std::function<void()> run) {
    auto* action = new QAction(title, &window);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, &window,
                     [run = std::move(run)] { guarded([&run] { run(); }); });
    window.addAction(action);
    if (grid == nullptr) {
        return;
    }
    grid->addAction(action);
    if (grid->contextMenuPolicy() != Qt::CustomContextMenu) {
        grid->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

}  // namespace tunnel::ui
