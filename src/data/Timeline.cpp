#include "data/Timeline.h"

#include "data/DisplayTexts.h"
#include "platform/db/Query.h"
#include "platform/text/TextRules.h"

#include <algorithm>
#include <array>

namespace tunnel::data {
namespace {

const std::array<int, 5> kStateOrder = {1, 2, 3, 4, 0};  // 0 stands for every unknown code

int tableCode(int code) {
    return code >= 1 && code <= 4 ? code : 0;
}

QVector<StateShare> stateShares(const QDateTime& from, const QDateTime& end, int firstState,
                                const QVector<StateChange>& changes,
                                QVector<StatePeriod>& periods) {
    std::array<qint64, 5> spent{};
    const auto add = [&](int state, const QDateTime& begin, const QDateTime& until) {
        const qint64 ms = std::max<qint64>(0, begin.msecsTo(until));
        if (ms > 0) {
            periods.append({begin, until, state});
        }
        const auto at = std::find(kStateOrder.begin(), kStateOrder.end(), tableCode(state));
        spent[static_cast<size_t>(at - kStateOrder.begin())] += ms;
    };
    QDateTime cursor = from;
    int state = firstState;
    for (const StateChange& change : changes) {
        const QDateTime at = std::clamp(change.at, from, end);
        add(state, cursor, at);
        cursor = at;
        state = change.after;
    }
    add(state, cursor, end);
    const qint64 total = std::max<qint64>(0, from.msecsTo(end));
    QVector<StateShare> shares;
    for (size_t i = 0; i < kStateOrder.size(); ++i) {
        shares.append({StateHistoryText(kStateOrder[i]), spent[i],
                       total > 0 ? static_cast<double>(spent[i]) / static_cast<double>(total) : 0});
    }
    return shares;
}

void pairAlerts(const QVector<AlertEvent>& alerts, const QDateTime& end, Timeline& timeline) {
    QVector<AlertEvent> open;
    for (const AlertEvent& alert : alerts) {
        if (alert.flag > 0) {
            ++timeline.alertsRaised;
            auto& days = timeline.raisedPerDay;
            if (days.isEmpty() || days.last().first != alert.at.date()) {
                days.append({alert.at.date(), 0});
            }
            ++days.last().second;
            open.append(alert);
            continue;
        }
        if (open.isEmpty()) {
            continue;  // cancels a raise from before the range
        }
        // A described cancel closes its own raise only: one that matches none cancels a raise
        // from before the range. Without descriptions the earliest open raise is taken.
        const QString description = text::trimmed(alert.description);
        auto raised = std::find_if(open.begin(), open.end(), [&](const AlertEvent& candidate) {
            return text::trimmed(candidate.description) == description;
        });
        if (raised == open.end() && description.isEmpty()) {
            raised = open.begin();
        }
        if (raised == open.end()) {
            continue;
        }
        timeline.longestAlert = std::max(timeline.longestAlert, raised->at.msecsTo(alert.at));
        open.erase(raised);
    }
    for (const AlertEvent& raised : open) {
        timeline.longestAlert = std::max(timeline.longestAlert, raised.at.msecsTo(end));
    }
}

}  // namespace

QDateTime wallClock(const QDate& date, const QTime& time) {
    return QDateTime(date, time, Qt::UTC);
}

QDateTime wallClock(const QDateTime& at) {
    return at.timeSpec() == Qt::UTC ? at : wallClock(at.date(), at.time());
}

Timeline buildTimeline(const QDateTime& fromAt, const QDateTime& toAt, const QDateTime& nowAt,
                       std::optional<int> stateAtStart, QVector<StateChange> changes,
                       QVector<AlertEvent> alerts) {
    const QDateTime from = wallClock(fromAt);
    const QDateTime to = wallClock(toAt);
    const QDateTime now = wallClock(nowAt);
    for (StateChange& change : changes) {
        change.at = wallClock(change.at);
    }
    for (AlertEvent& alert : alerts) {
        alert.at = wallClock(alert.at);
    }
    const auto byTime = [](const auto& a, const auto& b) { return a.at < b.at; };
    std::stable_sort(changes.begin(), changes.end(), byTime);
    std::stable_sort(alerts.begin(), alerts.end(), byTime);
    const QDateTime end = std::min(to, now);
    const int firstState =
        stateAtStart ? *stateAtStart : (changes.isEmpty() ? 0 : changes.front().before);

    Timeline timeline;
    timeline.shares = stateShares(from, end, firstState, changes, timeline.periods);
    pairAlerts(alerts, end, timeline);

    for (qsizetype i = 0; i < changes.size(); ++i) {
        const StateChange& change = changes[i];
        std::optional<qint64> lasted;
        if (i + 1 < changes.size()) {
            lasted = change.at.msecsTo(changes[i + 1].at);
        } else if (to < now) {
            lasted = change.at.msecsTo(to);
        }
        timeline.entries.append({change.at, TimelineEntry::Kind::State,
                                 StateHistoryText(change.before) + QStringLiteral(" -> ") +
                                     StateHistoryText(change.after),
                                 lasted});
    }
    for (const AlertEvent& alert : alerts) {
        timeline.entries.append(
            {alert.at,
             alert.flag > 0 ? TimelineEntry::Kind::Raised : TimelineEntry::Kind::Cancelled,
             alert.description, std::nullopt});
    }
    std::stable_sort(timeline.entries.begin(), timeline.entries.end(),
                     [](const TimelineEntry& a, const TimelineEntry& b) { return a.at > b.at; });
    return timeline;
}

namespace {

QString moment(const QDateTime& at) {
    return at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString deviceCondition(int deviceType, int deviceCode) {
    return QStringLiteral("DEVICETYPE=%1 and DEVICECODE=%2").arg(deviceType).arg(deviceCode);
}

// Read as the wall-clock time it is: a stored time that the local zone's clock change skips
// stays what it says.
QDateTime timeOf(const db::Query& query, const QString& field) {
    const QVariant value = query.value(field);
    if (value.typeId() == QMetaType::QDateTime) {
        return wallClock(value.toDateTime());
    }
    const QString text = value.toString();
    QTime time = QTime::fromString(text.mid(11, 12), QStringLiteral("hh:mm:ss.zzz"));
    if (!time.isValid()) {
        time = QTime::fromString(text.mid(11, 8), QStringLiteral("hh:mm:ss"));
    }
    return wallClock(QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd")), time);
}

}  // namespace

TimelineStatements timelineStatements(int deviceType, int deviceCode, const QDateTime& from,
                                      const QDateTime& to) {
    const QString device = deviceCondition(deviceType, deviceCode);
    const QString range = QStringLiteral(" and %1>='%2' and %1<='%3'");
    return {QStringLiteral("select top 1 CURSTATUS from DEVICESTATUS where ") + device +
                QStringLiteral(" and STATUSTIME<'%1' order by STATUSTIME desc").arg(moment(from)),
            QStringLiteral("select STATUSTIME, PRESTATUS, CURSTATUS from DEVICESTATUS where ") +
                device + range.arg(QStringLiteral("STATUSTIME"), moment(from), moment(to)),
            QStringLiteral("select ALERTTIME, ALERTTYPE, ALERTDESC from DEVICEALERT where ") +
                device + range.arg(QStringLiteral("ALERTTIME"), moment(from), moment(to))};
}

Timeline readTimeline(db::Query& query, int deviceType, int deviceCode, const QDateTime& from,
                      const QDateTime& to, const QDateTime& now) {
    const TimelineStatements statements = timelineStatements(deviceType, deviceCode, from, to);

    std::optional<int> stateAtStart;
    query.setSql(statements.stateBefore);
    query.open();
    if (!query.eof()) {
        stateAtStart = query.integer(QStringLiteral("CURSTATUS"));
    }

    QVector<StateChange> changes;
    query.setSql(statements.changes);
    query.open();
    for (; !query.eof(); query.next()) {
        changes.append({timeOf(query, QStringLiteral("STATUSTIME")),
                        query.integer(QStringLiteral("PRESTATUS")),
                        query.integer(QStringLiteral("CURSTATUS"))});
    }

    QVector<AlertEvent> alerts;
    query.setSql(statements.alerts);
    query.open();
    for (; !query.eof(); query.next()) {
        alerts.append({timeOf(query, QStringLiteral("ALERTTIME")),
                       query.integer(QStringLiteral("ALERTTYPE")),
                       query.text(QStringLiteral("ALERTDESC"))});
    }
    query.close();
    return buildTimeline(from, to, now, stateAtStart, changes, alerts);
}

QString durationText(qint64 milliseconds) {
    const qint64 seconds = std::max<qint64>(0, milliseconds) / 1000;
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds % 86400 / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    if (days > 0) {
        return QStringLiteral("%1天%2小时").arg(days).arg(hours);
    }
    if (hours > 0) {
        return QStringLiteral("%1小时%2分").arg(hours).arg(minutes);
    }
    if (minutes > 0) {
        return QStringLiteral("%1分%2秒").arg(minutes).arg(seconds % 60);
    }
    return QStringLiteral("%1秒").arg(seconds);
}

}  // namespace tunnel::data
