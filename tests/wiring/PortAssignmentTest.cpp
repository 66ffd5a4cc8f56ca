// The port assignment window on its own, with the lookup data its opener keeps alive.
#include "data/GatewayPorts.h"
#include "data/TdmPublicData.h"
#include "data/WiringStatements.h"
#include "data/WiringWrites.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "support/CommitCutProxy.h"
#include "wiring/GatewayFixture.h"
#include "wiring/TfmNgConnect.h"

#include <QPushButton>

#include <atomic>
#include <thread>

using namespace tunnel;
using namespace tunnel::test;

namespace {

class PortAssignment : public GatewayWindows {
protected:
    void TearDown() override {
        window.reset();
        lookup.reset();
        GatewayWindows::TearDown();
    }

    void open(int gateway) {
        lookup = std::make_unique<data::TdmPublicData>(database().connectionString());
        lookup->DataModuleCreate();
        window = std::make_unique<wiring::TfmNgConnect>(nullptr, context());
        window->SetGateway(gateway);
        window->show();
    }
    QListWidget& list(const char* name) { return *child<QListWidget>(*window, name); }
    QStringList items(const char* name) { return itemsOf(list(name)); }
    // Assigns the parameter at `param` of the list to the terminal at `terminal`.
    void assign(int param, int terminal) {
        list("lbParam").setCurrentRow(param);
        list("lbPort").setCurrentRow(terminal);
        click(*window, "btConnect");
    }
    QStringList okRefusals() {
        messages.clear();
        click(*window, "btOK");
        return messages.texts();
    }

    std::unique_ptr<data::TdmPublicData> lookup;
    std::unique_ptr<wiring::TfmNgConnect> window;
};

const QStringList kAllTerminals = {"1", "2", "3", "4", "5", "6", "7", "8"};

}  // namespace

// Terminals taken by stored rows of the gateway, whatever their NGTYPE, are never offered;
// rows outside four kinds of eight terminals take none and break nothing.
TEST_P(PortAssignment, OffersTheFreeTerminalsOfEachParametersKind) {
    open(1);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("连接设备"));
    auto* types = child<QComboBox>(*window, "cbType");
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0), QStringLiteral("照明回路(5)"));
    EXPECT_EQ(types->itemText(1), QStringLiteral("风机(7)"));
    EXPECT_EQ(types->currentIndex(), -1);
    EXPECT_FALSE(child<QPushButton>(*window, "btOK")->isEnabled());
    EXPECT_TRUE(items("lbParam").isEmpty());

    choose(*window, "cbType", QStringLiteral("风机(7)"));
    EXPECT_EQ(items("lbParam"),
              QStringList({"启动(数字输出)", "运行(数字输入)", "电流(模拟输入)", "故障(数字输入)"}))
        << "the parameter of port kind 9 has no terminals to offer";
    EXPECT_EQ(list("lbParam").currentRow(), 0);
    EXPECT_EQ(items("lbPort"), kAllTerminals.mid(1));
    list("lbParam").setCurrentRow(1);
    EXPECT_EQ(items("lbPort"), QStringList({"2", "4", "5", "6", "7", "8"}))
        << "1 by this device, 3 by a row of NGTYPE 30";
    EXPECT_EQ(list("lbPort").currentRow(), -1);
    auto* numbers = child<QComboBox>(*window, "cbCode");
    EXPECT_EQ(numbers->count(), 2) << "7/2 and 7/4; not 7/1 (wired) nor 7/3 (no COMMDATA)";
    EXPECT_EQ(numbers->itemText(0), QStringLiteral("2"));
    EXPECT_EQ(numbers->currentIndex(), -1);
    choose(*window, "cbType", QStringLiteral("照明回路(5)"));
    EXPECT_EQ(numbers->count(), 0) << "5/9 is reached over the network";

    window.reset();
    open(2);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    for (int param = 0; param < 4; ++param) {
        list("lbParam").setCurrentRow(param);
        EXPECT_EQ(items("lbPort"), kAllTerminals) << "a gateway without rows";
    }
}

