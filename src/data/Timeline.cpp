#include "data/Timeline.h"

#include "data/DeviceStatements.h"
#include "data/DisplayTexts.h"
#include "platform/db/Database.h"
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
        shares.append({StatusText(kStateOrder[i]), spent[i],
                       total > 0 ? static_cast<double>(spent[i]) / static_cast<double>(total) : 0});
    }
    return shares;
}

void pairAlerts(const QVector<AlertEvent>& alerts, const QDateTime& end, Timeline& timeline) {
    QVector<AlertEvent> open;
    for (const AlertEvent& alert : alerts) {
        if (alert.flag > 0) {
            ++timeline.alertsRaised;
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
    return timeline;
}

namespace {

QString moment(const QDateTime& at) {
    return at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// The number `count` digits long at `at`, or -1.
int digitsAt(QStringView text, qsizetype at, int count) {
    if (text.size() < at + count) {
        return -1;
    }
    int number = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return -1;
        }
        number = number * 10 + (c - u'0');
    }
    return number;
}

// "yyyy-MM-dd hh:mm:ss[.zzz]" by its fixed places: a busy device's year is read in thousands of
// these, where a format parser costs more than the read.
QDateTime parseStoredTime(QStringView text) {
    const QDate date(digitsAt(text, 0, 4), digitsAt(text, 5, 2), digitsAt(text, 8, 2));
    const int milliseconds = digitsAt(text, 20, 3);
    const QTime time(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2),
                     milliseconds < 0 ? 0 : milliseconds);
    if (text.size() < 19 || text[4] != u'-' || text[7] != u'-' || text[13] != u':' ||
        text[16] != u':' || !date.isValid() || !time.isValid()) {
        return {};
    }
    return wallClock(date, time);
}

QString dayOf(db::Engine engine, const QString& column) {
    switch (engine) {
        case db::Engine::SQLite:
            return QStringLiteral("substr(%1,1,10)").arg(column);
        case db::Engine::PostgreSQL:
            return QStringLiteral("to_char(%1,'YYYY-MM-DD')").arg(column);
        case db::Engine::SqlServer:
            return QStringLiteral("CONVERT(char(10),%1,120)").arg(column);
    }
    return {};
}

}  // namespace

QDateTime wallClockOf(const QVariant& stored) {
    if (stored.typeId() == QMetaType::QDateTime) {
        return wallClock(stored.toDateTime());
    }
    return parseStoredTime(stored.toString());
}

TimelineStatements timelineStatements(db::Engine engine, int deviceType, int deviceCode,
                                      const QDateTime& from, const QDateTime& to) {
    const QString device = deviceWhere(deviceType, deviceCode);
    const QString range = QStringLiteral(" and %1>='%2' and %1<='%3'");
    const QString alertRange = range.arg(QStringLiteral("ALERTTIME"), moment(from), moment(to));
    return {QStringLiteral("select top 1 CURSTATUS from DEVICESTATUS where ") + device +
                QStringLiteral(" and STATUSTIME<'%1' order by STATUSTIME desc").arg(moment(from)),
            QStringLiteral("select STATUSTIME, PRESTATUS, CURSTATUS from DEVICESTATUS where ") +
                device + range.arg(QStringLiteral("STATUSTIME"), moment(from), moment(to)),
            QStringLiteral("select ALERTTIME, ALERTTYPE, ALERTDESC from DEVICEALERT where ") +
                device + alertRange,
            QStringLiteral("select RAISEDAY, count(*) AS RAISES from (select %1 AS RAISEDAY from "
                           "DEVICEALERT where %2%3 and ALERTTYPE>0) raises group by RAISEDAY "
                           "order by RAISEDAY")
                .arg(dayOf(engine, QStringLiteral("ALERTTIME")), device, alertRange)};
}

Timeline readTimeline(db::Query& query, int deviceType, int deviceCode, const QDateTime& from,
                      const QDateTime& to, const QDateTime& now) {
    const TimelineStatements statements =
        timelineStatements(query.database().engine(), deviceType, deviceCode, from, to);

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
        changes.append({wallClockOf(query.value(QStringLiteral("STATUSTIME"))),
                        query.integer(QStringLiteral("PRESTATUS")),
                        query.integer(QStringLiteral("CURSTATUS"))});
    }

    QVector<AlertEvent> alerts;
    query.setSql(statements.alerts);
    query.open();
    for (; !query.eof(); query.next()) {
        alerts.append({wallClockOf(query.value(QStringLiteral("ALERTTIME"))),
                       query.integer(QStringLiteral("ALERTTYPE")),
                       query.text(QStringLiteral("ALERTDESC"))});
    }
    Timeline timeline = buildTimeline(from, to, now, stateAtStart, changes, alerts);

    query.setSql(statements.raisesPerDay);
    query.open();
    for (; !query.eof(); query.next()) {
        timeline.raisedPerDay.append(
            {QDate::fromString(query.text(QStringLiteral("RAISEDAY")), Qt::ISODate),
             query.integer(QStringLiteral("RAISES"))});
    }
    query.close();
    return timeline;
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
