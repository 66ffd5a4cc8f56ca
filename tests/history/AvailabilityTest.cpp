// The availability report: each device's time in each state over a range, reckoned in the
// database, and its totals.
#include "Commands.h"
#include "data/Availability.h"
#include "data/AvailabilityPdf.h"
#include "data/Timeline.h"
#include "devices/DeviceFixture.h"
#include "history/TfmAvailability.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Transaction.h"
#include "platform/ui/ResultActions.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>

using namespace tunnel;
using namespace tunnel::test;

namespace {

const QDateTime kMay(QDate(2004, 5, 1), QTime(0, 0));
const QDateTime kJune(QDate(2004, 6, 1), QTime(0, 0));
const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0));
constexpr qint64 kDay = 86'400'000;

struct Reckoning {
    const char* what;
    // DEVICESTATUS rows of device 5/3 (registered 正常): "time, state" or "time, state, the
    // state it left"
    QStringList changes;
    std::array<qint64, 5> milliseconds;  // 正常, 故障, 通讯断, 停用, 未知
};

}  // namespace

// The same cases on each engine: the arithmetic is the engine's.
class AvailabilityCases : public DeviceWindows {};

TEST_P(AvailabilityCases, EachCaseIsReckonedAsItsStatesLasted) {
    const std::vector<Reckoning> cases = {
        {"no history: the register's state all month", {}, {31 * kDay, 0, 0, 0, 0}},
        {"no change before the month: the state its first change left, not the register's",
         {"2004-05-11 00:00:00.000, 2, 3"},
         {0, 21 * kDay, 10 * kDay, 0, 0}},
        {"a change before the month says the state at its start, not the next one's record",
         {"2004-04-30 00:00:00.000, 4", "2004-05-11 00:00:00.000, 2, 3"},
         {0, 21 * kDay, 0, 10 * kDay, 0}},
        {"a change before the month runs across its start",
         {"2004-04-30 12:00:00.000, 3"},
         {0, 0, 31 * kDay, 0, 0}},
        {"the last change a millisecond more than a month before the start",
         {"2004-02-01 00:00:00.000, 4", "2004-03-31 23:59:59.999, 3"},
         {0, 0, 31 * kDay, 0, 0}},
        {"the last change in the month before, an older one before it",
         {"2004-02-01 00:00:00.000, 4", "2004-04-15 00:00:00.000, 2"},
         {0, 31 * kDay, 0, 0, 0}},
        {"a change in the month ends the state before it",
         {"2004-04-01 00:00:00.000, 2", "2004-05-11 00:00:00.000, 1"},
         {21 * kDay, 10 * kDay, 0, 0, 0}},
        {"a change at the month's last millisecond",
         {"2004-05-31 23:59:59.999, 2"},
         {31 * kDay - 1, 1, 0, 0, 0}},
        {"a change at the month's first moment replaces the state before it",
         {"2004-04-01 00:00:00.000, 2", "2004-05-01 00:00:00.000, 4"},
         {0, 0, 0, 31 * kDay, 0}},
        {"a change after the month is not counted",
         {"2004-06-01 00:00:00.000, 2"},
         {31 * kDay, 0, 0, 0, 0}},
        {"a state no table names counts as unknown; an hour of the night is an hour",
         {"2004-05-02 02:30:00.000, 9", "2004-05-02 03:30:00.000, 1"},
         {31 * kDay - 3'600'000, 0, 0, 0, 3'600'000}},
        {"the last change to a state no table names: unknown to the end",
         {"2004-05-21 00:00:00.000, 9"},
         {20 * kDay, 0, 0, 0, 11 * kDay}},
        {"the last change to no state: unknown to the end",
         {"2004-04-20 00:00:00.000, 2", "2004-05-21 00:00:00.000, NULL"},
         {0, 20 * kDay, 0, 0, 11 * kDay}},
    };
    // SQLite reckons with its own aggregates over the index that carries the state; a file of
    // an earlier version, without that index, with the window functions the servers use.
    const bool sqlite = GetParam() == db::Engine::SQLite;
    const std::array<const char*, 2> reckonings = {"as made",
                                                   "without the index carrying the state"};
    for (std::size_t pass = 0; pass < (sqlite ? reckonings.size() : 1); ++pass) {
        const char* reckoning = reckonings[pass];
        if (pass == 1) {
            database().exec(QStringLiteral("DROP INDEX IX_DEVICESTATUS_DEVICE_STATE"));
        }
        for (const Reckoning& c : cases) {
            database().exec(QStringLiteral("DELETE FROM DEVICESTATUS"));
            for (const QString& change : c.changes) {
                const QStringList parts = change.split(QStringLiteral(", "));
                database().exec(
                    QStringLiteral("INSERT INTO DEVICESTATUS (DEVICETYPE, "
                                   "DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
                                   "VALUES (5, 3, '%1', %3, %2)")
                        .arg(parts[0], parts[1], parts.value(2, QStringLiteral("NULL"))));
            }
            auto db = db::Database::open(database().connectionString());
            const data::AvailabilityReport report = data::readAvailability(*db, kMay, kJune, kNow);
            ASSERT_EQ(report.devices.size(), 3);
            const data::DeviceAvailability& device = report.devices[0];
            ASSERT_EQ(device.type * 100 + device.code, 503);
            EXPECT_EQ(device.milliseconds, c.milliseconds) << c.what << ", " << reckoning;
        }
    }
}

