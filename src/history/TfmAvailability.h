#pragma once

#include "data/Availability.h"
#include "data/ModuleContext.h"
#include "platform/ui/Form.h"

#include <memory>

class QComboBox;
class QLabel;
class QDateEdit;
class QPushButton;
class QTableWidget;

namespace tunnel::db {
class Database;
}

namespace tunnel::history {

class AvailabilityChart;

// The share of time the devices of an area and type were in working order (完好率) over a
// month or any range of days, the time in each state, the alerts, and the ten devices longest
// in fault; exported as CSV or as an A4 PDF. It only reads.
class TfmAvailability : public ui::Form {
    Q_OBJECT
public:
    TfmAvailability(QWidget* owner, const data::ModuleContext& context);
    ~TfmAvailability() override;

    void btQueryClick();
    void btCsvClick();
    void btPdfClick();

protected:
    void formShow() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOut();
    void showReport();
    void fillFilters();
    void openWorst(int row);

    data::ModuleContext context_;
    std::shared_ptr<db::Database> db_;
    data::ReportNames names_;
    data::AvailabilityReport whole_;
    data::AvailabilityReport shown_;

    QDateEdit* dtpBegin;
    QDateEdit* dtpEnd;
    QLabel* lArea;
    QComboBox* cbArea;
    QLabel* lType;
    QComboBox* cbType;
    QPushButton* btQuery;
    QTableWidget* gridTotals;
    AvailabilityChart* pbChart;
    QTableWidget* gridWorst;
    QPushButton* btCsv;
    QPushButton* btPdf;
    QPushButton* btClose;
};

}  // namespace tunnel::history
