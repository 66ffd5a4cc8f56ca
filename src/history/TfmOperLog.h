#pragma once

#include "data/ModuleContext.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/ui/Form.h"

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tunnel::history {

// Where the log window starts: everything of today, or a row's story: the log of `table` whose key
// is exactly `rowKey`.
struct OperLogStart {
    QString table;
    QString rowKey;
};

// The changes the module's windows made, newest first: by range of days, a text anywhere in
// the station, operator, key or the values, and a table. It reads OPERLOG and writes nothing.
class TfmOperLog : public ui::Form {
    Q_OBJECT
public:
    TfmOperLog(QWidget* owner, const data::ModuleContext& context, OperLogStart start = {});

    void Button1Click();

protected:
    void formShow() override;
    void resizeEvent(QResizeEvent* event) override;
    bool formClose(int result) override;

private:
    db::KeysetQueryModel QueryLog;
    OperLogStart start_;

    QDateEdit* dtpBegin;
    QDateEdit* dtpEnd;
    QLineEdit* edText;
    QComboBox* cbTable;
    QPushButton* Button1;
    QPushButton* Button2;
    QTableView* DBGrid;
};

}  // namespace tunnel::history