// Totals by area and type, the share in working order leaving out time out of use, and the
// worst devices by time in fault; a range reaching past now ends now.
TEST_P(AvailabilityCases, TotalsAndTheWorstDevices) {
    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (5, 3, '2004-05-21 00:00:00.000', 1, 4), (24, 1, '2004-05-30 00:00:00.000', 1, "
        "2)"));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) VALUES "
        "(24, 1, '2004-05-30 00:00:00.000', 1, 'x'), (24, 1, '2004-05-30 06:00:00.000', 0, 'x'), "
        "(24, 1, '2004-05-31 12:00:00.000', 1, 'y')"));
    auto db = db::Database::open(database().connectionString());
    const data::AvailabilityReport report = data::readAvailability(*db, kMay, kJune, kNow);
    ASSERT_EQ(report.totals.size(), 3) << "area 1 has 12/5 and 24/1, area 2 has 5/3";
    const data::AvailabilityTotal& area2 = report.totals[2];
    EXPECT_EQ(area2.area * 100 + area2.type, 205);
    EXPECT_EQ(data::shareText(data::workingShare(area2.milliseconds)), QStringLiteral("100.0%"))
        << "ten days out of use are left out";
    const data::DeviceAvailability& gateway = report.devices[2];
    EXPECT_EQ(gateway.inState(2), 2 * kDay);
    EXPECT_EQ(gateway.alerts, 2);
    EXPECT_EQ(gateway.alertMilliseconds, 6 * 3'600'000 + 12 * 3'600'000)
        << "a raise lasts to the next row, the last one to the month's end";
    EXPECT_EQ(report.worst, (QVector<int>{1, 2})) << "12/5 registered 故障 all month, then 24/1";
    EXPECT_EQ(report.whole.devices, 3);

    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (7, 7, '2004-04-20 00:00:00.000', 1, 2), (7, 7, '2004-05-11 00:00:00.000', 2, 1), "
        "(7, 7, '2004-05-21 00:00:00.000', 1, 4), (8, 8, '2004-05-06 00:00:00.000', 1, 3), "
        "(8, 8, '2004-05-16 00:00:00.000', 3, 1), (9, 9, '2004-04-01 00:00:00.000', 1, 2), "
        "(5, NULL, '2004-05-16 00:00:00.000', 3, 1)"));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) VALUES "
        "(7, 7, '2004-05-25 00:00:00.000', 1, 'z'), (NULL, 7, '2004-05-25 00:00:00.000', 1, "
        "'z')"));
    const data::AvailabilityReport removed = data::readAvailability(*db, kMay, kJune, kNow);
    ASSERT_EQ(removed.devices.size(), 5) << "two devices the register no longer has; one gone "
                                            "before the month is not in it, rows of no device "
                                            "count for none";
    EXPECT_EQ(removed.devices[3].alerts, 1);
    EXPECT_EQ(removed.devices[3].alertMilliseconds, 7 * kDay) << "raised to the month's end";
    const std::array<qint64, 5> seven{10 * kDay, 10 * kDay, 0, 0, 0};
    const std::array<qint64, 5> eight{5 * kDay, 0, 10 * kDay, 0, 0};
    EXPECT_EQ(removed.devices[3].milliseconds, seven)
        << "from the month's start to its last change";
    EXPECT_EQ(removed.devices[4].milliseconds, eight)
        << "from the month's start in the state its first change left, to its last change";
    EXPECT_EQ(removed.devices[3].area, data::kRemovedArea);
    EXPECT_EQ(data::readReportNames(*db).area(data::kRemovedArea),
              QStringLiteral("（已删除的设备）"));

    const data::AvailabilityReport current =
        data::readAvailability(*db, kMay, kJune, QDateTime(QDate(2004, 5, 11), QTime(0, 0)));
    EXPECT_EQ(current.devices[0].total(), 10 * kDay) << "counted up to now";
}

