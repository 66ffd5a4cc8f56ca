#include "devices/TfmAddDevice.h"

#include "devices/DeviceFixture.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

using namespace tunnel;
using namespace tunnel::test;

namespace {

class DeviceEditor : public DeviceWindows {
protected:
    std::unique_ptr<devices::TfmAddDevice> openAdd() {
        auto window = std::make_unique<devices::TfmAddDevice>(nullptr, context());
        window->show();
        return window;
    }
    std::unique_ptr<devices::TfmAddDevice> openEdit(int type, int code) {
        auto window = std::make_unique<devices::TfmAddDevice>(nullptr, context());
        window->SetDevice(type, code);
        window->show();
        return window;
    }
    static void fillNew(QWidget& w, const QString& type, int code) {
        choose(w, "cbType", type);
        child<QSpinBox>(w, "seCode")->setValue(code);
    }
};

const QString kErrorCaption = QStringLiteral("错误");

}  // namespace

TEST_P(DeviceEditor, AddModeFillsItsListsAndPresets) {
    auto w = openAdd();
    auto* type = child<QComboBox>(*w, "cbType");
    EXPECT_EQ(type->count(), 4);
    EXPECT_EQ(type->itemText(1), QStringLiteral("5-照明回路")) << "code and name trimmed";
    EXPECT_EQ(type->currentIndex(), -1);
    EXPECT_EQ(child<QComboBox>(*w, "cbArea")->currentIndex(), -1);
    EXPECT_EQ(child<QComboBox>(*w, "cbPos")->currentText(), QStringLiteral("1-上行"));
    EXPECT_EQ(child<QComboBox>(*w, "cbSide")->currentText(), QStringLiteral("0-无"));
    EXPECT_EQ(child<QSpinBox>(*w, "seCycle")->value(), 60);
    EXPECT_EQ(child<QSpinBox>(*w, "seCode")->maximum(), 999);
}

TEST_P(DeviceEditor, ConfirmWithoutATypeAsksForTheMissingChoice) {
    auto w = openAdd();
    click(*w, "Button1");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("条件不完整,请补全！"));
    EXPECT_EQ(messages.messages()[0].caption, kErrorCaption);
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::IconStop);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(allDevices().size(), 3);
}

TEST_P(DeviceEditor, ANewDeviceWithoutAreaIsWrittenWithAreaZeroAndNoConnection) {
    auto w = openAdd();
    fillNew(*w, QStringLiteral("1-摄像机"), 7);
    child<QSpinBox>(*w, "seMili")->setValue(25);
    child<QSpinBox>(*w, "seMeter")->setValue(300);
    typeInto(*w, "edPhysics", QStringLiteral("  A01  "));
    click(*w, "Button1");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(
        device(1, 7,
               QStringLiteral(
                   "AREACODE, MILIMETER, METER, PHYSICS, COMMTYPE, COMMDATA, PROTOCOL, SIDE")),
        QStringLiteral("0|25|300|A01|0||0|0"));
    const QStringList log = database().operLog();
    ASSERT_EQ(log.size(), 1) << "the insert and its log row, together";
    EXPECT_TRUE(log[0].startsWith(QStringLiteral(
        R"j(1|增加|DEVICE|DEVICETYPE=1,DEVICECODE=7||{"DEVICETYPE":1,"DEVICECODE":7,)j")))
        << log[0].toStdString();
    EXPECT_TRUE(log[0].contains(QStringLiteral(R"j("PHYSICS":"A01")j"))) << log[0].toStdString();
}

TEST_P(DeviceEditor, TextsAreMeasuredInGbkBytesAfterTrimming) {
    auto w = openAdd();
    fillNew(*w, QStringLiteral("1-摄像机"), 8);
    typeInto(*w, "edPhysics", QStringLiteral("十个中文字符正好二十一"));
    click(*w, "Button1");
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("所输入的物理编号数据过长，请检查！")});
    EXPECT_TRUE(w->isVisible());
    typeInto(*w, "edPhysics", QStringLiteral(" 十个中文字符正好二十 "));
    typeInto(*w, "edBeginPos", QStringLiteral("K12+345678"));
    typeInto(*w, "edEndPos", QStringLiteral("十一个字节x"));
    click(*w, "Button1");
    EXPECT_EQ(messages.texts().last(), QStringLiteral("所输入的设备结束位置数据过长，请检查！"));
    typeInto(*w, "edBeginPos", QStringLiteral("K12+3456789"));
    click(*w, "Button1");
    EXPECT_EQ(messages.texts().last(), QStringLiteral("所输入的设备开始位置数据过长，请检查！"));
    EXPECT_EQ(device(1, 8, QStringLiteral("PHYSICS")), QStringLiteral("<none>"));
    typeInto(*w, "edBeginPos", QStringLiteral("K12+345"));
    typeInto(*w, "edEndPos", QStringLiteral("五个汉字啊"));
    click(*w, "Button1");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(device(1, 8, QStringLiteral("PHYSICS, BEGINPOS, ENDPOS")),
              QStringLiteral("十个中文字符正好二十|K12+345|五个汉字啊"));
}

