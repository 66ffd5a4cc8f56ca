// The tunnel view: where devices go, the state each is drawn in, and the window kept current
// while other connections write.
#include "data/TunnelView.h"
#include "devices/DeviceFixture.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmTunnelView.h"
#include "history/TimelineChart.h"
#include "history/TunnelStrip.h"
#include "platform/db/Database.h"
#include "platform/text/Gbk.h"
#include "platform/ui/ResultActions.h"

#include <QMenu>
#include <QSpinBox>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <cctype>
#include <string>

using namespace tunnel;
using namespace tunnel::test;

namespace {

data::TunnelDevice at(int type, int code, int position, int side, std::optional<qint64> stake) {
    data::TunnelDevice device;
    device.type = type;
    device.code = code;
    device.position = position;
    device.side = side;
    device.stake = stake;
    return device;
}

struct PlacedCase {
    const char* what;
    QVector<data::TunnelDevice> devices;
    QVector<data::TunnelArea> areas;
    QStringList placed;  // "type/code lane stake stack", in the order of type and number
    QVector<int> unplaced;
    qint64 from;
    qint64 to;
};

QString placedText(const QVector<data::TunnelDevice>& devices, const data::PlacedDevice& placed) {
    const data::TunnelDevice& device = devices[placed.device];
    return QStringLiteral("%1/%2 %3 %4 %5")
        .arg(device.type)
        .arg(device.code)
        .arg(placed.lane)
        .arg(placed.stake)
        .arg(placed.stack);
}

class Placing : public ::testing::TestWithParam<PlacedCase> {};

TEST_P(Placing, DevicesGoToTheirLaneAndStake) {
    const PlacedCase& c = GetParam();
    const data::TunnelLayout layout = data::layOutTunnel(c.devices, c.areas);
    QStringList placed;
    for (const data::PlacedDevice& device : layout.placed)
        placed.append(placedText(c.devices, device));
    EXPECT_EQ(placed, c.placed);
    EXPECT_EQ(layout.unplaced, c.unplaced);
    EXPECT_EQ(layout.from, c.from);
    EXPECT_EQ(layout.to, c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Stakes, Placing,
    ::testing::Values(PlacedCase{"equal stakes stack in one lane, in the order of type and number",
                                 {at(5, 2, 1, 1, 1200), at(5, 1, 1, 1, 1200), at(1, 9, 1, 1, 1200)},
                                 {},
                                 {"1/9 0 1200 0", "5/1 0 1200 1", "5/2 0 1200 2"},
                                 {},
                                 1200,
                                 1200},
                      PlacedCase{"one stake, two sides: two lanes, nothing stacked",
                                 {at(5, 1, 1, 2, 500), at(5, 2, 1, 1, 500), at(5, 3, 2, 1, 700)},
                                 {},
                                 {"5/1 1 500 0", "5/2 0 500 0", "5/3 2 700 0"},
                                 {},
                                 500,
                                 700},
                      PlacedCase{"a device without a stake is listed apart and makes no lane",
                                 {at(5, 1, 1, 1, std::nullopt), at(5, 2, 2, 2, 0)},
                                 {},
                                 {"5/2 0 0 0"},
                                 {0},
                                 0,
                                 0},
                      PlacedCase{"areas widen the picture to their borders",
                                 {at(5, 1, 1, 1, 10500)},
                                 {{1, QStringLiteral("北洞口"), 10000, 10500},
                                  {2, QStringLiteral("中段"), 10500, 12000}},
                                 {"5/1 0 10500 0"},
                                 {},
                                 10000,
                                 12000}),
    [](const auto& param) {
        // Named by what the case is: its words run together, each capitalised.
        std::string name;
        bool capital = true;
        for (const char* c = param.param.what; *c != '\0'; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c)) == 0) {
                capital = true;
            } else {
                name +=
                    capital ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
                capital = false;
            }
        }
        return name;
    });

TEST(StakeName, KilometresAndThreeDigitsOfMetres) {
    EXPECT_EQ(data::stakeName(12345), QStringLiteral("K12+345"));
    EXPECT_EQ(data::stakeName(5), QStringLiteral("K0+005"));
    EXPECT_EQ(data::stakeName(10000), QStringLiteral("K10+000"));
}

