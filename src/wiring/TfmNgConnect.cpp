#include "wiring/TfmNgConnect.h"

#include "data/TdmPublicData.h"
#include "data/WiringStatements.h"
#include "data/WiringWrites.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace tunnel::wiring {
namespace {

void addCarrying(QListWidget& list, const QString& text, int value) {
    auto* item = new QListWidgetItem(text, &list);
    item->setData(Qt::UserRole, value);
}

}  // namespace

TfmNgConnect::TfmNgConnect(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmNgConnect"), QStringLiteral("连接设备"), owner),
      ADOConnection(context.connectionString) {
    setClientSize(404, 376);
    ui::label(this, QStringLiteral("当前网关编号"), 16, 12);
    lNgCode = ui::label(this, QString(), 104, 12, 80);
    lNgCode->setObjectName(QStringLiteral("lNgCode"));
    ui::label(this, QStringLiteral("连接设备类型"), 16, 40);
    cbType = ui::dropDown(this, "cbType", 96, 36, 140);
    ui::label(this, QStringLiteral("设备编号"), 248, 40);
    cbCode = ui::dropDown(this, "cbCode", 304, 36, 90);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(8, 66, 388, 262);
    Panel1 = panel;
    ui::label(Panel1, QStringLiteral("连接参数"), 8, 6);
    lbParam = ui::listBox(Panel1, "lbParam", 8, 22, 160, 110);
    btConnect = ui::button(Panel1, "btConnect", QStringLiteral("连接(&C)"), 176, 60, 64);
    ui::label(Panel1, QStringLiteral("空闲端子"), 248, 6);
    lbPort = ui::listBox(Panel1, "lbPort", 248, 22, 132, 110);
    ui::label(Panel1, QStringLiteral("连接信息"), 8, 138);
    lbConnect = ui::listBox(Panel1, "lbConnect", 8, 154, 290, 100);
    btDisConnect = ui::button(Panel1, "btDisConnect", QStringLiteral("断开(&D)"), 306, 160);
    btClear = ui::button(Panel1, "btClear", QStringLiteral("清除(&C)"), 306, 200);

    btOK = ui::button(this, "btOK", QStringLiteral("确认"), 232, 340);
    btOK->setEnabled(false);
    btCancel = ui::button(this, "btCancel", QStringLiteral("取消"), 316, 340);
    ui::setTabOrder({lbParam, btConnect, lbPort, lbConnect, btDisConnect, btClear, btOK, btCancel,
                     cbType, cbCode});

    connect(cbType, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            ui::guarded([this] { cbTypeChange(); });
        }
    });
    connect(cbCode, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            ui::guarded([this] { cbCodeChange(); });
        }
    });
    connect(lbParam, &QListWidget::currentRowChanged, this,
            [this] { ui::guarded([this] { lbParamClick(); }); });
    onClick(btConnect, &TfmNgConnect::btConnectClick);
    onClick(btDisConnect, &TfmNgConnect::btDisConnectClick);
    onClick(btClear, &TfmNgConnect::btClearClick);
    onClick(btOK, &TfmNgConnect::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });

    FormCreate();
}

TfmNgConnect::~TfmNgConnect() = default;

void TfmNgConnect::FormCreate() {
    ADOConnection.get();
    LoadParamCatalogue();
    SelType = -1;
    SelCode = -1;
}

void TfmNgConnect::LoadParamCatalogue() {
    db::Query query(ADOConnection.get());
    query.setSql(data::wiringCatalogueStatement());
    query.open();
    for (; !query.eof(); query.next()) {
        const int type = query.integer(QStringLiteral("DEVICETYPE"));
        ports_.addCatalogueRow(
            type, data::publicData().GetTypeName(type), query.integer(QStringLiteral("PARAM")),
            query.integer(QStringLiteral("PORTTYPE")), query.text(QStringLiteral("DESCRIPT")));
    }
    query.close();
}

void TfmNgConnect::SetGateway(int gatewayNumber) {
    GatewayCode = gatewayNumber;
    lNgCode->setText(QString::number(gatewayNumber));
    for (const auto& [portType, portCode] :
         data::readGatewayTerminals(ADOConnection.get(), gatewayNumber)) {
        ports_.takeStoredTerminal(portType, portCode);
    }
    LoadFreeDevices();
}

void TfmNgConnect::LoadFreeDevices() {
    FreeDevices.clear();
    db::Query query(ADOConnection.get());
    query.setSql(data::freeDevicesStatement());
    query.open();
    for (; !query.eof(); query.next()) {
        FreeDevices.append({query.integer(QStringLiteral("DEVICETYPE")),
                            query.integer(QStringLiteral("DEVICECODE"))});
    }
    query.close();
}

