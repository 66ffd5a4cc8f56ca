#include "devices/OpenFind.h"

#include "devices/TfmFindDevice.h"
#include "platform/db/ValueText.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/WindowEntry.h"

#include <QTableView>

namespace tunnel::devices {

void addFindEntry(QWidget& window, QTableView* grid, const data::ModuleContext& context,
                  const data::DeviceSearch& scope, FoundDevice found) {
    ui::addWindowEntry(window, grid, QStringLiteral("查找(&F)..."),
                       QKeySequence(Qt::CTRL | Qt::Key_F), [context, scope, found] {
                           TfmFindDevice search(ui::applicationWindow(), context, scope);
                           if (ui::runModal(search) == ui::mrOK) {
                               found(search.chosenKey());
                           }
                       });
}

void reportDeviceGone(const QVariantList& key) {
    ui::reportError(QStringLiteral("设备 %1-%2 已不存在，可能已被其他程序删除；列表已重新读取。")
                        .arg(db::integerOf(key.value(0)))
                        .arg(db::integerOf(key.value(1))));
}

}  // namespace tunnel::devices