// Assign, release one, release all: parameters and terminals move between the lists, the
// first remaining parameter is chosen, and another type gives every terminal back.
TEST_P(PortAssignment, AssignmentsMoveBetweenTheLists) {
    open(1);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    assign(1, 0);  // 运行 on digital input 2
    EXPECT_EQ(items("lbParam"),
              QStringList({"启动(数字输出)", "电流(模拟输入)", "故障(数字输入)"}));
    EXPECT_EQ(list("lbParam").currentRow(), 0);
    EXPECT_EQ(items("lbConnect"), QStringList{"运行(数字输入) = 2"});
    assign(2, 0);  // 故障 on digital input 4
    list("lbParam").setCurrentRow(0);
    click(*window, "btConnect");  // no terminal chosen: nothing
    EXPECT_EQ(items("lbConnect"), QStringList({"运行(数字输入) = 2", "故障(数字输入) = 4"}));
    list("lbParam").setCurrentRow(1);
    EXPECT_EQ(items("lbPort"), kAllTerminals.mid(1)) << "analogue inputs are apart";

    list("lbConnect").setCurrentRow(0);
    click(*window, "btDisConnect");
    EXPECT_EQ(items("lbParam"), QStringList({"启动(数字输出)", "运行(数字输入)", "电流(模拟输入)"}))
        << "back in catalogue order";
    EXPECT_EQ(items("lbConnect"), QStringList{"故障(数字输入) = 4"});
    list("lbParam").setCurrentRow(1);
    EXPECT_EQ(items("lbPort"), QStringList({"2", "5", "6", "7", "8"}));
    click(*window, "btDisConnect");  // nothing chosen in the pending list
    EXPECT_EQ(items("lbConnect").size(), 1);

    assign(1, 0);
    click(*window, "btClear");
    EXPECT_TRUE(items("lbConnect").isEmpty());
    EXPECT_EQ(items("lbParam").size(), 4);
    list("lbParam").setCurrentRow(1);
    EXPECT_EQ(items("lbPort"), QStringList({"2", "4", "5", "6", "7", "8"}));

    assign(1, 0);
    choose(*window, "cbType", QStringLiteral("照明回路(5)"));
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    EXPECT_TRUE(items("lbConnect").isEmpty());
    list("lbParam").setCurrentRow(1);
    EXPECT_EQ(items("lbPort").first(), QStringLiteral("2")) << "given back at once";

    // Every terminal of the kind taken: nothing to offer, nothing to assign.
    for (int i = 0; i < 7; ++i) {
        database().exec(
            QStringLiteral(
                "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
                "DEVICEPARAM, DESCRIPT) VALUES (24, 1, 3, %1, 5, 3, 1, 'full')")
                .arg(i + 2));
    }
    window.reset();
    open(1);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    list("lbParam").setCurrentRow(2);
    EXPECT_TRUE(items("lbPort").isEmpty());
    click(*window, "btConnect");
    EXPECT_TRUE(items("lbConnect").isEmpty());
}

// Incomplete input is refused with the one message, whatever is missing, and nothing is sent.
TEST_P(PortAssignment, OkWithoutTypeNumberOrAssignmentIsRefused) {
    const QStringList before = wiringRows();
    const QStringList refusal = {QStringLiteral("数据输入不全，不能保存")};
    open(3);
    choose(*window, "cbType", QStringLiteral("照明回路(5)"));
    EXPECT_EQ(okRefusals(), refusal) << "a type without free devices";
    EXPECT_EQ(messages.messages().value(0).caption, QStringLiteral("提示"));
    EXPECT_EQ(messages.messages().value(0).flags, ui::mb::Ok | ui::mb::IconStop);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    choose(*window, "cbCode", QStringLiteral("2"));
    EXPECT_EQ(okRefusals(), refusal) << "a device with nothing assigned";
    assign(0, 0);
    choose(*window, "cbType", QStringLiteral("照明回路(5)"));
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    assign(0, 0);
    EXPECT_EQ(okRefusals(), refusal) << "the number went with the other type";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(items("lbConnect").size(), 1) << "the assignments stay";
    EXPECT_EQ(wiringRows(), before);
    EXPECT_EQ(device(7, 2, QStringLiteral("COMMDATA")), QStringLiteral("0"));
}

// One row per assignment, exactly as composed, and the device marked wired, in one go.
TEST_P(PortAssignment, OkStoresEveryAssignmentAndMarksTheDevice) {
    database().exec(QStringLiteral("UPDATE NGDEVICEPARAM SET DESCRIPT='I''m on' WHERE PARAM=5"));
    open(3);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    choose(*window, "cbCode", QStringLiteral("4"));
    assign(3, 2);  // I'm on: digital input 3
    assign(2, 7);  // 电流: analogue input 8
    click(*window, "btOK");
    EXPECT_TRUE(messages.messages().isEmpty()) << messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(window->result(), ui::mrOK);
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")),
              QStringList({"24|3|2|3|7|4|5|I'm on(数字输入)", "24|3|3|8|7|4|3|电流(模拟输入)"}));
    EXPECT_EQ(device(7, 4, QStringLiteral("COMMDATA")), QStringLiteral("1"));
    QStringList log = database().operLog();
    log.sort();
    EXPECT_EQ(
        log,
        QStringList(
            {"2|接线|NGCONFIG|NGTYPE=24,NGCODE=3,PORTTYPE=2,PORTCODE=3||"
             R"j({"DEVICETYPE":7,"DEVICECODE":4,"DEVICEPARAM":5,"DESCRIPT":"I'm on(数字输入)"})j",
             "2|接线|NGCONFIG|NGTYPE=24,NGCODE=3,PORTTYPE=3,PORTCODE=8||"
             R"j({"DEVICETYPE":7,"DEVICECODE":4,"DEVICEPARAM":3,"DESCRIPT":"电流(模拟输入)"})j"}));
}

