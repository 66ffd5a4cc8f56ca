#pragma once

#include <QVariantList>

#include "devices/DeviceForm.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tunnel::data {
struct DeviceRecord;
}

namespace tunnel::devices {

// Adds one device, or edits the one named by SetDevice (every column but its connection).
class TfmAddDevice : public DeviceForm {
    Q_OBJECT
public:
    TfmAddDevice(QWidget* owner, const data::ModuleContext& context);
    // The key of the device the editor wrote, once it closed with OK.
    QVariantList writtenKey() const;

    void Button1Click();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    void LoadDevice();
    bool InsertDevice();
    bool UpdateDevice();
    bool numbersInRange();
    bool lengthsFit();
    data::DeviceRecord record() const;
    bool send(const QString& statement);
    void fillCodedList(QComboBox* list, const QString& sql, const QString& codeField,
                       const QString& nameField);

    int KeptCommType = 0;
    QString KeptCommData;
    int KeptProtocol = 0;

    QComboBox* cbType;
    QSpinBox* seCode;
    QComboBox* cbPos;
    QSpinBox* seMili;
    QSpinBox* seMeter;
    QComboBox* cbStatus;
    QSpinBox* seCycle;
    QSpinBox* seVideo;
    QLineEdit* edPhysics;
    QLineEdit* edBeginPos;
    QComboBox* cbArea;
    QComboBox* cbSide;
    QPushButton* Button1;
    QPushButton* Button2;
    QLineEdit* edEndPos;
};

}  // namespace tunnel::devices