// What is wrong now comes worst first: in fault and alerting, in fault, without communication,
// alerting only; by type and number within each; a device in order is not listed, and each
// kind is counted.
TEST(TunnelWrongNow, WorstFirstAndCounted) {
    const auto device = [](int type, int code, int state, bool alerting) {
        data::TunnelDevice d;
        d.type = type;
        d.code = code;
        d.registered = state;
        d.alertRaised = alerting;
        return d;
    };
    const QVector<data::TunnelDevice> devices = {device(1, 1, 1, false), device(1, 2, 3, false),
                                                 device(5, 1, 2, false), device(1, 3, 1, true),
                                                 device(9, 9, 2, true),  device(1, 4, 2, false),
                                                 device(2, 1, 4, false)};
    const data::WrongNow wrong = data::wrongNow(devices);
    EXPECT_EQ(wrong.devices, (QVector<int>{4, 5, 2, 1, 3}));
    EXPECT_EQ(wrong.faults, 3);
    EXPECT_EQ(wrong.lost, 1);
    EXPECT_EQ(wrong.alerting, 2);
    EXPECT_EQ(data::deviceName({{1, QStringLiteral("摄像机")}}, 1, 11),
              QStringLiteral("摄像机 11"));
    EXPECT_EQ(data::deviceName({}, 88, 2), QStringLiteral("设备类型 88 2"));
}

// Areas side by side share a row of bands; areas over the same stakes (a tube each) take rows
// of their own, so that each is seen.
TEST(TunnelAreas, AreasOverTheSameStakesTakeRowsOfTheirOwn) {
    const QVector<data::TunnelArea> areas = {{1, QStringLiteral("北洞口"), 0, 100},
                                             {2, QStringLiteral("上行隧道段"), 100, 900},
                                             {3, QStringLiteral("下行隧道段"), 100, 900},
                                             {4, QStringLiteral("南洞口"), 900, 1000}};
    const data::TunnelLayout layout = data::layOutTunnel({}, areas);
    EXPECT_EQ(layout.areaRows, (QVector<int>{0, 0, 1, 0}));
    EXPECT_EQ(layout.bandRows, 2);
}

class TunnelView : public DeviceWindows {
protected:
    void prepare() override {
        DeviceWindows::prepare();
        // 5/3 registered 正常, then 故障 by its history; 12/5 registered 正常 with no history;
        // 24/1 raised an alert and had it cancelled, 12/5 has one raised.
        database().exec(QStringLiteral(
            "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, "
            "REMARK) VALUES (5, 3, '2004-05-30 00:00:00.000', 1, 3, 'a'), "
            "(5, 3, '2004-05-31 00:00:00.000', 3, 2, 'b')"));
        database().exec(QStringLiteral(
            "UPDATE AREA SET FROMMETER=10, FROMMILI=0, TOMETER=10, TOMILI=300 WHERE AREACODE=1"));
        database().exec(QStringLiteral(
            "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
            "VALUES (24, 1, '2004-05-30 00:00:00.000', 1, 'x'), "
            "(24, 1, '2004-05-30 01:00:00.000', 0, 'x'), "
            "(12, 5, '2004-05-31 02:00:00.000', 1, '烟雾报警')"));
    }

    std::unique_ptr<history::TfmTunnelView> open() {
        auto window = std::make_unique<history::TfmTunnelView>(nullptr, context());
        window->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->latestRowsRead(); }, 10000));
        return window;
    }

    void writeElsewhere(const QString& sql) {
        auto other = db::Database::open(database().connectionString());
        other->execute(sql);
    }
};

TEST_P(TunnelView, EachDeviceIsInItsLatestStateAndAlertAndEachAreaAtItsStakes) {
    auto db = db::Database::open(database().connectionString());
    data::TunnelFeed feed(*db);
    const QVector<data::TunnelDevice> devices = feed.readDevices();
    ASSERT_EQ(devices.size(), 3);
    QStringList seen;
    for (const data::TunnelDevice& d : devices) {
        seen.append(
            QStringLiteral("%1/%2 %3 %4 %5 %6")
                .arg(d.type)
                .arg(d.code)
                .arg(d.state())
                .arg(d.stake ? data::stakeName(*d.stake) : QStringLiteral("-"))
                .arg(d.alertRaised ? d.alertText : QStringLiteral("-"))
                .arg(d.changed ? d.since.toString(QStringLiteral("MM-dd")) : QStringLiteral("-")));
    }
    EXPECT_EQ(seen, QStringList({"5/3 2 K10+470 - 05-31", "12/5 2 K10+100 烟雾报警 -",
                                 "24/1 1 K10+050 - -"}));
    const QVector<data::TunnelArea> areas = feed.readAreas();
    ASSERT_EQ(areas.size(), 1) << "an area without stakes is not drawn";
    EXPECT_EQ(areas[0].name, QStringLiteral("北洞口"));
    EXPECT_EQ(areas[0].from, 10000);
    EXPECT_EQ(areas[0].to, 10300);
}