void TfmNgConnect::formShow() {
    const QSignalBlocker quiet(cbType);
    cbType->clear();
    for (const data::TDeviceParam& entry : ports_.catalogue()) {
        cbType->addItem(
            text::trimmed(entry.TypeName) + u'(' + QString::number(entry.TypeCode) + u')',
            entry.TypeCode);
    }
    cbType->setCurrentIndex(-1);
}

void TfmNgConnect::cbTypeChange() {
    SelType = cbType->currentData().toInt();
    fillFreeCodes();
    ports_.chooseType(SelType);
    RefreshParamList();
    RefreshConnectList();
    btOK->setEnabled(true);
}

void TfmNgConnect::fillFreeCodes() {
    const QSignalBlocker quiet(cbCode);
    cbCode->clear();
    for (const auto& [type, code] : FreeDevices) {
        if (type == SelType) {
            cbCode->addItem(QString::number(code));
        }
    }
    cbCode->setCurrentIndex(-1);
}

void TfmNgConnect::cbCodeChange() {
    SelCode = cbCode->currentText().toInt();
}

int TfmNgConnect::carriedParam(const QListWidget& list) {
    return list.currentItem()->data(Qt::UserRole).toInt();
}

void TfmNgConnect::RefreshParamList() {
    {
        const QSignalBlocker quiet(lbParam);
        lbParam->clear();
        for (const data::TConnectParam& param : ports_.workParams()) {
            if (param.PortCode == 0) {
                addCarrying(*lbParam, param.Text, param.Param);
            }
        }
        if (lbParam->count() > 0) {
            lbParam->setCurrentRow(0);
        }
    }
    lbParamClick();
}

void TfmNgConnect::lbParamClick() {
    lbPort->clear();
    if (lbParam->currentItem() == nullptr) {
        return;
    }
    for (const int terminal : ports_.freeTerminalsFor(carriedParam(*lbParam))) {
        lbPort->addItem(QString::number(terminal));
    }
    lbPort->setCurrentRow(-1);
}

void TfmNgConnect::btConnectClick() {
    if (lbPort->currentItem() == nullptr || lbParam->currentItem() == nullptr) {
        return;
    }
    ports_.assign(carriedParam(*lbParam), lbPort->currentItem()->text().toInt());
    RefreshParamList();
    RefreshConnectList();
}

void TfmNgConnect::RefreshConnectList() {
    lbConnect->clear();
    for (const data::TConnectParam& param : ports_.workParams()) {
        if (param.PortCode != 0) {
            addCarrying(*lbConnect,
                        param.Text + QStringLiteral(" = ") + QString::number(param.PortCode),
                        param.Param);
        }
    }
}

void TfmNgConnect::btDisConnectClick() {
    if (lbConnect->currentItem() == nullptr) {
        return;
    }
    ports_.release(carriedParam(*lbConnect));
    RefreshParamList();
    RefreshConnectList();
}

void TfmNgConnect::btClearClick() {
    ports_.releaseAll();
    RefreshParamList();
    RefreshConnectList();
}

// A device marked wired without a wiring row could be freed from no window, so a choice with
// nothing assigned is as incomplete as no choice.
void TfmNgConnect::btOKClick() {
    if (SelType < 0 || cbCode->currentIndex() < 0 || !ports_.hasPending()) {
        ui::messageBox(QStringLiteral("数据输入不全，不能保存"), QStringLiteral("提示"),
                       ui::mb::Ok | ui::mb::IconStop);
        return;
    }
    data::WiringConflicts conflicts;
    try {
        conflicts = data::storeWiring(ADOConnection.get(),
                                      {GatewayCode, SelType, SelCode, ports_.workParams()});
    } catch (const db::DbError& error) {
        // A fresh connection for the next try: this one may be what failed.
        ADOConnection.release();
        lastOutcomeUnknown_ = dynamic_cast<const db::CommitOutcomeUnknown*>(&error) != nullptr;
        throw;
    }
    if (conflicts.any()) {
        showConflicts(conflicts);
        return;
    }
    ADOConnection.release();
    done(ui::mrOK);
}

// Nothing was written: the lists are read afresh, the assignments that still hold stay.
void TfmNgConnect::showConflicts(const data::WiringConflicts& conflicts) {
    const QString device = text::trimmed(data::publicData().GetTypeName(SelType)) + u'(' +
                           QString::number(SelCode) + u')';
    ui::messageBox(conflicts.message(device, GatewayCode, lastOutcomeUnknown_),
                   QStringLiteral("提示"), ui::mb::Ok | ui::mb::IconWarning);
    lastOutcomeUnknown_ = false;
    ports_.retakeStoredTerminals(data::readGatewayTerminals(ADOConnection.get(), GatewayCode));
    LoadFreeDevices();
    if (conflicts.deviceWired || conflicts.deviceGone) {
        fillFreeCodes();
        SelCode = -1;
    }
    RefreshParamList();
    RefreshConnectList();
}

}  // namespace tunnel::wiring
