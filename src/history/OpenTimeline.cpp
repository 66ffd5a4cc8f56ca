#include "history/OpenTimeline.h"

#include "history/TfmDeviceTimeline.h"
#include "platform/db/GridModel.h"
#include "platform/db/ValueText.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/WindowEntry.h"

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
    ui::addWindowEntry(window, &grid, QStringLiteral("运行记录(&T)..."),
                       QKeySequence(Qt::CTRL | Qt::Key_T), [context, chosen] {
                           const std::optional<std::pair<int, int>> device = chosen();
                           if (!device) {
                               return;
                           }
                           TfmDeviceTimeline timeline(ui::applicationWindow(), context,
                                                      device->first, device->second);
                           ui::runModal(timeline);
                       });
}

}  // namespace tunnel::history
