#include "history/OpenTunnelView.h"

#include "history/TfmTunnelView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/WindowEntry.h"

namespace tunnel::history {

void addTunnelViewEntry(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                        ChosenDevice chosen) {
    ui::addWindowEntry(
        window, &grid, QStringLiteral("总览(&V)..."), QKeySequence(), [context, chosen] {
            const std::optional<std::pair<int, int>> device = chosen();
            if (!device) {
                return;
            }
            TfmTunnelView view(ui::applicationWindow(), context, device->first, device->second);
            ui::runModal(view);
        });
}

}  // namespace tunnel::history
