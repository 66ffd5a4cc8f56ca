#include "history/TfmDeviceTimeline.h"

#include "history/TimelineChart.h"
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

QString kindText(data::TimelineEntry::Kind kind) {
    switch (kind) {
        case data::TimelineEntry::Kind::State:
            return QStringLiteral("状态");
        case data::TimelineEntry::Kind::Raised:
            return QStringLiteral("报警");
        case data::TimelineEntry::Kind::Cancelled:
            return QStringLiteral("取消");
    }
    return {};
}

QString lastedText(const data::TimelineEntry& entry) {
    if (entry.kind != data::TimelineEntry::Kind::State) {
        return {};
    }
    return entry.lasted ? data::durationText(*entry.lasted) : QStringLiteral("至今");
}

}  // namespace

TfmDeviceTimeline::TfmDeviceTimeline(QWidget* owner, const data::ModuleContext& context,
                                     int deviceType, int deviceCode)
    : Form(QStringLiteral("fmDeviceTimeline"), QStringLiteral("设备运行记录"), owner),
      AdoQuery(context.connectionString),
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
    btQuery = ui::button(this, "btQuery", QStringLiteral("查询(&Q)"), 612, 9);
    lShares = ui::label(this, QString(), 8, 44, kWidth - 16);
    lShares->setObjectName(QStringLiteral("lShares"));
    lAlerts = ui::label(this, QString(), 8, 64, kWidth - 16);
    lAlerts->setObjectName(QStringLiteral("lAlerts"));
    chart = new TimelineChart(this);
    chart->setGeometry(8, 86, kWidth - 16, 130);

    events_.setHorizontalHeaderLabels({QStringLiteral("时间"), QStringLiteral("类别"),
                                       QStringLiteral("内容"), QStringLiteral("持续时间")});
    gridEvents = new QTableView(this);
    gridEvents->setObjectName(QStringLiteral("gridEvents"));
    gridEvents->setGeometry(0, 224, kWidth, kHeight - 224 - 49);
    gridEvents->setModel(&events_);
    gridEvents->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridEvents->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridEvents->setSelectionMode(QAbstractItemView::SingleSelection);
    ui::useCompactRows(*gridEvents);
    gridEvents->setColumnWidth(0, 150);
    gridEvents->setColumnWidth(1, 50);
    gridEvents->setColumnWidth(2, 380);
    gridEvents->horizontalHeader()->setStretchLastSection(true);
    ui::enableRowCopy(*gridEvents, true);
    ui::addTableExport(*gridEvents);

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

void TfmDeviceTimeline::formShow() {
    lDevice->setText(deviceName());
    btQueryClick();
}

// The whole days chosen, counted up to now when they reach beyond it.
void TfmDeviceTimeline::btQueryClick() {
    const QDateTime from = data::wallClock(dtpBegin->date(), QTime(0, 0));
    const QDateTime to = data::wallClock(dtpEnd->date(), QTime(23, 59, 59, 999));
    const QDateTime now = data::wallClock(QDateTime::currentDateTime());
    const data::Timeline timeline =
        data::readTimeline(AdoQuery, deviceType_, deviceCode_, from, to, now);
    showTimeline(timeline, from, std::min(to, now));
}

void TfmDeviceTimeline::showTimeline(const data::Timeline& timeline, const QDateTime& from,
                                     const QDateTime& end) {
    showShares(timeline);
    chart->setTimeline(timeline, from, end);
    showEntries(timeline);
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

void TfmDeviceTimeline::showEntries(const data::Timeline& timeline) {
    events_.removeRows(0, events_.rowCount());
    for (const data::TimelineEntry& entry : timeline.entries) {
        events_.appendRow(
            {new QStandardItem(entry.at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))),
             new QStandardItem(kindText(entry.kind)), new QStandardItem(entry.text),
             new QStandardItem(lastedText(entry))});
    }
    if (events_.rowCount() > 0) {
        gridEvents->setCurrentIndex(events_.index(0, 0));
    }
}

}  // namespace tunnel::history
