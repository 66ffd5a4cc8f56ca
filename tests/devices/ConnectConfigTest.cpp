#include "devices/TfmConnectConfig.h"

#include "devices/DeviceFixture.h"
#include "platform/ui/Modal.h"

#include <QRadioButton>

using namespace tunnel;
using namespace tunnel::test;

namespace {

class ConnectionSettings : public DeviceWindows {
protected:
    std::unique_ptr<devices::TfmConnectConfig> open(int type, int code) {
        auto window = std::make_unique<devices::TfmConnectConfig>(nullptr, context());
        window->SetDevice(type, code);
        window->show();
        return window;
    }
    static bool checked(QWidget& w, const char* radio) {
        return child<QRadioButton>(w, radio)->isChecked();
    }
    static QString text(QWidget& w, const char* box) {
        return child<QComboBox>(w, box)->currentText();
    }
    QString connection(int type, int code) {
        return device(type, code, QStringLiteral("COMMTYPE, COMMDATA, PROTOCOL"));
    }
};

}  // namespace

TEST_P(ConnectionSettings, ANewDeviceConfirmedUnchangedStaysUnconnected) {
    insertDevice(1, 1, QStringLiteral("1, 1, 1, 1, 60, 0, 1, '', '', '', 0, 0, '', 0"));
    auto w = open(1, 1);
    EXPECT_TRUE(checked(*w, "rbNone"));
    EXPECT_EQ(child<QComboBox>(*w, "cbPort")->count(), 255);
    EXPECT_EQ(text(*w, "cbPort"), QString());
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(connection(1, 1), QStringLiteral("0||0"));
}

TEST_P(ConnectionSettings, NetworkWithoutProtocolIsWrittenAsMinusOneAndReopensWithoutOne) {
    insertDevice(1, 1, QStringLiteral("1, 1, 1, 1, 60, 0, 1, '', '', '', 0, 0, '', 0"));
    auto w = open(1, 1);
    child<QRadioButton>(*w, "rbNet")->setChecked(true);
    typeInto(*w, "meIpAddress", QStringLiteral("192.168.10.77"));
    click(*w, "Button1");
    EXPECT_EQ(connection(1, 1), QStringLiteral("1|192.168.10.77|-1"));
    EXPECT_EQ(database().operLog(),
              QStringList{QStringLiteral(
                  R"j(1|连接配置|DEVICE|DEVICETYPE=1,DEVICECODE=1|{"COMMTYPE":0,"COMMDATA":"",)j"
                  R"j("PROTOCOL":0}|{"COMMTYPE":1,"COMMDATA":"192.168.10.77","PROTOCOL":-1})j")});
    auto again = open(1, 1);
    EXPECT_TRUE(checked(*again, "rbNet"));
    EXPECT_EQ(child<QLineEdit>(*again, "meIpAddress")->text().trimmed(),
              QStringLiteral("192.168.10.77"));
    EXPECT_EQ(text(*again, "cbNetProtocol"), QString());
    click(*again, "Button1");
    EXPECT_EQ(connection(1, 1), QStringLiteral("1|192.168.10.77|-1"));
}

TEST_P(ConnectionSettings, SerialSettingsRoundTrip) {
    auto w = open(5, 3);
    EXPECT_TRUE(checked(*w, "rbNet"));
    EXPECT_EQ(text(*w, "cbNetProtocol"), QStringLiteral("2.0"));
    child<QRadioButton>(*w, "rbSerial")->setChecked(true);
    typeInto(*w, "cbPort", QStringLiteral("3"));
    choose(*w, "cbBaud", QStringLiteral("9600"));
    choose(*w, "cbData", QStringLiteral("8"));
    choose(*w, "cbParity", QStringLiteral("偶校验"));
    choose(*w, "cbStop", QStringLiteral("1"));
    choose(*w, "cbSerialProtocol", QStringLiteral("1.0"));
    click(*w, "Button1");
    EXPECT_EQ(connection(5, 3), QStringLiteral("2|3;9600,8,E,1|1"));
    auto again = open(5, 3);
    EXPECT_TRUE(checked(*again, "rbSerial"));
    EXPECT_EQ(text(*again, "cbPort"), QStringLiteral("3"));
    EXPECT_EQ(text(*again, "cbBaud"), QStringLiteral("9600"));
    EXPECT_EQ(text(*again, "cbData"), QStringLiteral("8"));
    EXPECT_EQ(text(*again, "cbParity"), QStringLiteral("偶校验"));
    EXPECT_EQ(text(*again, "cbStop"), QStringLiteral("1"));
    EXPECT_EQ(text(*again, "cbSerialProtocol"), QStringLiteral("1.0"));
    typeInto(*again, "cbParity", QStringLiteral("偶"));
    typeInto(*again, "cbBaud", QStringLiteral("57600"));
    click(*again, "Button1");
    EXPECT_EQ(connection(5, 3), QStringLiteral("2|3;57600,8,N,1|1"))
        << "a typed parity other than the two is N";
}

