#include "history/TfmDeviceTimeline.h"

#include "data/TimelineList.h"
#include "history/TimelineChart.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace tunnel::history {
namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 540;
constexpr int kOpeningDays = 30;

}  // namespace

TfmDeviceTimeline::TfmDeviceTimeline(QWidget* owner, const data::ModuleContext& context,
                                     int deviceType, int deviceCode)
    : Form(QStringLiteral("fmDeviceTimeline"), QStringLiteral("设备运行记录"), owner),
      AdoQuery(db::standbyReads(context.connectionString)),
      deviceType_(deviceType),
      deviceCode_(deviceCode) {
    setClientSize(kWidth, kHeight);
    ui::label(this, QStringLiteral("设备"), 8, 14);
    lDevice = ui::label(this, QString(), 40, 14, 260);
    lDevice->setObjectName(QStringLiteral("lDevice"));
    ui::label(this, QStringLiteral("从"), 316, 14);
    dtpBegin = ui::datePicker(this, "dtpBegin", 334, 10, 120, false);
    ui::label(this, QStringLiteral("到"), 462, 14);
    dtpEnd = ui::datePicker(this, "dtpEnd", 480, 10, 120, false);
    // The last 30 days, today among them: a device with nothing today still shows its month.
    dtpBegin->setDate(dtpEnd->date().addDays(-(kOpeningDays - 1)));
    btQuery = ui::button(this, "btQuery", QStringLiteral("查询(&Q)"), 612, 9);
    lShares = ui::label(this, QString(), 8, 44, kWidth - 16);
    lShares->setObjectName(QStringLiteral("lShares"));
    lAlerts = ui::label(this, QString(), 8, 64, kWidth - 16);
    lAlerts->setObjectName(QStringLiteral("lAlerts"));
    chart = new TimelineChart(this);
    chart->setGeometry(8, 86, kWidth - 16, 130);

    events_.setConnectionString(db::standbyReads(context.connectionString));
    events_.setOrder(data::timelineListOrder());
    data::bindTimelineColumns(events_);
    gridEvents = new QTableView(this);
    gridEvents->setObjectName(QStringLiteral("gridEvents"));
    gridEvents->setGeometry(0, 224, kWidth, kHeight - 224 - 49);
    ui::bindReadOnlyGrid(*gridEvents, events_, false);
    gridEvents->horizontalHeader()->setStretchLastSection(true);
    ui::enableRowCopy(*gridEvents, true);
    ui::addResultActions(*gridEvents, events_,
                         QStringLiteral("设备运行记录-%1-%2").arg(deviceType).arg(deviceCode));

    ui::bevelLine(this, kHeight - 49);
    auto* close =
        ui::button(this, "btClose", QStringLiteral("关闭(&C)"), kWidth - 83, kHeight - 49 + 12);
    ui::setTabOrder({dtpBegin, dtpEnd, btQuery, gridEvents, close});
    onClick(btQuery, &TfmDeviceTimeline::btQueryClick);
    connect(close, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

QString TfmDeviceTimeline::deviceName() {
    AdoQuery.setSql(
        QStringLiteral("select TYPENAME from DEVICETYPE where TYPECODE=%1").arg(deviceType_));
    AdoQuery.open();
    const QString type = AdoQuery.eof() ? QString() : text::trimmed(AdoQuery.text("TYPENAME"));
    AdoQuery.close();
    return QStringLiteral("%1(%2) %3号").arg(type).arg(deviceType_).arg(deviceCode_);
}

void TfmDeviceTimeline::showDays(const QDate& from, const QDate& to) {
    dtpBegin->setDate(from);
    dtpEnd->setDate(to);
}

void TfmDeviceTimeline::formShow() {
    lDevice->setText(deviceName());
    btQueryClick();
}

// The whole days chosen, counted up to now when they reach beyond it.
void TfmDeviceTimeline::btQueryClick() {
    const QDateTime from = data::wallClock(dtpBegin->date(), QTime(0, 0));
    const QDateTime to = data::wallClock(dtpEnd->date(), QTime(23, 59, 59, 999));
    const QDateTime now = data::wallClock(QDateTime::currentDateTime());
    // The summary and the list read on two connections; a server that went away is found by
    // both in this click and reported once, so that the next click finds both working.
    std::optional<db::DbError> failed;
    try {
        const data::Timeline timeline =
            data::readTimeline(AdoQuery, deviceType_, deviceCode_, from, to, now);
        showShares(timeline);
        chart->setTimeline(timeline, from, std::min(to, now));
    } catch (const db::DbError& error) {
        failed = error;
    }
    try {
        showEvents(from, to, now);
    } catch (const db::DbError&) {
        if (!failed) {
            throw;
        }
    }
    if (failed) {
        throw *failed;
    }
}

void TfmDeviceTimeline::showShares(const data::Timeline& timeline) {
    QStringList shares;
    for (const data::StateShare& share : timeline.shares) {
        shares.append(
            QStringLiteral("%1 %2%").arg(share.state).arg(share.share * 100.0, 0, 'f', 1));
    }
    lShares->setText(QStringLiteral("可用性：") + shares.join(QStringLiteral("  ")));
    lAlerts->setText(timeline.alertsRaised == 0
                         ? QStringLiteral("报警 0 次")
                         : QStringLiteral("报警 %1 次，最长一次 %2")
                               .arg(timeline.alertsRaised)
                               .arg(data::durationText(timeline.longestAlert)));
}

void TfmDeviceTimeline::showEvents(const QDateTime& from, const QDateTime& to,
                                   const QDateTime& now) {
    events_.setStatement(data::timelineListStatement(deviceType_, deviceCode_, from, to, now));
    events_.reload();
    if (events_.rowCount() > 0) {
        gridEvents->setCurrentIndex(events_.index(0, 0));
    }
}

}  // namespace tunnel::history
