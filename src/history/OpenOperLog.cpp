#include "history/OpenOperLog.h"

#include "data/OperationLog.h"
#include "history/OpenTimeline.h"
#include "platform/db/GridModel.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/WindowEntry.h"

#include <QTableView>

namespace tunnel::history {

void addOperLogEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                     ChosenLogRow chosen) {
    ui::addWindowEntry(window, &grid, QStringLiteral("操作记录(&L)..."),
                       QKeySequence(Qt::CTRL | Qt::Key_L), [context, chosen] {
                           const std::optional<OperLogStart> row = chosen();
                           if (!row) {
                               return;
                           }
                           TfmOperLog log(ui::applicationWindow(), context, *row);
                           ui::runModal(log);
                       });
}

ChosenLogRow chosenDeviceRow(const QTableView& grid, const db::GridModel& model) {
    return [device = chosenRowDevice(grid, model)]() -> std::optional<OperLogStart> {
        const std::optional<std::pair<int, int>> key = device();
        if (!key) {
            return std::nullopt;
        }
        return deviceLogStart(key->first, key->second);
    };
}

OperLogStart deviceLogStart(int deviceType, int deviceCode) {
    return OperLogStart{QStringLiteral("DEVICE"),
                        data::keyText({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
                                      {deviceType, deviceCode})};
}

}  // namespace tunnel::history