// A stake no road has (another program's wild value) places the device nowhere, and the picture
// spans the others: K0+000 and K9999+999 are stakes, a kilometre below zero or beyond, or a
// metre outside 0 to 999, are not.
TEST_P(TunnelView, AStakeNoRoadHasIsListedApartAndSpansNothing) {
    const struct {
        const char* kilometre;
        const char* metre;
        std::optional<qint64> stake;
    } cases[] = {
        {"0", "0", 0},
        {"9999", "999", 9'999'999},
        {"-2147483648", "470", std::nullopt},
        {"-1", "999", std::nullopt},
        {"10000", "0", std::nullopt},
        {"10", "1000", std::nullopt},
        {"10", "-640", std::nullopt},
    };
    auto db = db::Database::open(database().connectionString());
    for (const auto& c : cases) {
        database().exec(QStringLiteral("UPDATE DEVICE SET MILIMETER=%1, METER=%2 WHERE "
                                       "DEVICETYPE=5 AND DEVICECODE=3")
                            .arg(QLatin1String(c.kilometre), QLatin1String(c.metre)));
        data::TunnelFeed feed(*db);
        const QVector<data::TunnelDevice> devices = feed.readDevices();
        EXPECT_EQ(devices[0].stake, c.stake) << c.kilometre << '+' << c.metre;
        if (!c.stake) {
            const data::TunnelLayout layout = data::layOutTunnel(devices, feed.readAreas());
            EXPECT_EQ(layout.unplaced, QVector<int>{0});
            EXPECT_EQ(std::pair(layout.from, layout.to), std::pair(qint64{10'000}, qint64{10'300}))
                << "the others' and the area's stakes";
        }
    }
}

// A device's latest change wherever the history keeps it: in another month (a partition of its
// own on a partitioned server), before or after the months that have partitions, or without a
// time (first in a server's descending order, last in SQLite's).
TEST_P(TunnelView, TheLatestChangeIsFoundInWhicheverMonthItIs) {
    struct Case {
        const char* what;
        QStringList changes;  // "time, state" of 5/3 (NULL for no time), or a whole row
        int state;
    };
    const bool server = GetParam() == db::Engine::PostgreSQL;
    const std::vector<Case> cases = {
        {"two months", {"'2004-03-02 00:00:00.000', 3", "'2004-05-02 00:00:00.000', 4"}, 4},
        {"before the first month",
         {"'2003-12-02 00:00:00.000', 3", "'2004-02-02 00:00:00.000', 4"},
         4},
        {"only before the first month", {"'2003-12-02 00:00:00.000', 3"}, 3},
        {"after the last month",
         {"'2004-05-02 00:00:00.000', 3", "'2005-06-02 00:00:00.000', 4"},
         4},
        {"a month's first moment",
         {"'2004-04-30 23:59:59.999', 3", "'2004-05-01 00:00:00.000', 4"},
         4},
        {"without a time", {"NULL, 3", "'2004-05-02 00:00:00.000', 4"}, server ? 3 : 4},
        {"months before another device's",
         {"'2004-03-02 00:00:00.000', 3", "12, 5, '2004-07-02 00:00:00.000', 1"},
         3},
    };
    auto db = db::Database::open(database().connectionString());
    for (const Case& c : cases) {
        database().exec(QStringLiteral("DELETE FROM DEVICESTATUS"));
        for (const QString& change : c.changes) {
            const bool whole = change.count(u',') == 3;
            database().exec(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                                           "STATUSTIME, CURSTATUS) VALUES (%1%2)")
                                .arg(whole ? QString() : QStringLiteral("5, 3, "), change));
        }
        data::TunnelFeed feed(*db);
        const QVector<data::TunnelDevice> devices = feed.readDevices();
        ASSERT_EQ(devices.size(), 3);
        EXPECT_EQ(devices[0].state(), c.state) << c.what;
    }
}