// The alerts are summed on a session of their own, beside the states: when it fails (here
// another program holds the alert history locked past the wait allowed), the report fails with
// its error and never shows the devices without their alerts.
TEST_P(AvailabilityCases, TheAlertsSessionsFailureFailsTheReport) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "SQLite's lock would hold up the states' reading as well";
    }
    auto locker = db::Database::open(database().connectionString());
    db::Transaction holding(*locker);
    locker->execute(QStringLiteral("LOCK TABLE DEVICEALERT IN ACCESS EXCLUSIVE MODE"));
    auto db = db::Database::open(database().connectionString() + QStringLiteral(";Lock Timeout=1"));
    EXPECT_THROW(data::readAvailability(*db, kMay, kJune, kNow), db::DbError);
}

// A server that refuses the report a second session (here the station's role may hold one at
// a time) still gives the whole report: the alerts are summed on the first session after the
// states.
TEST_P(AvailabilityCases, ARefusedSecondSessionLeavesTheAlertsToTheFirst) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "a server's limit";
    }
    database().exec(QStringLiteral(
        "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) VALUES "
        "(24, 1, '2004-05-30 00:00:00.000', 1, 'x'), (24, 1, '2004-05-30 06:00:00.000', 0, 'x')"));
    // Roles are the cluster's: one of this process's own, as other test runs share the cluster.
    const QString role =
        QStringLiteral("tunnel_one_session_%1").arg(QCoreApplication::applicationPid());
    database().exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
    database().exec(QStringLiteral("CREATE ROLE %1 LOGIN CONNECTION LIMIT 1").arg(role));
    database().exec(
        QStringLiteral("GRANT SELECT ON DEVICE, DEVICESTATUS, DEVICEALERT TO %1").arg(role));
    {
        auto db =
            db::Database::open(database().connectionString() + QStringLiteral(";User ID=") + role);
        const data::AvailabilityReport report = data::readAvailability(*db, kMay, kJune, kNow);
        ASSERT_EQ(report.devices.size(), 3);
        EXPECT_EQ(report.devices[2].alerts, 1);
        EXPECT_EQ(report.devices[2].alertMilliseconds, 6 * 3'600'000);
    }
    database().exec(QStringLiteral("DROP OWNED BY %1").arg(role));
    database().exec(QStringLiteral("DROP ROLE %1").arg(role));
}

