#pragma once

#include <QVariantList>

#include "data/CodeName.h"
#include "data/ModuleContext.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"
#include "platform/ui/ListBinding.h"
#include "platform/ui/TitleSort.h"

#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tunnel::devices {

// The device register: every DEVICE row with its codes as words, a type filter, and the doors
// to the device editor, the connection settings and the message-sign properties.
class TfmDeviceMainage : public ui::Form {
    Q_OBJECT
public:
    TfmDeviceMainage(QWidget* owner, const data::ModuleContext& context);

    void Button1Click();
    void btAddClick();
    void btEditClick();
    void btDeleteClick();
    void btConnectClick();
    void btPropertyClick();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    struct DeviceKey {
        int type;
        int code;
        ui::ListBinding::Selection selection;
    };

    void RefreshList();
    // The type the list was filtered to by 查询, none for every device.
    std::optional<int> filteredType() const;
    void showFoundDevice(const QVariantList& key);
    QString GetTypeName(int code) const { return TypeList.nameOf(code); }
    QString GetAreaName(int code) const { return AreaList.nameOf(code); }
    QString AdoQueryDEVICETYPEGetText(const QVariant& value) const;
    QString AdoQueryAREACODEGetText(const QVariant& value) const;
    QVariant AdoQueryCalcFields(const db::GridModel::FieldReader& field) const;

    QString listStatement() const;
    std::optional<DeviceKey> selectedDevice() const;
    template <typename Window>
    void openForSelected();

    data::ModuleContext context_;
    db::KeysetQueryModel AdoQuery;
    std::unique_ptr<ui::ListBinding> list_;
    std::unique_ptr<ui::TitleSort> sort_;
    db::Query AdoSearchQuery;
    data::CodeNameList AreaList;
    data::CodeNameList TypeList;
    QString filter_;

    QLabel* Label1;
    QComboBox* cbType;
    QPushButton* Button1;
    QTableView* DBGrid1;
    QPushButton* btAdd;
    QPushButton* btEdit;
    QPushButton* btDelete;
    QPushButton* btConnect;
    QPushButton* btProperty;
    QPushButton* btClose;
};

}  // namespace tunnel::devices