// A large register is read in two halves at once on a server: every device comes once, in
// order, with its own latest state (the middle device, where the halves meet, too).
TEST_P(TunnelView, ALargeRegisterComesWholeWithEachDevicesOwnState) {
    const bool server = GetParam() == db::Engine::PostgreSQL;
    const QString numbers =
        server ? QStringLiteral("generate_series(0, 20000) n")
               : QStringLiteral(
                     "(with recursive s(n) as (select 0 union all select n + 1 from s "
                     "where n < 20000) select n from s)");
    database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS) SELECT "
                                   "30 + n / 1000, n % 1000, 1 FROM %1")
                        .arg(numbers));
    database().exec(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, "
                                   "STATUSTIME, CURSTATUS) SELECT 30 + n / 1000, n % 1000, "
                                   "'2004-05-02 00:00:00.000', n % 4 + 1 FROM %1")
                        .arg(numbers));
    auto db = db::Database::open(database().connectionString());
    data::TunnelFeed feed(*db);  // on a server in two halves
    const QVector<data::TunnelDevice> devices = feed.readDevices();
    ASSERT_EQ(devices.size(), 20004);
    int wrong = 0;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const data::TunnelDevice& d = devices[i];
        if (i > 0) {
            ASSERT_LT(std::pair(devices[i - 1].type, devices[i - 1].code),
                      std::pair(d.type, d.code))
                << "at " << i;
        }
        if (d.type >= 30 && d.state() != ((d.type - 30) * 1000 + d.code) % 4 + 1) {
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_P(TunnelView, WhatAnotherConnectionWritesShowsWithoutAsking) {
    auto w = open();
    auto* events = child<QListWidget>(*w, "lbEvents");
    ASSERT_EQ(events->count(), 5) << "two state changes and three alert rows";
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, "
        "REMARK) VALUES (12, 5, '2004-06-01 00:00:00.000', 1, 4, 'c')"));
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
        "VALUES (12, 5, '2004-06-01 00:00:01.000', 0, '烟雾报警')"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events->count() == 7; }, 3000))
        << "shown within two seconds by the window's own looks";
    EXPECT_TRUE(events->item(0)->text().contains(QStringLiteral("取消 烟雾报警")));
    EXPECT_TRUE(events->item(1)->text().contains(QStringLiteral("状态 停用")));
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, "
        "REMARK) VALUES (5, 3, '2004-06-01 00:00:00.000', 2, 1, 'same time, another device')"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events->count() == 8; }, 3000))
        << "a row at the time last seen is new all the same";
    w->poll();
    EXPECT_EQ(events->count(), 8) << "a row is shown once";
    EXPECT_TRUE(events->item(0)->text().contains(QStringLiteral("照明回路 3")));
}

// On SQLite other programs store their texts in GBK: the picture's devices and alerts and the
// live list read them as those programs meant them, from the register, the histories and the
// rows written while the window is open.
TEST_P(TunnelView, TextsOtherProgramsStoreInGbkReadAsMeant) {
    if (GetParam() != db::Engine::SQLite)
        GTEST_SKIP() << "a server converts what its clients write";
    const auto gbk = [](const char* text) {
        return QStringLiteral("CAST(X'%1' AS TEXT)")
            .arg(QString::fromLatin1(text::toGbk(QString::fromUtf8(text)).toHex()));
    };
    writeElsewhere(
        QStringLiteral("UPDATE DEVICE SET PHYSICS=%1 WHERE DEVICETYPE=5 AND DEVICECODE=3")
            .arg(gbk("北洞口一号")));
    writeElsewhere(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                  "ALERTTYPE, ALERTDESC) VALUES (5, 3, '2004-06-01 00:00:00.000', "
                                  "1, %1)")
                       .arg(gbk("风机过载")));
    {
        auto db = db::Database::open(database().connectionString());
        data::TunnelFeed feed(*db);
        const QVector<data::TunnelDevice> devices = feed.readDevices();
        EXPECT_EQ(devices[0].physics, QStringLiteral("北洞口一号"));
        EXPECT_EQ(devices[0].alertText, QStringLiteral("风机过载"));
    }
    auto w = open();
    auto* events = child<QListWidget>(*w, "lbEvents");
    EXPECT_TRUE(events->item(0)->text().contains(QStringLiteral("风机过载")));
    writeElsewhere(QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, "
                                  "PRESTATUS, CURSTATUS, REMARK) VALUES (5, 3, '2004-06-02 "
                                  "00:00:00.000', 2, 1, %1)")
                       .arg(gbk("复位")));
    writeElsewhere(QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                                  "ALERTTYPE, ALERTDESC) VALUES (5, 3, '2004-06-02 00:00:01.000', "
                                  "0, %1)")
                       .arg(gbk("风机过载")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events->count() == 8; }, 3000));
    EXPECT_TRUE(events->item(0)->text().contains(QStringLiteral("取消 风机过载")))
        << events->item(0)->text().toStdString();
}