TEST_P(DeviceEditor, ADuplicateIsRefusedWithTheWindowOpenAndTheDatabaseUnchanged) {
    const QStringList before =
        database().rows(QStringLiteral("select * from DEVICE order by DEVICETYPE"));
    auto w = openAdd();
    fillNew(*w, QStringLiteral("5-照明回路"), 3);
    click(*w, "Button1");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("所输入的设备已存在,请输入其它设备！"));
    EXPECT_EQ(messages.messages()[0].caption, kErrorCaption);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(database().rows(QStringLiteral("select * from DEVICE order by DEVICETYPE")), before);
    EXPECT_TRUE(database().operLog().isEmpty()) << "a refused change leaves no log row";
    child<QSpinBox>(*w, "seCode")->setValue(4);
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK) << "a corrected entry is written on the next try";
}

TEST_P(DeviceEditor, OtherDatabaseFailuresGoToTheDefaultErrorReport) {
    auto w = openAdd();
    fillNew(*w, QStringLiteral("1-摄像机"), 9);
    database().exec(QStringLiteral("DROP TABLE DEVICE"));
    click(*w, "Button1");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_NE(messages.messages()[0].text, QStringLiteral("所输入的设备已存在,请输入其它设备！"));
    EXPECT_FALSE(messages.messages()[0].text.contains(QStringLiteral("INSERT INTO")))
        << "the statement belongs in the details, not the main text";
    EXPECT_TRUE(messages.messages()[0].details.contains(QStringLiteral("INSERT INTO [DEVICE]")));
    EXPECT_EQ(messages.messages()[0].caption, ui::applicationTitle());
    EXPECT_TRUE(w->isVisible());
}

TEST_P(DeviceEditor, EditLoadsTheRowAndKeepsItsConnection) {
    auto w = openEdit(5, 3);
    EXPECT_EQ(child<QComboBox>(*w, "cbType")->currentText(), QStringLiteral("5-照明回路"));
    EXPECT_EQ(child<QSpinBox>(*w, "seCode")->value(), 3);
    EXPECT_EQ(child<QComboBox>(*w, "cbPos")->currentText(), QStringLiteral("2-下行"));
    EXPECT_EQ(child<QSpinBox>(*w, "seMeter")->value(), 470);
    EXPECT_EQ(child<QComboBox>(*w, "cbArea")->currentText(), QStringLiteral("2-隧道段"));
    EXPECT_EQ(child<QComboBox>(*w, "cbSide")->currentText(), QStringLiteral("1-内"));
    EXPECT_EQ(child<QLineEdit>(*w, "edBeginPos")->text().trimmed(), QStringLiteral("K10+470"));
    child<QSpinBox>(*w, "seCycle")->setValue(30);
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(device(5, 3, QStringLiteral("CYCLE, COMMTYPE, COMMDATA, PROTOCOL")),
              QStringLiteral("30|1|10.0.0.3|2"));
}

TEST_P(DeviceEditor, ChangingTheNumberReKeysTheRowOrIsRefusedWhenTaken) {
    auto w = openEdit(5, 3);
    choose(*w, "cbType", QStringLiteral("12-可变情报板"));
    child<QSpinBox>(*w, "seCode")->setValue(5);
    click(*w, "Button1");
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("所输入的设备已存在,请输入其它设备！")});
    EXPECT_EQ(allDevices(),
              (QStringList{QStringLiteral("5|3"), QStringLiteral("12|5"), QStringLiteral("24|1")}));
    child<QSpinBox>(*w, "seCode")->setValue(6);
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(allDevices(), (QStringList{QStringLiteral("12|5"), QStringLiteral("12|6"),
                                         QStringLiteral("24|1")}));
    EXPECT_EQ(database().operLog(),
              QStringList{QStringLiteral(R"j(1|修改|DEVICE|DEVICETYPE=12,DEVICECODE=6|)j"
                                         R"j({"DEVICETYPE":5,"DEVICECODE":3}|)j"
                                         R"j({"DEVICETYPE":12,"DEVICECODE":6})j")})
        << "re-keyed: the new key, the changed columns only";
}

