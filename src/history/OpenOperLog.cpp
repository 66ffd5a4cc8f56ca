#include "history/OpenOperLog.h"

#include "data/OperationLog.h"
#include "platform/db/GridModel.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include <QAction>
#include <QTableView>

namespace tunnel::history {

void addOperLogEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                     ChosenLogRow chosen) {
    auto* open = new QAction(QStringLiteral("操作记录(&L)..."), &window);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    open->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(open, &QAction::triggered, &window, [context, chosen] {
        ui::guarded([&] {
            const std::optional<OperLogStart> row = chosen();
            if (!row) {
                return;
            }
            TfmOperLog log(ui::applicationWindow(), context, *row);
            ui::runModal(log);
        });
    });
    window.addAction(open);
    grid.addAction(open);
    if (grid.contextMenuPolicy() != Qt::CustomContextMenu) {
        grid.setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

ChosenLogRow chosenDeviceRow(const QTableView& grid, const db::GridModel& model) {
    return [&grid, &model]() -> std::optional<OperLogStart> {
        const int row = grid.currentIndex().row();
        if (row < 0 || model.isEmpty()) {
            return std::nullopt;
        }
        const QStringList key = {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")};
        return OperLogStart{
            QStringLiteral("DEVICE"),
            data::keyText(key, {model.fieldValue(row, key[0]), model.fieldValue(row, key[1])})};
    };
}

}  // namespace tunnel::history
