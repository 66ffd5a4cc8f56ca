#include "wiring/TfmOmronPlcConfig.h"
#include "data/OperationLog.h"

#include "platform/text/TextRules.h"
#include "platform/ui/ErrorReport.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

namespace tunnel::wiring {
namespace {

constexpr int kBits = 16;
const QString kInput = QStringLiteral("IO输入");
const QString kOutput = QStringLiteral("IO输出");
const QString kSerial = QStringLiteral("串行接入");

PlcWording wording() {
    return {"fmOmronPlcConfig",
            QStringLiteral("OmronPLC配置"),
            data::PlcWords::OmronTerminals,
            {QStringLiteral("PLC编号"), QStringLiteral("端子类型"), QStringLiteral("地址"),
             QStringLiteral("位"), QStringLiteral("设备类型"), QStringLiteral("设备编号"),
             QStringLiteral("设备参数")},
            {QStringLiteral("PLC编号"), QStringLiteral("端子类型"), QStringLiteral("地址"),
             QStringLiteral("位"), QStringLiteral("连接设备类型"), QStringLiteral("连接设备编号"),
             QStringLiteral("连接参数描述")},
            {74, 78, 69, 68, 125, 133, 146},
            data::funcCode::kOmronMapping};
}

void selectOnly(QComboBox& list, const QStringList& items) {
    list.clear();
    list.addItems(items);
    list.setCurrentIndex(0);
}

}  // namespace

TfmOmronPlcConfig::TfmOmronPlcConfig(QWidget* owner, const data::ModuleContext& context)
    : PlcMappingWindow(owner, context, wording()) {
    cbRType->addItems({kInput, kOutput, kSerial});
    LoadFreeBits({}, 0, {});
    // Both buttons share the lower row with the parameter list.
    cbDeviceParam->resize(112, cbDeviceParam->height());
    btConnect->move(552, btConnect->y());
    btDelete->move(632, btConnect->y());

    // The grid's menu holds its one item; the copy and the map have their keys.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* N1 = PopupMenu1->addAction(QStringLiteral("删除"));
    N1->setObjectName(QStringLiteral("N1"));
    connect(N1, &QAction::triggered, this, [this] { ui::guarded([this] { btDeleteClick(); }); });
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(at)); });

    runOnPick(cbCode, static_cast<void (PlcMappingWindow::*)()>(&TfmOmronPlcConfig::cbCodeChange));
    runOnPick(cbRCode,
              static_cast<void (PlcMappingWindow::*)()>(&TfmOmronPlcConfig::cbRCodeChange));
}

int TfmOmronPlcConfig::GetTerminalTypeCode(const QString& text) {
    const QString type = text::trimmed(text);
    if (type == kInput) {
        return 2;
    }
    if (type == kOutput) {
        return 1;
    }
    return type == kSerial ? 4 : 0;
}

std::optional<int> TfmOmronPlcConfig::shownRegisterType(const QString& text) const {
    const int code = GetTerminalTypeCode(text);
    return code == 0 ? std::nullopt : std::optional<int>(code);
}

QVector<data::RegisterRow> TfmOmronPlcConfig::registerRows() const {
    return {{kInput + QStringLiteral(" 0"), 2, 0},
            {kOutput + QStringLiteral(" 1"), 1, 1},
            {kOutput + QStringLiteral(" 2"), 1, 2},
            {kSerial + QStringLiteral(" 0"), 4, 0}};
}

void TfmOmronPlcConfig::LoadFreeBits(const QString& plc, int terminalType, const QString& address) {
    cbRBit->clear();
    cbRBit->addItems(numberItems(kBits));
    cbRBit->setCurrentIndex(-1);
    if (plc.isEmpty() || address.isEmpty()) {
        return;
    }
    ADOQuery.close();
    ADOQuery.setSql(data::usedBitsStatement(plc, terminalType, address));
    ADOQuery.open();
    for (; !ADOQuery.eof(); ADOQuery.next()) {
        const int used =
            cbRBit->findText(text::trimmed(ADOQuery.text(QStringLiteral("registerbit"))));
        if (used >= 0) {
            cbRBit->removeItem(used);
        }
    }
    ADOQuery.close();
    cbRBit->setCurrentIndex(-1);
}

void TfmOmronPlcConfig::cbCodeChange() {
    cbRType->setCurrentIndex(cbRType->findText(kInput));
    cbRTypeChange();
}

void TfmOmronPlcConfig::cbRTypeChange() {
    clearDeviceSelections();
    const QString type = cbRType->currentText();
    if (type == kInput) {
        selectOnly(*cbRCode, {QStringLiteral("0")});
        cbRCodeChange();
    } else if (type == kOutput) {
        selectOnly(*cbRCode, {QStringLiteral("1"), QStringLiteral("2")});
        cbRCodeChange();
    } else if (type == kSerial) {
        selectOnly(*cbRCode, {QStringLiteral("0")});
        selectOnly(*cbRBit, {QStringLiteral("0")});
    }
}

void TfmOmronPlcConfig::cbRCodeChange() {
    LoadFreeBits(cbCode->currentText(), GetTerminalTypeCode(cbRType->currentText()),
                 cbRCode->currentText());
    if (cbRBit->count() > 0) {
        cbRBit->setCurrentIndex(0);
    }
}

// The device is marked after its mapping's insert, in the same transaction: a refused mapping
// leaves it as it was, and a refused mark takes the mapping back with it.
void TfmOmronPlcConfig::afterInsert(db::Query& query) {
    query.setSql(data::markPlcDeviceStatement(GetItemCode(cbDeviceType->currentText()),
                                              cbDeviceCode->currentText()));
    query.execute();
}

void TfmOmronPlcConfig::afterConnect() {
    LoadFreeBits(cbCode->currentText(), GetTerminalTypeCode(cbRType->currentText()),
                 cbRCode->currentText());
}

void TfmOmronPlcConfig::afterDelete(const QString& plc, int registerType,
                                    const QString& registerCode) {
    LoadFreeBits(plc, registerType, registerCode);
}

}  // namespace tunnel::wiring
