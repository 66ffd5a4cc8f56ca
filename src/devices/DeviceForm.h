#pragma once

#include "data/ModuleContext.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

namespace tunnel::devices {

// A window about one device, named by its key through SetDevice before it shows (the device
// editor and the connection settings), with its one scratch query.
class DeviceForm : public ui::Form {
    Q_OBJECT
public:
    DeviceForm(const QString& objectName, const QString& caption, QWidget* owner,
               const data::ModuleContext& context);

    void SetDevice(int deviceType, int deviceCode);

protected:
    // Whether SetDevice named a device (the editor adds one otherwise).
    bool hasDevice() const { return hasDevice_; }

    int KeyType = 0;
    int KeyCode = 0;
    db::Query query_;

private:
    bool hasDevice_ = false;
};

}  // namespace tunnel::devices
