#pragma once

#include "data/CodeName.h"
#include "data/ModuleContext.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

class QComboBox;
class QDateEdit;
class QPushButton;
class QTableView;

namespace tunnel::history {

// The alerts that other programs record: the newest hundred on opening, then by range of days,
// device type and device.
class TfmDeviceAlert : public ui::Form {
    Q_OBJECT
public:
    TfmDeviceAlert(QWidget* owner, const data::ModuleContext& context);

    void cbTypeChange();
    void Button1Click();
    void Button2Click();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    QString GetTypeName(int code) const { return TypeList.nameOf(code); }
    QString QueryDataDEVICETYPEGetText(const QVariant& value) const;

    db::KeysetQueryModel QueryData;
    db::Query QueryTmp;
    data::CodeNameList TypeList;

    QTableView* DBGrid;
    QComboBox* cbType;
    QComboBox* cbCode;
    QDateEdit* dtpBegin;
    QDateEdit* dtpEnd;
    QPushButton* Button1;
    QPushButton* Button2;
};

}  // namespace tunnel::history
