#pragma once

#include "data/DeviceStatements.h"
#include "devices/DeviceForm.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tunnel::devices {

// How the communication programs reach one device: its COMMTYPE, COMMDATA and PROTOCOL.
class TfmConnectConfig : public DeviceForm {
    Q_OBJECT
public:
    TfmConnectConfig(QWidget* owner, const data::ModuleContext& context);

    void Button1Click();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    void SaveConnection();
    data::ConnectionSetting chosenSetting() const;
    void showSerialSettings(const QString& commData);
    static void showProtocol(QComboBox& list, int protocol);

    data::ConnectionSetting stored_;

    QRadioButton* rbNone;
    QRadioButton* rbNet;
    QLineEdit* meIpAddress;
    QComboBox* cbNetProtocol;
    QRadioButton* rbSerial;
    QComboBox* cbPort;
    QComboBox* cbBaud;
    QComboBox* cbSerialProtocol;
    QComboBox* cbData;
    QComboBox* cbParity;
    QComboBox* cbStop;
    QRadioButton* rbNetGate;
    QPushButton* Button1;
    QPushButton* Button2;
    QRadioButton* rbPLC;
};

}  // namespace tunnel::devices
