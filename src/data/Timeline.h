#pragma once

#include "platform/db/Engine.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

namespace tunnel::db {
class Query;
}

namespace tunnel::data {

// One row of DEVICESTATUS of the device.
struct StateChange {
    QDateTime at;
    int before = 0;
    int after = 0;
};

// One row of DEVICEALERT of the device: raised when `flag` is above 0, cancelled otherwise.
struct AlertEvent {
    QDateTime at;
    int flag = 0;
    QString description;
};

struct StateShare {
    QString state;  // the device list's word for it (通讯断 for 3)
    qint64 milliseconds = 0;
    double share = 0;  // of the range's time
};

// A stretch of the range in one state, for the state band.
struct StatePeriod {
    QDateTime from;
    QDateTime to;
    int state = 0;  // as stored; codes outside the table are unknown
};

// What the timeline sums up over the range; its list of events is read by a grid a batch at a
// time (see TimelineList.h).
struct Timeline {
    QVector<StatePeriod> periods;  // oldest first, covering the range up to now
    QVector<StateShare> shares;  // "正常", "故障", "通讯断", "停用", "未知", in that order
    int alertsRaised = 0;
    qint64 longestAlert = 0;  // ms from a raise to its cancel (or to the range's end)
    QVector<QPair<QDate, int>> raisedPerDay;  // days with raises, oldest first, counted by the
                                              // database
};

// Stored times are the installation's wall-clock times: they are computed with as they read,
// outside any time zone's daylight-saving rules (a time that the local clock skips stays valid,
// an hour changed is an hour). These give a date and time that form.
QDateTime wallClock(const QDate& date, const QTime& time);
QDateTime wallClock(const QDateTime& at);
// A stored time as read: a date and time value, or the text "yyyy-MM-dd hh:mm:ss[.zzz]" that
// SQLite stores; an invalid time for anything else.
QDateTime wallClockOf(const QVariant& stored);

// The device's story over [from, to], counted up to `now` when the range ends later. The
// state in force at `from` is `stateAtStart` (the CURSTATUS of the last change before the
// range), else the state the first change in the range started from, else unknown. A cancel
// closes the earliest open raise with its description (one without a description, the earliest
// open raise; one whose description no open raise has cancels a raise from before the range);
// a raise never cancelled lasts to the range's end. Leaves raisedPerDay to the database.
Timeline buildTimeline(const QDateTime& from, const QDateTime& to, const QDateTime& now,
                       std::optional<int> stateAtStart, QVector<StateChange> changes,
                       QVector<AlertEvent> alerts);

// What a timeline reads: the device's last state change before the range, its state changes
// and its alerts in the range, and its raises counted by day; each names the device, so the
// indexes by device and time serve it.
struct TimelineStatements {
    QString stateBefore;
    QString changes;
    QString alerts;
    QString raisesPerDay;
};
TimelineStatements timelineStatements(db::Engine engine, int deviceType, int deviceCode,
                                      const QDateTime& from, const QDateTime& to);

// Reads one device's story over [from, to] from the history tables: only that device's rows of
// the range (the indexes by device and time serve them) and its last state change before the
// range. Throws DbError.
Timeline readTimeline(db::Query& query, int deviceType, int deviceCode, const QDateTime& from,
                      const QDateTime& to, const QDateTime& now);

// A duration as the timeline shows it: "2天3小时", "3小时5分", "5分12秒", "12秒".
QString durationText(qint64 milliseconds);

}  // namespace tunnel::data