// Codes other programs wrote outside the lists show as stored, and an unchanged confirm writes
// them back; a kind of connection no button stands for is kept until one is chosen.
TEST_P(ConnectionSettings, OutOfRangeCodesOpenAsStoredAndAreWrittenBack) {
    insertDevice(1, 1, QStringLiteral("1, 1, 1, 1, 60, 0, 1, '', '', '', 0, 2, ';9600,8,N,1', 5"));
    insertDevice(1, 3, QStringLiteral("1, 1, 1, 1, 60, 0, 1, '', '', '', 0, 7, 'x', 1"));
    auto serial = open(1, 1);
    EXPECT_EQ(text(*serial, "cbSerialProtocol"), QStringLiteral("5-未定义"));
    EXPECT_EQ(text(*serial, "cbPort"), QString());
    EXPECT_EQ(text(*serial, "cbBaud"), QString()) << "an empty port ends the reading";
    auto unknown = open(1, 3);
    for (const char* radio : {"rbNone", "rbNet", "rbSerial", "rbNetGate", "rbPLC"}) {
        EXPECT_FALSE(checked(*unknown, radio)) << radio;
    }
    click(*unknown, "Button1");
    EXPECT_EQ(connection(1, 3), QStringLiteral("7|x|1"));
    auto chosen = open(1, 3);
    child<QRadioButton>(*chosen, "rbNone")->setChecked(true);
    click(*chosen, "Button1");
    EXPECT_EQ(connection(1, 3), QStringLiteral("0||0"));
}

TEST_P(ConnectionSettings, TheGatewayKindKeepsTheWiringFlagAndPlcClearsIt) {
    auto w = open(24, 1);
    EXPECT_TRUE(checked(*w, "rbNetGate"));
    click(*w, "Button1");
    EXPECT_EQ(connection(24, 1), QStringLiteral("3|1|0"));
    auto plc = open(24, 1);
    child<QRadioButton>(*plc, "rbPLC")->setChecked(true);
    click(*plc, "Button1");
    EXPECT_EQ(connection(24, 1), QStringLiteral("4||0"));
}

TEST_P(ConnectionSettings, AMissingRowOpensWithNothingCheckedAndStillCloses) {
    auto w = open(1, 99);
    for (const char* radio : {"rbNone", "rbNet", "rbSerial", "rbNetGate", "rbPLC"}) {
        EXPECT_FALSE(checked(*w, radio)) << radio;
    }
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
    EXPECT_EQ(allDevices().size(), 3);
}

TEST_P(ConnectionSettings, ARefusedUpdateIsReportedAndTheWindowStaysOpen) {
    auto w = open(5, 3);
    typeInto(*w, "meIpAddress", QStringLiteral("1234567890123456789012345678901"));
    click(*w, "Button1");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_TRUE(messages.messages()[0].details.contains(QStringLiteral("UPDATE DEVICE SET")));
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::IconStop);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(connection(5, 3), QStringLiteral("1|10.0.0.3|2"));
    typeInto(*w, "meIpAddress", QStringLiteral("10.0.0.33"));
    click(*w, "Button1");
    EXPECT_EQ(w->result(), ui::mrOK);
}

TEST_P(ConnectionSettings, QuotesInTypedTextsAreStoredAsTyped) {
    auto w = open(5, 3);
    typeInto(*w, "meIpAddress", QStringLiteral("a'; drop table AREA; --"));
    click(*w, "Button1");
    EXPECT_EQ(connection(5, 3), QStringLiteral("1|a'; drop table AREA; --|2"));
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from AREA")), 2);
}

TUNNEL_ON_EVERY_ENGINE(ConnectionSettings);