namespace {

QString pdfText(const QString& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    pdftotext.waitForFinished(30000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

}  // namespace

// The window shows the figures the database reckons, its filters narrow them, and its CSV is
// what `tunneldb report` writes for the month; the command's PDF reads back as a report.
TEST_P(AvailabilityCases, TheWindowTheCsvAndTheCommandAgree) {
    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (5, 3, '2004-05-21 00:00:00.000', 1, 4), (24, 1, '2004-05-31 23:59:59.500', 1, "
        "2)"));
    history::TfmAvailability window(nullptr, context());
    window.show();
    child<QDateEdit>(window, "dtpBegin")->setDate(kMay.date());
    child<QDateEdit>(window, "dtpEnd")->setDate(QDate(2004, 5, 31));
    click(window, "btQuery");
    auto* totals = child<QTableWidget>(window, "gridTotals");
    ASSERT_EQ(totals->rowCount(), 4) << "three groups and the sum";
    EXPECT_EQ(totals->item(2, 0)->text(), QStringLiteral("隧道段"));
    EXPECT_EQ(totals->item(2, 1)->text(), QStringLiteral("照明回路"));
    EXPECT_EQ(totals->item(2, 6)->text(), QStringLiteral("35.5%")) << "停用 11 days of 31";
    EXPECT_EQ(totals->item(2, 8)->text(), QStringLiteral("100.0%"));
    EXPECT_EQ(totals->item(3, 0)->text(), QStringLiteral("合计"));
    choose(window, "cbArea", QStringLiteral("北洞口"));
    EXPECT_EQ(totals->rowCount(), 3) << "the area's two groups and their sum";
    choose(window, "cbArea", QStringLiteral("全部区域"));

    QTemporaryDir folder;
    const QString fromWindow = folder.filePath(QStringLiteral("窗口.csv"));
    const ui::SaveFileChooser previous = ui::setSaveFileChooser(
        [&](QWidget*, const QString&, const QString&) { return fromWindow; });
    click(window, "btCsv");
    ui::setSaveFileChooser(previous);
    const QString fromCommand = folder.filePath(QStringLiteral("命令.csv"));
    const QString pdf = folder.filePath(QStringLiteral("报表.pdf"));
    QString text;
    QTextStream out(&text);
    ASSERT_EQ(
        tools::runTunnelDb({QStringLiteral("report"), database().connectionString(),
                            QStringLiteral("--month"), QStringLiteral("2004-05"),
                            QStringLiteral("--csv"), fromCommand, QStringLiteral("--pdf"), pdf},
                           out, out),
        0)
        << text.toStdString();
    QFile windowFile(fromWindow);
    QFile commandFile(fromCommand);
    ASSERT_TRUE(windowFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(commandFile.open(QIODevice::ReadOnly));
    const QByteArray csv = windowFile.readAll();
    EXPECT_EQ(csv, commandFile.readAll());
    EXPECT_TRUE(QString::fromUtf8(csv).contains(
        QStringLiteral("隧道段,照明回路,1,64.5%,0.0%,0.0%,35.5%,0.0%,100.0%,0,0.00\r\n")));
    QString opened;
    QDate openedFrom;
    scripts.expect(QStringLiteral("fmDeviceTimeline"), [&](QDialog& timeline) {
        opened = child<QLabel>(timeline, "lDevice")->text();
        openedFrom = child<QDateEdit>(timeline, "dtpBegin")->date();
        return ui::mrCancel;
    });
    auto* worst = child<QTableWidget>(window, "gridWorst");
    ASSERT_EQ(worst->rowCount(), 2)
        << "12/5, registered 故障, and 24/1 in fault for the last half second of the range";
    emit worst->cellDoubleClicked(0, 0);
    EXPECT_EQ(opened, QStringLiteral("可变情报板(12) 5号"));
    EXPECT_EQ(openedFrom, kMay.date()) << "the timeline opens on the report's days";
    const QString report = pdfText(pdf);
    EXPECT_TRUE(report.contains(QStringLiteral("设备完好率报表"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("照明回路"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("100.0%"))) << report.toStdString();
}

// A report longer than a page goes on to the next with the table's titles again, and nothing is
// drawn past a page's end.
TEST(AvailabilityPdf, ALongReportRunsOntoPagesThatRepeatTheTitles) {
    data::AvailabilityReport report;
    report.from = kMay;
    report.to = kJune;
    for (int area = 1; area <= 60; ++area) {
        data::AvailabilityTotal total;
        total.area = area;
        total.type = 5;
        total.devices = 1;
        total.milliseconds = {29 * kDay, 2 * kDay, 0, 0, 0};
        report.totals.append(total);
    }
    const data::ReportNames names{[](int code) { return QStringLiteral("区域%1").arg(code); },
                                  [](int) { return QStringLiteral("风机"); },
                                  QStringLiteral("测试隧道")};
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("长.pdf"));
    data::writeAvailabilityPdf(report, names, kNow, pdf);
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(30000);
    const QString pages = QString::fromUtf8(info.readAllStandardOutput())
                              .section(QStringLiteral("Pages:"), 1)
                              .section(u'\n', 0, 0)
                              .trimmed();
    ASSERT_GE(pages.toInt(), 2);
    QProcess second;
    second.start(QStringLiteral("pdftotext"),
                 {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"),
                  QStringLiteral("2"), pdf, QStringLiteral("-")});
    second.waitForFinished(30000);
    const QString text = QString::fromUtf8(second.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QStringLiteral("区域与设备类型"))) << text.toStdString();
    const QString whole = pdfText(pdf);
    EXPECT_TRUE(whole.contains(QStringLiteral("区域60 风机"))) << "the last group is there";
    EXPECT_TRUE(whole.contains(QStringLiteral("93.5%")));
    // What an inspector signs: each page numbered of all and dated, the figures defined, the
    // chart titled, lines for the signatures.
    for (int page = 1; page <= pages.toInt(); ++page) {
        QProcess one;
        one.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                   QString::number(page), pdf, QStringLiteral("-")});
        one.waitForFinished(30000);
        const QString onPage = QString::fromUtf8(one.readAllStandardOutput());
        EXPECT_TRUE(onPage.contains(QStringLiteral("第 %1 页，共 %2 页").arg(page).arg(pages)))
            << page;
        EXPECT_TRUE(onPage.contains(QStringLiteral("生成于 2026-12-08 12:00"))) << page;
    }
    for (const QString& part :
         {QStringLiteral("完好率：正常状态的时间占统计时间"),
          QStringLiteral("各区域与设备类型的完好率"), QStringLiteral("制表："),
          QStringLiteral("审核："), QStringLiteral("测试隧道")}) {
        EXPECT_TRUE(whole.contains(part)) << part.toStdString();
    }
}

