#pragma once

#include "data/GatewayPorts.h"
#include "data/ModuleContext.h"
#include "data/WiringWrites.h"
#include "platform/db/OwnConnection.h"
#include "platform/ui/Form.h"

#include <QPair>
#include <QVector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QWidget;

namespace tunnel::wiring {

// Wires one device to the terminals of one gateway: the operator picks a free device and
// assigns each wiring parameter of its type to a free terminal of the kind it needs; OK stores
// every assignment and marks the device wired, all or nothing.
class TfmNgConnect : public ui::Form {
    Q_OBJECT
public:
    // Reads the wiring catalogue. Throws DbError.
    TfmNgConnect(QWidget* owner, const data::ModuleContext& context);
    ~TfmNgConnect() override;

    // The gateway to wire to: reads the terminals its stored rows take and the devices that
    // may still be wired. Throws DbError.
    void SetGateway(int gatewayNumber);

    void cbTypeChange();
    void cbCodeChange();
    void lbParamClick();
    void btConnectClick();
    void btDisConnectClick();
    void btClearClick();
    void btOKClick();

protected:
    void formShow() override;

private:
    void FormCreate();
    void LoadParamCatalogue();
    void LoadFreeDevices();
    void RefreshParamList();
    void RefreshConnectList();
    void fillFreeCodes();
    void showConflicts(const data::WiringConflicts& conflicts);
    static int carriedParam(const QListWidget& list);

    db::OwnConnection ADOConnection;
    data::PortAssignment ports_;
    QVector<QPair<int, int>> FreeDevices;
    int GatewayCode = 0;
    int SelType = -1;
    int SelCode = -1;
    // The last save lost its answer to COMMIT: a device found wired next is likely its work.
    bool lastOutcomeUnknown_ = false;

    QLabel* lNgCode;
    QComboBox* cbType;
    QComboBox* cbCode;
    QWidget* Panel1;
    QListWidget* lbParam;
    QPushButton* btConnect;
    QListWidget* lbPort;
    QListWidget* lbConnect;
    QPushButton* btDisConnect;
    QPushButton* btClear;
    QPushButton* btOK;
    QPushButton* btCancel;
};

}  // namespace tunnel::wiring