// A read that fails (here the table is gone a while) is said in the status line and tried
// again; what was written meanwhile is read once it works again, and a session the server ended
// is replaced without a word.
TEST_P(TunnelView, AFailedLookIsSaidAndWhatWasMissedIsReadAfter) {
    auto w = open();
    auto* events = child<QListWidget>(*w, "lbEvents");
    auto* status = child<QLabel>(*w, "lStatus");
    database().exec(QStringLiteral("ALTER TABLE DEVICEALERT RENAME TO DEVICEALERT_AWAY"));
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, "
        "REMARK) VALUES (24, 1, '2004-06-02 00:00:00.000', 1, 3, 'meanwhile')"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return status->text().startsWith(QStringLiteral("与数据库的连接中断")); }, 3000))
        << status->text().toStdString();
    database().exec(QStringLiteral("ALTER TABLE DEVICEALERT_AWAY RENAME TO DEVICEALERT"));
    if (GetParam() == db::Engine::PostgreSQL) {
        database().exec(
            QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                           "current_database() and pid <> pg_backend_pid()"));
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return status->text() == QStringLiteral("已重新连接，补读了 1 条变化"); }, 3000))
        << "nothing written since the failed look, its rows are read all the same: "
        << status->text().toStdString();
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
        "VALUES (5, 3, '2004-06-02 00:00:01.000', 1, '断线期间')"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events->count() == 7; }, 3000));
    EXPECT_TRUE(events->item(0)->text().contains(QStringLiteral("断线期间")));
    EXPECT_TRUE(events->item(1)->text().contains(QStringLiteral("状态 通讯断")));
}

// Any write of the register by another connection is told at the next look, a history's
// write is not one (the register is not read again for it), and on SQLite a look after no write
// reads nothing.
TEST_P(TunnelView, ARegisterWriteIsToldByItsPrintAtTheNextLook) {
    auto db = db::Database::open(database().connectionString());
    data::TunnelFeed feed(*db);
    feed.readDevices();
    feed.readNewest(10);
    feed.changedSinceLastLook();
    feed.readNew();
    EXPECT_EQ(feed.changedSinceLastLook(), GetParam() != db::Engine::SQLite);
    EXPECT_FALSE(feed.takeRegisterChange()) << "the register unwritten";
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
        "VALUES (5, 3, '2004-06-03 00:00:00.000', 1, 'heard')"));
    EXPECT_TRUE(feed.changedSinceLastLook());
    EXPECT_FALSE(feed.takeRegisterChange()) << "a history's write";
    EXPECT_EQ(feed.readNew().size(), 1);
    for (const char* write : {"UPDATE DEVICE SET METER=7 WHERE DEVICETYPE=5 AND DEVICECODE=3",
                              "UPDATE DEVICE SET PHYSICS='L4' WHERE DEVICETYPE=5 AND DEVICECODE=3",
                              "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES (1, 1)",
                              "DELETE FROM DEVICE WHERE DEVICETYPE=5 AND DEVICECODE=3"}) {
        writeElsewhere(QString::fromLatin1(write));
        EXPECT_TRUE(feed.changedSinceLastLook()) << write;
        EXPECT_TRUE(feed.takeRegisterChange()) << write;
        feed.readDevices();
        feed.readNew();
    }
}