// What other programs stored reaches the files as a reader expects: an area or type code the
// catalogues do not name shows as its code, a text a spreadsheet would run as a formula or read
// as a signed number as a text (guarded once), and a name wider than its column ends in "…" in
// the PDF.
TEST_P(AvailabilityCases, UnnamedCodesFormulasAndLongNamesReadAsMeant) {
    database().exec(QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (76, '%1')")
                        .arg(QString(50, u'长')));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, STATUS, AREACODE, PHYSICS) VALUES (88, 1, "
        "2, 77, '=1+1'), (5, 9, 1, 76, 'L9'), (5, 10, 2, 76, '-12')"));
    auto db = db::Database::open(database().connectionString());
    const data::AvailabilityReport report = data::readAvailability(*db, kMay, kJune, kNow);
    const data::ReportNames names = data::readReportNames(*db);
    const QString csv = QString::fromUtf8(data::availabilityCsv(report, names));
    EXPECT_TRUE(csv.contains(QStringLiteral("\r\n区域 77,设备类型 88,1,"))) << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral("设备类型 88,1,'=1+1,"))) << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral(",10,'-12,"))) << csv.toStdString();
    EXPECT_LE(csv.indexOf(QStringLiteral("设备完好率报表,")), 1) << "the file says what it is";
    EXPECT_TRUE(csv.contains(QStringLiteral("\r\n表一：按区域与设备类型\r\n区域,设备类型,")));
    EXPECT_TRUE(
        csv.contains(QStringLiteral("\r\n表二：故障时间最长的十台设备\r\n故障时间最长的设备,")));
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("报表.pdf"));
    data::writeAvailabilityPdf(report, names, kNow, pdf);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("区域 77 设备类型 88"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("…"))) << text.toStdString();
}

TUNNEL_ON_EVERY_ENGINE(AvailabilityCases);

// The report and each device's timeline tell the same month: over the demo installation, every
// device's time in each state is its timeline's, to the millisecond.
TEST(AvailabilityOverTheDemo, TheReportAndEveryTimelineAgree) {
    QTemporaryDir folder;
    const QString connection = QStringLiteral("Provider=SQLite;Data Source=%1")
                                   .arg(folder.filePath(QStringLiteral("d.db")));
    QString output;
    QTextStream out(&output);
    ASSERT_EQ(tools::runTunnelDb({QStringLiteral("demo"), connection}, out, out), 0)
        << output.toStdString();
    auto db = db::Database::open(connection);
    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = now.date();
    const QDateTime from(today.addDays(1 - today.day()).addMonths(-1), QTime(0, 0));
    const QDateTime to = from.addMonths(2);
    const data::AvailabilityReport report = data::readAvailability(*db, from, to, now);
    ASSERT_FALSE(report.devices.isEmpty());
    db::Query query(*db);
    for (const data::DeviceAvailability& device : report.devices) {
        const data::Timeline timeline =
            data::readTimeline(query, device.type, device.code, from, to, now);
        ASSERT_EQ(timeline.shares.size(), 5);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(device.milliseconds[static_cast<std::size_t>(i)],
                      timeline.shares[i].milliseconds)
                << device.type << "/" << device.code << " "
                << timeline.shares[i].state.toStdString();
        }
    }
}