TEST(WiringStatements, AreComposedToTheCharacter) {
    EXPECT_EQ(data::insertWiringStatement({3, 2, 3, 7, 4, 5, QStringLiteral("I'm on(数字输入)")}),
              QStringLiteral("insert into NGCONFIG(NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, "
                             "DEVICECODE, DEVICEPARAM, DESCRIPT) values(24,3,2,3,7,4,5,'I''m "
                             "on(数字输入)')"));
    EXPECT_EQ(
        data::markDeviceWiredStatement(7, -4),
        QStringLiteral("update DEVICE set COMMDATA='1' where DEVICETYPE=7 and DEVICECODE=-4"));
    EXPECT_EQ(
        data::deleteDeviceWiringStatement(1, 7, 2),
        QStringLiteral("delete from NGCONFIG where NGCODE=1 and DEVICETYPE=7 and DEVICECODE=2"));
    EXPECT_EQ(data::freeDeviceStatement(7, 2),
              QStringLiteral("update DEVICE set COMMDATA='0' where DEVICETYPE=7 and DEVICECODE=2"));
    EXPECT_EQ(data::gatewayListStatement(std::nullopt),
              QStringLiteral("select * from DEVICE  where DEVICETYPE=24"));
    EXPECT_EQ(data::gatewayTerminalsStatement(3),
              QStringLiteral("select * from NGCONFIG where NGCODE=3"));
}

// A save that fails on its last insert (a rule of the installation's own, which the window
// cannot check) keeps nothing, says why, and leaves the window as it was; once the cause is
// gone a second OK stores it all, also when the window's session has ended meanwhile.
TEST_P(PortAssignment, AFailedSaveIsRolledBackReportedAndCanBeRepeated) {
    database().exec(
        QStringLiteral("CREATE UNIQUE INDEX UX_DESCRIPT ON NGCONFIG (NGCODE, DESCRIPT)"));
    open(3);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    choose(*window, "cbCode", QStringLiteral("2"));
    assign(0, 0);
    assign(0, 0);
    assign(0, 0);
    ASSERT_EQ(items("lbConnect"),
              QStringList({"启动(数字输出) = 1", "运行(数字输入) = 1", "电流(模拟输入) = 1"}));
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 3, 4, 8, 5, 3, 1, '电流(模拟输入)')"));
    click(*window, "btOK");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_FALSE(messages.messages()[0].text.isEmpty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(items("lbConnect").size(), 3);
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")), QStringList{"24|3|4|8|5|3|1|电流(模拟输入)"});
    EXPECT_EQ(device(7, 2, QStringLiteral("COMMDATA")), QStringLiteral("0"));

    other->execute(QStringLiteral("DELETE FROM NGCONFIG WHERE NGCODE=3"));
    messages.clear();
    if (GetParam() == db::Engine::PostgreSQL) {
        // The window's session ended meanwhile: its reads and the start of the save are made
        // again on a fresh one, with no box and nothing written twice.
        const int self = database().scalarInt(QStringLiteral("select pg_backend_pid()"));
        other->execute(
            QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                           "current_database() and pid <> pg_backend_pid() and pid <> %1")
                .arg(self));
    }
    click(*window, "btOK");
    EXPECT_TRUE(messages.messages().isEmpty()) << messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(window->result(), ui::mrOK);
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 3);
    EXPECT_EQ(device(7, 2, QStringLiteral("COMMDATA")), QStringLiteral("1"));
}