// Rows other programs wrote, with values the boxes and lists do not offer, open as stored and
// an unchanged confirm writes them back as they were; what the user sets keeps to the ranges.
TEST_P(DeviceEditor, StoredValuesOutsideTheBoxesAndListsAreWrittenBackAsStored) {
    database().exec(QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (-4, '备用区')"));
    const QString columns = QStringLiteral(
        "DEVICECODE, POSITION, MILIMETER, METER, STATUS, CYCLE, AREACODE, VIDEO, SIDE");
    insertDevice(1, 5000, QStringLiteral("9, 0, 0, 0, 70000, -4, 0, '', '', '', 7, 0, '', 0"));
    insertDevice(1, 2, QStringLiteral("1, 1, 1, 1, 60, 77, 1, '', '', '', 0, 0, '', 0"));
    auto w = openEdit(1, 5000);
    EXPECT_EQ(child<QSpinBox>(*w, "seCode")->value(), 5000);
    EXPECT_EQ(child<QComboBox>(*w, "cbPos")->currentText(), QStringLiteral("9-未定义"));
    EXPECT_EQ(child<QComboBox>(*w, "cbArea")->currentText(), QStringLiteral("-4-备用区"));
    EXPECT_EQ(child<QComboBox>(*w, "cbSide")->currentText(), QStringLiteral("7-未定义"));
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK) << messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(device(1, 5000, columns), QStringLiteral("5000|9|0|0|0|70000|-4|0|7"));
    auto other = openEdit(1, 2);
    EXPECT_EQ(child<QComboBox>(*other, "cbArea")->currentText(), QStringLiteral("77-未定义"));
    click(*other, "Button1");
    EXPECT_EQ(device(1, 2, QStringLiteral("AREACODE")), QStringLiteral("77"));

    auto typed = openEdit(1, 5000);
    child<QSpinBox>(*typed, "seCode")->setValue(4000);
    click(*typed, "Button1");
    EXPECT_EQ(messages.texts().value(0), QStringLiteral("设备编号应在 1 至 999 之间，请检查！"));
    EXPECT_TRUE(typed->isVisible());
    EXPECT_EQ(device(1, 5000, QStringLiteral("DEVICECODE")), QStringLiteral("5000"));
}

TEST_P(DeviceEditor, EditingADeviceDeletedMeanwhileChangesNothingAndCloses) {
    auto w = openEdit(1, 42);
    EXPECT_EQ(child<QComboBox>(*w, "cbType")->currentText(), QStringLiteral("1-摄像机"));
    EXPECT_EQ(child<QSpinBox>(*w, "seCode")->value(), 42);
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(allDevices().size(), 3);
}

TEST_P(DeviceEditor, HostileTextsAreStoredVerbatimAndTouchNothingElse) {
    auto w = openAdd();
    fillNew(*w, QStringLiteral("1-摄像机"), 11);
    typeInto(*w, "edPhysics", QStringLiteral("x');delete DEVICE--"));
    typeInto(*w, "edBeginPos", QStringLiteral("O'K"));
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(device(1, 11, QStringLiteral("PHYSICS, BEGINPOS")),
              QStringLiteral("x');delete DEVICE--|O'K"));
    EXPECT_EQ(allDevices().size(), 4);
}

TEST_P(DeviceEditor, CancelAndTheCloseBoxWriteNothing) {
    auto w = openAdd();
    fillNew(*w, QStringLiteral("1-摄像机"), 12);
    click(*w, "Button2");
    EXPECT_EQ(w->result(), ui::mrCancel);
    auto other = openEdit(5, 3);
    child<QSpinBox>(*other, "seCycle")->setValue(5);
    other->close();
    EXPECT_EQ(other->result(), ui::mrCancel);
    EXPECT_EQ(allDevices().size(), 3);
    EXPECT_EQ(device(5, 3, QStringLiteral("CYCLE")), QStringLiteral("60"));
}

TUNNEL_ON_EVERY_ENGINE(DeviceEditor);
