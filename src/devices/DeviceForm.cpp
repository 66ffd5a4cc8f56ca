#include "devices/DeviceForm.h"

namespace tunnel::devices {

DeviceForm::DeviceForm(const QString& objectName, const QString& caption, QWidget* owner,
                       const data::ModuleContext& context)
    : Form(objectName, caption, owner), query_(context.connectionString) {}

void DeviceForm::SetDevice(int deviceType, int deviceCode) {
    KeyType = deviceType;
    KeyCode = deviceCode;
    hasDevice_ = true;
}

}  // namespace tunnel::devices
