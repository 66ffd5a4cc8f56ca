#pragma once

#include "data/ModuleContext.h"
#include "data/Timeline.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace tunnel::history {

class TimelineChart;

// One device's story over a range of days: its state changes and alerts merged newest first
// with how long each state lasted (read a batch at a time), the share of time in each state,
// the alerts raised and the longest of them, and a chart of both. It reads only that device's
// rows and writes nothing.
class TfmDeviceTimeline : public ui::Form {
    Q_OBJECT
public:
    TfmDeviceTimeline(QWidget* owner, const data::ModuleContext& context, int deviceType,
                      int deviceCode);

    void btQueryClick();
    // Opens on these days instead of the last week (the report's month, say).
    void showDays(const QDate& from, const QDate& to);

protected:
    void formShow() override;

private:
    QString deviceName();
    void showShares(const data::Timeline& timeline);
    void showEvents(const QDateTime& from, const QDateTime& to, const QDateTime& now);

    db::Query AdoQuery;
    int deviceType_;
    int deviceCode_;
    db::KeysetQueryModel events_;

    QLabel* lDevice;
    QDateEdit* dtpBegin;
    QDateEdit* dtpEnd;
    QPushButton* btQuery;
    QLabel* lShares;
    QLabel* lAlerts;
    TimelineChart* chart;
    QTableView* gridEvents;
};

}  // namespace tunnel::history
