#include "data/Timeline.h"
#include "data/TimelineList.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "support/Printers.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace tunnel::data;

namespace {

const QDateTime kFrom(QDate(2026, 3, 1), QTime(0, 0));
const QDateTime kTo(QDate(2026, 3, 11), QTime(0, 0));  // ten days
const QDateTime kLater(QDate(2026, 12, 1), QTime(0, 0));
constexpr qint64 kDay = 86'400'000;

QDateTime day(double days) {
    return kFrom.addMSecs(static_cast<qint64>(days * static_cast<double>(kDay)));
}

// The milliseconds spent in each state, in the order "正常", "故障", "通讯断", "停用", "未知".
QVector<qint64> spent(const Timeline& timeline) {
    QVector<qint64> all;
    for (const StateShare& share : timeline.shares)
        all.append(share.milliseconds);
    return all;
}

}  // namespace

// Where the state at the range's start comes from, changes at its very edges, a range that
// ends in the future, codes outside the table.
TEST(Timeline, SharesOfTimeInEachState) {
    struct Case {
        const char* what;
        std::optional<int> atStart;
        QVector<StateChange> changes;
        QDateTime to;
        QVector<qint64> expected;
    };
    const QVector<Case> cases = {
        {"no change: the state before the range holds all of it",
         2,
         {},
         kTo,
         {0, 10 * kDay, 0, 0, 0}},
        {"no change and nothing before: unknown", std::nullopt, {}, kTo, {0, 0, 0, 0, 10 * kDay}},
        {"the first change's own before-state when nothing came before",
         std::nullopt,
         {{day(4), 3, 1}},
         kTo,
         {6 * kDay, 0, 4 * kDay, 0, 0}},
        {"a change exactly at the start and at the end",
         1,
         {{day(0), 1, 4}, {day(10), 4, 1}},
         kTo,
         {0, 0, 0, 10 * kDay, 0}},
        {"a range ending in the future counts up to now",
         1,
         {{day(5), 1, 2}},
         kFrom.addDays(20),
         {5 * kDay, 5 * kDay, 0, 0, 0}},
        {"codes outside the table are unknown",
         1,
         {{day(2), 1, 5}, {day(3), 5, 0}},
         kTo,
         {2 * kDay, 0, 0, 0, 8 * kDay}},
    };
    for (const Case& c : cases) {
        const QDateTime now = c.to > kTo ? kTo : kLater;  // "now" is day 10 for the future range
        const Timeline timeline = buildTimeline(kFrom, c.to, now, c.atStart, c.changes, {});
        EXPECT_EQ(spent(timeline), c.expected) << c.what;
        double total = 0;
        for (const StateShare& share : timeline.shares)
            total += share.share;
        EXPECT_NEAR(total, 1.0, 1e-9) << c.what;
    }
}

// Overlapping raises, a cancel pairing by description, a raise never cancelled lasting to the
// range's end (or now), a cancel of a raise from before the range.
TEST(Timeline, PairsAlertsAndFindsTheLongest) {
    const QString power = QStringLiteral("供电异常");
    const QString door = QStringLiteral("门禁打开");
    const Timeline timeline = buildTimeline(kFrom, kTo, kLater, 1, {},
                                            {{day(0.5), 0, door},
                                             {day(1), 1, power},
                                             {day(2), 1, door},
                                             {day(2.5), 0, door},
                                             {day(4), 0, power},
                                             {day(9), 1, power}});
    EXPECT_EQ(timeline.alertsRaised, 3);
    EXPECT_EQ(timeline.longestAlert, 3 * kDay) << "power from day 1 to day 4";

    const Timeline open =
        buildTimeline(kFrom, kLater, day(7), 1, {}, {{day(1), 1, power}, {day(2), 1, door}});
    EXPECT_EQ(open.longestAlert, 6 * kDay) << "never cancelled: to now";

    const Timeline earlier = buildTimeline(
        kFrom, kTo, kLater, 1, {},
        {{day(1), 1, power}, {day(1.001), 0, door}, {day(1.25), 0, QStringLiteral(" 供电异常 ")}});
    EXPECT_EQ(earlier.longestAlert, kDay / 4)
        << "the door's cancel closes a raise before the range";
    const Timeline undescribed =
        buildTimeline(kFrom, kTo, kLater, 1, {}, {{day(1), 1, power}, {day(2), 0, QString()}});
    EXPECT_EQ(undescribed.longestAlert, kDay) << "a cancel without a description: the earliest";
}

// What the chart's band draws: one period a state stretch, clipped to now.
TEST(Timeline, ChartPeriodsFollowTheChanges) {
    const QDateTime now = day(8);
    const Timeline timeline =
        buildTimeline(kFrom, kTo, now, 1, {{day(2), 1, 9}, {day(5), 9, 1}}, {});
    ASSERT_EQ(timeline.periods.size(), 3);
    EXPECT_EQ(timeline.periods[1].from, wallClock(day(2)));
    EXPECT_EQ(timeline.periods[1].to, wallClock(day(5)));
    EXPECT_EQ(timeline.periods[1].state, 9);
    EXPECT_EQ(timeline.periods[2].to, wallClock(now));
}

