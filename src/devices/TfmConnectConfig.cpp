#include "devices/TfmConnectConfig.h"

#include "data/DeviceStatements.h"
#include "data/OperationLog.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Modal.h"
#include "platform/ui/StoredValues.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace tunnel::devices {
namespace {

const QStringList kProtocols = {QStringLiteral("无"), QStringLiteral("1.0"), QStringLiteral("2.0")};

}  // namespace

TfmConnectConfig::TfmConnectConfig(QWidget* owner, const data::ModuleContext& context)
    : DeviceForm(QStringLiteral("fmConnectConfig"), QStringLiteral("设备连接配置"), owner,
                 context) {
    setClientSize(451, 278);
    rbNone = ui::radioButton(this, "rbNone", QStringLiteral("无"), 16, 16);
    rbNet = ui::radioButton(this, "rbNet", QStringLiteral("网络"), 16, 50);
    ui::label(this, QStringLiteral("IP地址"), 104, 53);
    meIpAddress = ui::editBox(this, "meIpAddress", 150, 50, 130);
    meIpAddress->setAttribute(Qt::WA_InputMethodEnabled, false);
    ui::label(this, QStringLiteral("协议"), 300, 53);
    cbNetProtocol = ui::dropDown(this, "cbNetProtocol", 334, 50, 90, kProtocols);

    rbSerial = ui::radioButton(this, "rbSerial", QStringLiteral("串口"), 16, 86);
    ui::label(this, QStringLiteral("串口号"), 104, 89);
    cbPort = ui::dropDown(this, "cbPort", 150, 86, 130, {}, true);
    ui::label(this, QStringLiteral("波特率"), 290, 89);
    cbBaud = ui::dropDown(this, "cbBaud", 334, 86, 90,
                          {QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                           QStringLiteral("9600"), QStringLiteral("11400"), QStringLiteral("15200"),
                           QStringLiteral("19200"), QStringLiteral("38400")},
                          true);
    ui::label(this, QStringLiteral("协议"), 104, 121);
    cbSerialProtocol = ui::dropDown(this, "cbSerialProtocol", 150, 118, 130, kProtocols);
    ui::label(this, QStringLiteral("数据位"), 290, 121);
    cbData = ui::dropDown(this, "cbData", 334, 118, 90,
                          {QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")}, true);
    ui::label(this, QStringLiteral("校验位"), 104, 153);
    cbParity = ui::dropDown(
        this, "cbParity", 150, 150, 130,
        {QStringLiteral("无"), QStringLiteral("奇校验"), QStringLiteral("偶校验")}, true);
    ui::label(this, QStringLiteral("停止位"), 290, 153);
    cbStop = ui::dropDown(this, "cbStop", 334, 150, 90,
                          {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")}, true);
    rbNetGate = ui::radioButton(this, "rbNetGate", QStringLiteral("网关"), 16, 184);
    rbPLC = ui::radioButton(this, "rbPLC", QStringLiteral("PLC控制器"), 16, 210, 100);

    ui::bevelLine(this, 234);
    Button1 = ui::button(this, "Button1", QStringLiteral("确认(&D)"), 270, 244);
    Button2 = ui::button(this, "Button2", QStringLiteral("取消(&C)"), 355, 244);
    ui::numberItems(*cbNetProtocol, 0);
    ui::numberItems(*cbSerialProtocol, 0);
    ui::setTabOrder({rbNone, rbNet, meIpAddress, cbNetProtocol, rbSerial, cbPort, cbBaud,
                     cbSerialProtocol, cbData, cbParity, cbStop, rbNetGate, Button1, Button2,
                     rbPLC});

    onClick(Button1, &TfmConnectConfig::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

void TfmConnectConfig::formShow() {
    cbPort->clear();
    for (int port = 1; port <= 255; ++port) {
        cbPort->addItem(QString::number(port));
    }
    cbPort->setCurrentIndex(-1);
    cbPort->setEditText(QString());

    query_.setSql(data::selectConnectionStatement(KeyType, KeyCode));
    query_.open();
    if (query_.isEmpty()) {
        query_.close();
        return;
    }
    const QString commData = query_.text(QStringLiteral("COMMDATA"));
    const int commType = query_.integer(QStringLiteral("COMMTYPE"));
    const int protocol = query_.integer(QStringLiteral("PROTOCOL"));
    // A kind of connection no button stands for is kept as stored unless one is chosen.
    stored_ = {commType, commData, protocol};
    switch (commType) {
        case 0:
            rbNone->setChecked(true);
            break;
        case 1:
            rbNet->setChecked(true);
            meIpAddress->setText(commData);
            showProtocol(*cbNetProtocol, protocol);
            break;
        case 2:
            rbSerial->setChecked(true);
            showProtocol(*cbSerialProtocol, protocol);
            showSerialSettings(commData);
            break;
        case 3:
            rbNetGate->setChecked(true);
            break;
        case 4:
            rbPLC->setChecked(true);
            break;
        default:
            break;
    }
    query_.close();
}

// -1 is what the window writes when no protocol was chosen: it reopens with none chosen.
void TfmConnectConfig::showProtocol(QComboBox& list, int protocol) {
    if (protocol == -1) {
        list.setCurrentIndex(-1);
    } else {
        ui::selectCode(list, protocol);
    }
}

void TfmConnectConfig::showSerialSettings(const QString& commData) {
    const data::SerialSettings settings = data::parseSerialSettings(commData);
    cbPort->setEditText(settings.port);
    cbBaud->setEditText(settings.baud);
    cbData->setEditText(settings.dataBits);
    cbParity->setEditText(settings.parity);
    cbStop->setEditText(settings.stopBits);
}

data::ConnectionSetting TfmConnectConfig::chosenSetting() const {
    if (rbNet->isChecked()) {
        return {1, meIpAddress->text(), ui::chosenCode(*cbNetProtocol).value_or(-1)};
    }
    if (rbSerial->isChecked()) {
        const data::SerialSettings serial{cbPort->currentText(), cbBaud->currentText(),
                                          cbData->currentText(), cbParity->currentText(),
                                          cbStop->currentText()};
        return {2, data::serialSettingsText(serial),
                ui::chosenCode(*cbSerialProtocol).value_or(-1)};
    }
    if (rbNetGate->isChecked()) {
        return {3, QString(), 0};
    }
    if (rbPLC->isChecked()) {
        return {4, QString(), 0};
    }
    if (rbNone->isChecked()) {
        return {0, QString(), 0};
    }
    return stored_;
}

// A refused UPDATE leaves the handler through the default error report, with the database's
// text, and the window stays open for another try.
void TfmConnectConfig::SaveConnection() {
    const QString device = data::deviceWhere(KeyType, KeyCode);
    data::writeLogged(
        query_.database(),
        data::deviceChange(data::funcCode::kDeviceList, QStringLiteral("连接配置"), device, device),
        [&] {
            query_.setSql(data::updateConnectionStatement(chosenSetting(), KeyType, KeyCode));
            query_.execute();
            query_.close();
            return true;
        });
}

void TfmConnectConfig::Button1Click() {
    SaveConnection();
    done(ui::mrOK);
}

bool TfmConnectConfig::formClose(int) {
    query_.close();
    return true;
}

}  // namespace tunnel::devices
