#include "history/OpenTimeline.h"

#include "history/TfmDeviceTimeline.h"
#include "platform/db/GridModel.h"
#include "platform/db/ValueText.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include <QAction>
#include <QTableView>

namespace tunnel::history {

ChosenDevice chosenRowDevice(const QTableView& grid, const db::GridModel& model) {
    return [&grid, &model]() -> std::optional<std::pair<int, int>> {
        const int row = grid.currentIndex().row();
        if (row < 0 || model.isEmpty()) {
            return std::nullopt;
        }
        return std::pair{db::integerOf(model.fieldValue(row, QStringLiteral("DEVICETYPE"))),
                         db::integerOf(model.fieldValue(row, QStringLiteral("DEVICECODE")))};
    };
}

void addTimelineEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                      ChosenDevice chosen) {
    auto* open = new QAction(QStringLiteral("运行记录(&T)..."), &window);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    open->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(open, &QAction::triggered, &window, [context, chosen] {
        ui::guarded([&] {
            const std::optional<std::pair<int, int>> device = chosen();
            if (!device) {
                return;
            }
            TfmDeviceTimeline timeline(ui::applicationWindow(), context, device->first,
                                       device->second);
            ui::runModal(timeline);
        });
    });
    window.addAction(open);
    grid.addAction(open);
    grid.setContextMenuPolicy(Qt::ActionsContextMenu);
}

}  // namespace tunnel::history