// Another station saved between this window's opening and its OK: a terminal taken meanwhile
// goes back to the unassigned parameters and the others stay; a device wired meanwhile is no
// longer offered. Either way nothing is written, and the window says what was taken.
TEST_P(PortAssignment, ASaveFindsWhatAnotherStationTookMeanwhile) {
    open(3);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    choose(*window, "cbCode", QStringLiteral("2"));
    assign(0, 0);  // 启动 on digital output 1
    assign(0, 0);  // 运行 on digital input 1
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 3, 2, 1, 5, 3, 1, 'other station')"));
    EXPECT_EQ(okRefusals(),
              QStringList{QStringLiteral("网关 3 的数字输入端子 1已被其他工作站占用，没有保存。"
                                         "这些参数已退回待接线，请重新选择端子。")});
    EXPECT_EQ(items("lbConnect"), QStringList{"启动(数字输出) = 1"});
    list("lbParam").setCurrentRow(0);
    EXPECT_EQ(items("lbParam").value(0), QStringLiteral("运行(数字输入)"));
    EXPECT_EQ(items("lbPort").value(0), QStringLiteral("2"));
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 1);

    other->execute(
        QStringLiteral("UPDATE DEVICE SET COMMDATA='1' WHERE DEVICETYPE=7 AND "
                       "DEVICECODE=2"));
    EXPECT_EQ(okRefusals(),
              QStringList{QStringLiteral("设备 风机(2) 已在其他工作站接线，没有保存。")});
    EXPECT_EQ(child<QComboBox>(*window, "cbCode")->findText(QStringLiteral("2")), -1);
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 1);
    EXPECT_TRUE(window->isVisible());
}

// Two stations saving at once for one terminal, or for one device on two gateways: exactly
// one of them stores its rows, every round.
TEST_P(PortAssignment, OfTwoStationsRacingExactlyOneWins) {
    const data::TConnectParam start{1, 1, 1, QStringLiteral("启动(数字输出)")};
    const data::WiringClaim terminalRace[2] = {{3, 7, 2, {start}}, {3, 7, 4, {start}}};
    const data::WiringClaim deviceRace[2] = {{3, 7, 2, {start}}, {2, 7, 2, {start}}};
    for (int round = 0; round < 16; ++round) {
        database().exec(QStringLiteral("DELETE FROM NGCONFIG WHERE NGCODE IN (2, 3)"));
        database().exec(
            QStringLiteral("UPDATE DEVICE SET COMMDATA='0' WHERE DEVICETYPE=7 AND "
                           "DEVICECODE IN (2, 4)"));
        const data::WiringClaim* claims = round % 2 == 0 ? terminalRace : deviceRace;
        std::atomic<int> ready{0};
        std::atomic<int> wins{0};
        auto station = [&](const data::WiringClaim& claim) {
            auto connection = db::Database::open(database().connectionString());
            ++ready;
            while (ready < 2) {
            }
            if (!data::storeWiring(*connection, claim).any()) {
                ++wins;
            }
        };
        std::thread first(station, claims[0]);
        std::thread second(station, claims[1]);
        first.join();
        second.join();
        ASSERT_EQ(wins, 1) << "round " << round;
        EXPECT_EQ(wiringRows(QStringLiteral("NGCODE IN (2, 3)")).size(), 1) << "round " << round;
    }
}

// The connection is cut after COMMIT reached the server and before its answer came back: the
// window cannot know whether it saved, says so, and a second OK finds the device wired by the
// first instead of writing every row again.
TEST_P(PortAssignment, ALostAnswerToCommitIsNeverSavedTwice) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "an embedded engine has no answer to lose";
    }
    const db::ConnectionSettings server =
        db::ConnectionSettings::parse(database().connectionString());
    CommitCutProxy proxy(server.host, server.port);
    const QString viaProxy =
        QStringLiteral("Provider=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User ID=%3")
            .arg(proxy.port())
            .arg(server.database, server.user);
    lookup = std::make_unique<data::TdmPublicData>(viaProxy);
    lookup->DataModuleCreate();
    window = std::make_unique<wiring::TfmNgConnect>(nullptr, data::ModuleContext{viaProxy, {}});
    window->SetGateway(3);
    window->show();
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    choose(*window, "cbCode", QStringLiteral("2"));
    assign(0, 0);
    assign(0, 0);
    proxy.armCutAtNextCommit();
    const QStringList unknown = okRefusals();
    ASSERT_TRUE(proxy.cut());
    ASSERT_EQ(unknown.size(), 1);
    EXPECT_TRUE(unknown[0].startsWith(QStringLiteral("无法确定是否已保存")))
        << unknown[0].toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 2) << "the server did commit";

    EXPECT_EQ(okRefusals(), QStringList{QStringLiteral("设备 风机(2) 已经接线：上次确认时的保存已经"
                                                       "生效，没有再次保存。")});
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 2);
}

TUNNEL_ON_EVERY_ENGINE(PortAssignment);
