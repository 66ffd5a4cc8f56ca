#pragma once

#include "data/ModuleContext.h"
#include "platform/db/EditableTableModel.h"
#include "platform/ui/Form.h"

class QLabel;
class QPushButton;

namespace tunnel::ui {
class EditGrid;
}

namespace tunnel::history {

// The table of system areas, edited in the grid itself.
class TfmArea : public ui::Form {
    Q_OBJECT
public:
    TfmArea(QWidget* owner, data::ModuleContext context);

    void btAddClick();
    void btEditClick();
    void btDeleteClick();
    void btCloseClick();

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    void ADOTable1AfterPost();
    void ADOTable1PostError(const QString& report);
    void gridRowChanged(int row);
    void tableRowChanged(int row);
    void gridConfirmed();
    void gridCancelled();
    void gridLeft();

    data::ModuleContext context_;
    db::EditableTableModel ADOTable1;
    QLabel* Label1;
    ui::EditGrid* DBGrid1;
    QPushButton* btAdd;
    QPushButton* btEdit;
    QPushButton* btDelete;
    QPushButton* btClose;
    bool syncing_ = false;
};

}  // namespace tunnel::history