TEST(Timeline, DurationsReadAsTheTimelineShowsThem) {
    EXPECT_EQ(durationText(2 * kDay + 3 * 3'600'000), QStringLiteral("2天3小时"));
    EXPECT_EQ(durationText(3 * 3'600'000 + 5 * 60'000), QStringLiteral("3小时5分"));
    EXPECT_EQ(durationText(5 * 60'000 + 12'000), QStringLiteral("5分12秒"));
    EXPECT_EQ(durationText(12'999), QStringLiteral("12秒"));
    EXPECT_EQ(durationText(-5), QStringLiteral("0秒"));
}

namespace {
class TimelineOnEngine : public tunnel::test::EngineTest {
protected:
    // The timeline's list as the grid reads it, every row, "时间|类别|内容|持续时间".
    QStringList listed(const QDateTime& from, const QDateTime& to, const QDateTime& now,
                       int batch = 2) {
        tunnel::db::KeysetQueryModel model;
        model.setConnectionString(database().connectionString());
        model.setOrder(timelineListOrder());
        bindTimelineColumns(model);
        model.setStatement(timelineListStatement(5, 3, from, to, now));
        model.setBatchSize(batch);  // the order and the durations hold across batches
        model.reload();
        while (model.canFetchMore())
            model.fetchMore();
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model.columnCount(); ++column)
                cells.append(model.data(model.index(row, column)).toString());
            rows.append(cells.join(u'|'));
        }
        return rows;
    }
};
}  // namespace

// The device's rows only, its last change before the range, and both tables' rows of the range.
TEST_P(TimelineOnEngine, IsReadFromTheDevicesOwnRows) {
    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (5, 3, '2026-02-20 00:00:00.000', 1, 2), (5, 3, '2026-03-06 00:00:00.000', 2, 1), "
        "(5, 4, '2026-03-02 00:00:00.000', 1, 4), (5, 3, '2026-03-20 00:00:00.000', 1, 3)"));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) VALUES "
        "(5, 3, '2026-03-02 00:00:00.000', 1, 'x'), (5, 3, '2026-03-04 00:00:00.000', 0, 'x'), "
        "(5, 4, '2026-03-03 00:00:00.000', 1, 'y')"));
    tunnel::db::Query query(database().connectionString());
    const Timeline timeline = readTimeline(query, 5, 3, kFrom, kTo, kLater);
    EXPECT_EQ(spent(timeline), (QVector<qint64>{5 * kDay, 5 * kDay, 0, 0, 0}))
        << "故障 from before the range until day 5, then 正常";
    EXPECT_EQ(timeline.alertsRaised, 1);
    EXPECT_EQ(timeline.longestAlert, 2 * kDay);
    const QVector<QPair<QDate, int>> perDay = {{QDate(2026, 3, 2), 1}};
    EXPECT_EQ(timeline.raisedPerDay, perDay);
    EXPECT_EQ(listed(kFrom, kTo, kLater),
              (QStringList{"2026-03-06 00:00:00|状态|故障 -> 正常|5天0小时",
                           "2026-03-04 00:00:00|取消|x|", "2026-03-02 00:00:00|报警|x|"}))
        << "newest first, the last change lasting to the past range's end";
}

// A state change lasts to the next one, even when a batch ends between them; a range reaching
// beyond now ends in 至今; a state change comes before an alert of the same moment.
TEST_P(TimelineOnEngine, ListsNewestFirstWithHowLongEachStateLasted) {
    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (5, 3, '2026-03-02 00:00:00.000', 1, 2), (5, 3, '2026-03-04 12:00:00.000', 2, 3)"));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) VALUES "
        "(5, 3, '2026-03-03 00:00:00.000', 1, '3号设备故障'), "
        "(5, 3, '2026-03-04 12:00:00.000', 0, '3号设备故障')"));
    EXPECT_EQ(listed(kFrom, kTo, kLater),
              (QStringList{"2026-03-04 12:00:00|状态|故障 -> 通讯断|6天12小时",
                           "2026-03-04 12:00:00|取消|3号设备故障|",
                           "2026-03-03 00:00:00|报警|3号设备故障|",
                           "2026-03-02 00:00:00|状态|正常 -> 故障|2天12小时"}));
    EXPECT_EQ(listed(kFrom, kLater, kTo).first(),
              QStringLiteral("2026-03-04 12:00:00|状态|故障 -> 通讯断|至今"));
}

// Stored times are wall-clock times: over the spring change an hour is an hour, and a time the
// local clock skips stays what it says.
TEST_P(TimelineOnEngine, TimesAreReckonedOutsideTheLocalZonesClockChanges) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (5, 3, '2026-03-29 01:30:00.000', 1, 2), (5, 3, '2026-03-29 02:30:00.000', 2, 3), "
        "(5, 3, '2026-03-29 03:30:00.000', 3, 1)"));
    tunnel::db::Query query(database().connectionString());
    const QDate sunday(2026, 3, 29);
    const QDateTime from(sunday, QTime(0, 0));
    const QDateTime to(sunday, QTime(23, 59, 59, 999));
    const Timeline timeline = readTimeline(query, 5, 3, from, to, kLater);
    const QStringList rows = listed(from, to, kLater, 256);
    qputenv("TZ", zone);
    tzset();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[1], QStringLiteral("2026-03-29 02:30:00|状态|故障 -> 通讯断|1小时0分"))
        << "the skipped hour, lasting an hour";
    EXPECT_EQ(rows[2], QStringLiteral("2026-03-29 01:30:00|状态|正常 -> 故障|1小时0分"));
    EXPECT_EQ(spent(timeline),
              (QVector<qint64>{kDay - 2 * 3'600'000 - 1, 3'600'000, 3'600'000, 0, 0}));
}

TUNNEL_ON_EVERY_ENGINE(TimelineOnEngine);