// Zoom stops at 50 m across and at the whole tunnel; a stake typed in the search centres the
// device there, and the next search goes on to the next match; the picture saves as PNG.
// A device another station moves or adds shows without reopening, the chosen device still
// chosen.
TEST_P(TunnelView, DevicesAnotherStationMovesOrAddsShowWithoutReopening) {
    auto w = open();
    auto* strip = w->findChild<history::TunnelStrip*>();
    strip->select(0);  // 5/3
    writeElsewhere(
        QStringLiteral("UPDATE DEVICE SET MILIMETER=11 WHERE DEVICETYPE=5 AND "
                       "DEVICECODE=3"));
    writeElsewhere(QStringLiteral(
        "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, POSITION, MILIMETER, METER, STATUS) VALUES "
        "(1, 1, 1, 10, 10, 1)"));
    const auto stakeOfFiveThree = [&] {
        for (const data::PlacedDevice& placed : strip->layout().placed)
            if (placed.device == 1)
                return placed.stake;
        return qint64{-1};
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return strip->layout().placed.size() == 4; }, 3000));
    EXPECT_EQ(stakeOfFiveThree(), 11470) << "5/3, now second by key, moved to K11+470";
    EXPECT_EQ(strip->selected(), std::optional<int>(1)) << "5/3 still chosen";
    EXPECT_EQ(child<QLabel>(*w, "lStatus")->text(), QStringLiteral("共 4 台设备"));
}

