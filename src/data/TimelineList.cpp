#include "data/TimelineList.h"

#include "data/DeviceStatements.h"
#include "data/DisplayTexts.h"
#include "data/Timeline.h"
#include "platform/db/GridModel.h"
#include "platform/db/SqlLiteral.h"

namespace tunnel::data {
namespace {

// EVENTKIND: newest first, a state change comes before an alert of the same moment.
constexpr int kCancelled = 0;
constexpr int kRaised = 1;
constexpr int kStateChange = 2;

QString moment(const QDateTime& at) {
    return db::sqlQuote(at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
}

QString kindText(const QVariant& kind) {
    switch (kind.toInt()) {
        case kStateChange:
            return QStringLiteral("状态");
        case kRaised:
            return QStringLiteral("报警");
        default:
            return QStringLiteral("取消");
    }
}

QVariant eventText(const db::GridModel::FieldReader& field) {
    if (field(QStringLiteral("EVENTKIND")).toInt() != kStateChange) {
        return field(QStringLiteral("ALERTDESC")).toString();
    }
    return StatusText(field(QStringLiteral("PRESTATUS")).toInt()) + QStringLiteral(" -> ") +
           StatusText(field(QStringLiteral("CURSTATUS")).toInt());
}

QVariant lastedText(const db::GridModel::FieldReader& field) {
    if (field(QStringLiteral("EVENTKIND")).toInt() != kStateChange) {
        return QString();
    }
    const QVariant next = field(QStringLiteral("NEXTTIME"));
    if (next.isNull()) {
        return QStringLiteral("至今");
    }
    return durationText(wallClockOf(field(QStringLiteral("EVENTTIME"))).msecsTo(wallClockOf(next)));
}

}  // namespace

QString timelineListStatement(int deviceType, int deviceCode, const QDateTime& from,
                              const QDateTime& to, const QDateTime& now) {
    const QString device = deviceWhere(deviceType, deviceCode);
    const QString range = QStringLiteral(" and %1>=%2 and %1<=%3");
    const QString stateRange = range.arg(QStringLiteral("STATUSTIME"), moment(from), moment(to));
    // The next change is found by the index on device and time, one seek a row shown.
    const QString next =
        QStringLiteral(
            "coalesce((select min(n.STATUSTIME) from DEVICESTATUS n where n.%1 and "
            "n.STATUSTIME>s.STATUSTIME and n.STATUSTIME<=%2), %3)")
            .arg(
                QStringLiteral("DEVICETYPE=%1 and n.DEVICECODE=%2").arg(deviceType).arg(deviceCode),
                moment(to), to < now ? moment(to) : QStringLiteral("NULL"));
    return QStringLiteral(
               "select STATUSTIME AS EVENTTIME, %1 AS EVENTKIND, PRESTATUS, CURSTATUS, "
               "NULL AS ALERTDESC, %2 AS NEXTTIME from DEVICESTATUS s where %3%4 "
               "union all "
               "select ALERTTIME, case when ALERTTYPE>0 then %5 else %6 end, NULL, NULL, "
               "ALERTDESC, NULL from DEVICEALERT where %3%7")
        .arg(QString::number(kStateChange), next, device, stateRange, QString::number(kRaised),
             QString::number(kCancelled),
             range.arg(QStringLiteral("ALERTTIME"), moment(from), moment(to)));
}

db::GridOrder timelineListOrder() {
    return {{QStringLiteral("EVENTTIME"), QStringLiteral("EVENTKIND")}, true};
}

void bindTimelineColumns(db::GridModel& model) {
    model.addCalculatedField(QStringLiteral("EVENTTEXT"), eventText);
    model.addCalculatedField(QStringLiteral("LASTED"), lastedText);
    model.setColumns({{QStringLiteral("EVENTTIME"), QStringLiteral("时间"), 150,
                       Qt::AlignLeft | Qt::AlignVCenter,
                       [](const QVariant& at) {
                           return wallClockOf(at).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
                       }},
                      {QStringLiteral("EVENTKIND"), QStringLiteral("类别"), 50,
                       Qt::AlignLeft | Qt::AlignVCenter, kindText},
                      {QStringLiteral("EVENTTEXT"), QStringLiteral("内容"), 380,
                       Qt::AlignLeft | Qt::AlignVCenter, nullptr},
                      {QStringLiteral("LASTED"), QStringLiteral("持续时间"), -1,
                       Qt::AlignLeft | Qt::AlignVCenter, nullptr}});
}

}  // namespace tunnel::data
