#pragma once

#include "data/CodeName.h"
#include "data/ModuleContext.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

class QComboBox;
class QDateEdit;
class QGroupBox;
class QPushButton;
class QTableView;

namespace tunnel::history {

// The state changes that other programs record, by range of days, device type and number.
class TfmQueryStatus : public ui::Form {
    Q_OBJECT
public:
    TfmQueryStatus(QWidget* owner, const data::ModuleContext& context);

    void cbTypeChange();
    void btQueryClick();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    QString GetTypeText(int code) const;

    db::KeysetQueryModel AdoQuery;
    db::Query AdoSearchQuery;
    data::CodeNameList StatusTypeList;

    QDateEdit* dtpBegin;
    QDateEdit* dtpEnd;
    QComboBox* cbType;
    QComboBox* cbCode;
    QPushButton* btQuery;
    QGroupBox* GroupBox1;
    QTableView* DBGrid;
};

}  // namespace tunnel::history