TEST_P(TunnelView, ZoomSearchAndThePicture) {
    auto w = open();
    auto* strip = w->findChild<history::TunnelStrip*>();
    ASSERT_NE(strip, nullptr);
    // The type list is the key to the glyphs: each type with the shape the picture gives it.
    auto* types = w->findChild<QComboBox*>(QStringLiteral("cbType"));
    ASSERT_GT(types->count(), 1);
    for (int i = 1; i < types->count(); ++i) {
        const QImage shown = types->itemIcon(i).pixmap(14, 14).toImage();
        EXPECT_EQ(
            shown,
            history::TunnelStrip::glyphIcon(types->itemData(i).toInt()).pixmap(14, 14).toImage())
            << i;
    }
    const double whole = strip->metresAcross();
    EXPECT_NEAR(whole, 470, 1) << "the area from K10+000 to the device at K10+470";
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(strip, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_NEAR(strip->metresAcross(), 50, 0.01);
    QTest::keyClick(strip, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_NEAR(strip->metresAcross(), 100, 0.01);
    for (int i = 0; i < 20; ++i)
        strip->zoomBy(0.5, 200);
    EXPECT_NEAR(strip->metresAcross(), whole, 0.01);

    typeInto(*w, "edSearch", QStringLiteral("K10+4"));
    click(*w, "btFind");
    ASSERT_TRUE(strip->selected());
    EXPECT_EQ(*strip->selected(), 0) << "5/3 at K10+470";
    typeInto(*w, "edSearch", QStringLiteral("10.0.0"));
    click(*w, "btFind");
    EXPECT_EQ(*strip->selected(), 1) << "the match after the chosen device";
    click(*w, "btFind");
    EXPECT_EQ(*strip->selected(), 0) << "after the last match, the first again";
    typeInto(*w, "edSearch", QStringLiteral("没有"));
    click(*w, "btFind");
    EXPECT_EQ(child<QLabel>(*w, "lStatus")->text(), QStringLiteral("没有找到设备：没有"));

    QTemporaryDir folder;
    const ui::SaveFileChooser previous =
        ui::setSaveFileChooser([&](QWidget*, const QString&, const QString&) {
            return folder.filePath(QStringLiteral("总览"));
        });
    click(*w, "btExport");
    ui::setSaveFileChooser(previous);
    const QImage picture(folder.filePath(QStringLiteral("总览.png")));
    EXPECT_EQ(picture.size(), strip->viewport()->size());
}

// "总览" in the device list opens the view on the chosen device; zoomed out, a device in fault
// that shares its spot with devices in order is the one drawn.
TEST_P(TunnelView, TheDeviceListOpensTheViewOnItsDeviceAndFaultsShowZoomedOut) {
    // 5/4 in fault a metre after 5/2 and 5/3 in order, the tunnel 10 km long: one spot, first
    // met as a device in order.
    insertDevice(5, 2,
                 QStringLiteral("2, 10, 469, 1, 60, 2, 1, 'L2', '', '', 1, 1, '10.0.0.2', 2"));
    insertDevice(5, 4,
                 QStringLiteral("2, 10, 471, 2, 60, 2, 1, 'L4', '', '', 1, 1, '10.0.0.4', 2"));
    insertDevice(5, 9, QStringLiteral("2, 20, 0, 1, 60, 2, 1, 'L9', '', '', 1, 1, '10.0.0.9', 2"));
    database().exec(
        QStringLiteral("UPDATE DEVICE SET STATUS=1"
                       " WHERE NOT (DEVICETYPE=5 AND DEVICECODE=4)"));
    database().exec(QStringLiteral("DELETE FROM DEVICESTATUS"));
    database().exec(QStringLiteral("DELETE FROM DEVICEALERT"));
    devices::TfmDeviceMainage list(nullptr, context());
    list.show();
    auto* devicesGrid = child<QTableView>(list, "DBGrid1");
    devicesGrid->setCurrentIndex(devicesGrid->model()->index(1, 0));  // 5/3, ordered by key
    std::optional<int> centred;
    bool faultDrawn = false;
    scripts.expect(QStringLiteral("fmTunnelView"), [&](QDialog& view) {
        auto* strip = view.findChild<history::TunnelStrip*>();
        centred = strip->selected();
        strip->select(std::nullopt);
        const QImage picture = strip->viewport()->grab().toImage();
        const QColor fault = history::TimelineChart::stateColour(2);
        for (int y = 0; y < picture.height() - 24 && !faultDrawn; ++y)
            for (int x = 0; x < picture.width() && !faultDrawn; ++x)
                faultDrawn = picture.pixelColor(x, y) == fault;
        return ui::mrCancel;
    });
    actionTitled(*devicesGrid, QStringLiteral("总览(&V)..."))->trigger();
    ASSERT_TRUE(scripts.allUsed());
    EXPECT_EQ(centred, std::optional<int>(1)) << "5/3 is the second device by key";
    EXPECT_TRUE(faultDrawn) << "5/4 in fault, drawn though devices in order share its spot";
}

TEST_P(TunnelView, EnterOnADeviceOpensItsTimeline) {
    auto w = open();
    auto* strip = w->findChild<history::TunnelStrip*>();
    ASSERT_NE(strip, nullptr);
    strip->select(0);
    scripts.expect(QStringLiteral("fmDeviceTimeline"), [](QDialog&) { return ui::mrCancel; });
    QTest::keyClick(strip, Qt::Key_Return);
    EXPECT_TRUE(scripts.allUsed());
    EXPECT_TRUE(scripts.unexpected().isEmpty());
}

// The device's menu opens its editor and connection settings only for an operator with the
// configuration right; what the editor writes shows in the picture by the next look.
TEST_P(TunnelView, TheDeviceMenuEditsWithTheConfigurationRightOnly) {
    for (const bool granted : {false, true}) {
        data::ModuleContext withRights = context();
        withRights.hasRight = [granted](int right) {
            return right == data::rights::kStateHistory ||
                   (granted && right == data::rights::kConfiguration);
        };
        history::TfmTunnelView w(nullptr, withRights);
        w.show();
        QMenu menu;
        w.fillDeviceMenu(menu, 0);  // 5/3
        QStringList offered;
        for (QAction* action : menu.actions()) {
            if (!action->isSeparator()) {
                offered.append(action->text() + (action->isEnabled() ? "" : " -"));
            }
        }
        const QString edit = granted ? QString() : QStringLiteral(" -");
        ASSERT_EQ(offered, QStringList({"运行记录(&T)...", "操作记录(&L)...", "编辑(&E)..." + edit,
                                        "连接配置(&N)..." + edit}));
        if (!granted) {
            continue;
        }
        scripts.expect(QStringLiteral("fmConnectConfig"), [](QDialog&) { return ui::mrCancel; });
        menu.actions()[4]->trigger();
        scripts.expect(QStringLiteral("fmAddDevice"), [](QDialog& editor) {
            EXPECT_EQ(child<QSpinBox>(editor, "seCode")->value(), 3) << "the device's own";
            child<QSpinBox>(editor, "seMili")->setValue(12);
            click(editor, "Button1");
            return ui::mrOK;
        });
        menu.actions()[3]->trigger();
        EXPECT_TRUE(scripts.allUsed());
        const auto* strip = w.findChild<history::TunnelStrip*>();
        EXPECT_TRUE(
            std::any_of(strip->layout().placed.begin(), strip->layout().placed.end(),
                        [](const data::PlacedDevice& placed) { return placed.stake == 12470; }))
            << "5/3 at K12+470 once the editor closed";
    }
}

TUNNEL_ON_EVERY_ENGINE(TunnelView);

}  // namespace
