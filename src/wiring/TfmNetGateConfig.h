#pragma once

#include <QVariantList>

#include "data/ModuleContext.h"
#include "data/TdmPublicData.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/DetailBinding.h"
#include "platform/ui/Form.h"
#include "platform/ui/ListBinding.h"
#include "platform/ui/TitleSort.h"

#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tunnel::wiring {

// The network I/O gateways (devices of type 24) and, under them, the wiring of the chosen
// gateway: which device parameter is tied to which terminal. Opens the port assignment for
// the chosen gateway and removes one device's wiring from it.
class TfmNetGateConfig : public ui::Form {
    Q_OBJECT
public:
    TfmNetGateConfig(QWidget* owner, const data::ModuleContext& context);
    ~TfmNetGateConfig() override;

    void btQueryClick();
    void btConnectClick();
    void btDisConnectClick();
    // The terminals of the chosen gateway, free, used and claimed twice; reads only.
    void showTerminalMap();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    void FormCreate();
    void RefreshList();
    void showFoundGateway(const QVariantList& key);
    void addGatewayColumns();
    void addWiringColumns();
    void addTerminalMapEntries();
    std::optional<int> selectedGateway() const;
    QString wiringStatement(int gatewayRow) const;
    QString AdoQueryDEVICETYPEGetText(const QVariant& value) const;
    QString AdoQueryAREACODEGetText(const QVariant& value) const;

    data::ModuleContext context_;
    std::unique_ptr<data::TdmPublicData> dmPublicData;
    db::KeysetQueryModel AdoQuery;
    db::KeysetQueryModel ADOTable;
    db::Query AdoSearchQuery;
    std::optional<int> areaFilter_;

    QLabel* Label1;
    QComboBox* cbArea;
    QPushButton* btQuery;
    QTableView* DBGrid1;
    QLabel* Label2;
    QTableView* DBGrid2;
    QPushButton* btConnect;
    QPushButton* btDisConnect;
    QPushButton* btClose;

    std::unique_ptr<ui::ListBinding> gateways_;
    std::unique_ptr<ui::TitleSort> gatewaySort_;
    std::unique_ptr<ui::DetailBinding> wiring_;
    std::unique_ptr<ui::TitleSort> wiringSort_;
};

}  // namespace tunnel::wiring
