// The port assignment window on its own, with the lookup data its opener keeps alive.
#include "data/GatewayPorts.h"
#include "data/TdmPublicData.h"
#include "data/WiringStatements.h"
#include "platform/db/Database.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "wiring/GatewayFixture.h"
#include "wiring/TfmNgConnect.h"

#include <QPushButton>

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

// A save that fails on its last insert keeps nothing, says why, and leaves the window as it
// was; once the cause is gone a second OK, on a fresh connection, stores it all.
TEST_P(PortAssignment, AFailedSaveIsRolledBackReportedAndCanBeRepeated) {
    database().exec(
        QStringLiteral("CREATE UNIQUE INDEX UX_TERMINAL ON NGCONFIG (NGCODE, PORTTYPE, PORTCODE)"));
    open(3);
    choose(*window, "cbType", QStringLiteral("风机(7)"));
    choose(*window, "cbCode", QStringLiteral("2"));
    assign(0, 0);
    assign(0, 0);
    assign(0, 0);
    ASSERT_EQ(items("lbConnect"),
              QStringList({"启动(数字输出) = 1", "运行(数字输入) = 1", "电流(模拟输入) = 1"}));
    auto other = db::Database::open(database().connectionString());
    if (GetParam() == db::Engine::PostgreSQL) {
        const int self = database().scalarInt(QStringLiteral("select pg_backend_pid()"));
        other->execute(
            QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                           "current_database() and pid <> pg_backend_pid() and pid <> %1")
                .arg(self));
        click(*window, "btOK");
        ASSERT_EQ(messages.messages().size(), 1);
        EXPECT_TRUE(messages.messages()[0].text.startsWith(QStringLiteral("与数据库的连接已中断")));
        messages.clear();
    }
    other->execute(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 3, 3, 1, 5, 3, 1, 'meanwhile')"));
    click(*window, "btOK");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_FALSE(messages.messages()[0].text.isEmpty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(items("lbConnect").size(), 3);
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")), QStringList{"24|3|3|1|5|3|1|meanwhile"});
    EXPECT_EQ(device(7, 2, QStringLiteral("COMMDATA")), QStringLiteral("0"));

    other->execute(QStringLiteral("DELETE FROM NGCONFIG WHERE NGCODE=3"));
    messages.clear();
    click(*window, "btOK");
    EXPECT_TRUE(messages.messages().isEmpty()) << messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(window->result(), ui::mrOK);
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 3);
    EXPECT_EQ(device(7, 2, QStringLiteral("COMMDATA")), QStringLiteral("1"));
}

TUNNEL_ON_EVERY_ENGINE(PortAssignment);
