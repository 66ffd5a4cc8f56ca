#pragma once

#include "data/ModuleContext.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tunnel::data {
struct ConnectionSetting;
}

namespace tunnel::devices {

// How the communication programs reach one device: its COMMTYPE, COMMDATA and PROTOCOL.
class TfmConnectConfig : public ui::Form {
    Q_OBJECT
public:
    TfmConnectConfig(QWidget* owner, const data::ModuleContext& context);

    void SetDevice(int deviceType, int deviceCode);
    void Button1Click();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    void SaveConnection();
    data::ConnectionSetting chosenSetting() const;
    void showSerialSettings(const QString& commData);

    int KeyType = 0;
    int KeyCode = 0;
    db::Query query_;

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
