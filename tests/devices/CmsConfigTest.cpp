#include "devices/TfmCmsConfig.h"

#include "devices/DeviceFixture.h"
#include "platform/ui/Modal.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>

using namespace tunnel;
using namespace tunnel::test;

namespace {

class SignProperties : public DeviceWindows {
protected:
    std::unique_ptr<devices::TfmCmsConfig> open(int code) {
        auto window = std::make_unique<devices::TfmCmsConfig>(nullptr, context());
        window->DeviceCode = code;
        window->show();
        return window;
    }
    static void check(QWidget& w, std::initializer_list<const char*> boxes) {
        for (const char* box : boxes)
            child<QCheckBox>(w, box)->setChecked(true);
    }
    static QStringList checkedBoxes(QWidget& w) {
        QStringList names;
        for (QCheckBox* box : w.findChildren<QCheckBox*>()) {
            if (box->isChecked())
                names.append(box->objectName());
        }
        names.sort();
        return names;
    }
    static QString mounting(QWidget& w) {
        for (QRadioButton* radio : w.findChildren<QRadioButton*>()) {
            if (radio->isChecked())
                return radio->text();
        }
        return {};
    }
    // Runs the statement the window handed to the host, as the host would.
    void runHostStatements() {
        for (const QString& statement : hostStatements)
            database().exec(statement);
    }
};

}  // namespace

TEST_P(SignProperties, ANewSignOpensWithTheInitialValuesAndNeedsAPictureSize) {
    auto w = open(5);
    EXPECT_EQ(w->pos(), QPoint(314, 219)) << "shown at its design position";
    EXPECT_EQ(mounting(*w), QStringLiteral("门架式"));
    EXPECT_EQ(child<QSpinBox>(*w, "seHeight")->value(), 1);
    EXPECT_EQ(child<QSpinBox>(*w, "seWidth")->value(), 1);
    EXPECT_EQ(child<QComboBox>(*w, "cbPicSize")->currentText(), QString());
    EXPECT_TRUE(checkedBoxes(*w).isEmpty());
    click(*w, "Button1");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("请输入一个合法的整数"));
    EXPECT_EQ(messages.messages()[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::IconStop);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(hostStatements.isEmpty());
}

TEST_P(SignProperties, OkHandsTheHostOneStatementAndReopeningShowsTheSameChoices) {
    auto w = open(5);
    for (QRadioButton* radio : w->findChildren<QRadioButton*>()) {
        if (radio->text() == QStringLiteral("悬臂式"))
            radio->setChecked(true);
    }
    child<QSpinBox>(*w, "seWidth")->setValue(128);
    child<QSpinBox>(*w, "seHeight")->setValue(64);
    choose(*w, "cbPicSize", QStringLiteral("32"));
    check(*w, {"c1", "c3", "c8", "f3", "f5", "s1", "s3"});
    click(*w, "Button1");
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(hostStatements.size(), 1);
    EXPECT_EQ(hostStatements[0],
              QStringLiteral(
                  "Update Device Set int1 = 1, int2 = 128, int3 = 64, int4 = 32,char1 = '1,3,8',"
                  "char2 = '3,5', char3 = '16,32' where DeviceType = 12 and devicecode = 5"));
    const QStringList log = database().operLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(
        log[0].startsWith(QStringLiteral("1|属性设置(主程序)|DEVICE|DEVICETYPE=12,DEVICECODE=5|")))
        << log[0].toStdString();
    EXPECT_TRUE(log[0].endsWith(QStringLiteral(
        R"j("int2":128,"int3":64,"int4":32,"char1":"1,3,8","char2":"3,5","char3":"16,32"})j")))
        << log[0].toStdString();
    runHostStatements();
    auto again = open(5);
    EXPECT_EQ(mounting(*again), QStringLiteral("悬臂式"));
    EXPECT_EQ(child<QSpinBox>(*again, "seWidth")->value(), 128);
    EXPECT_EQ(child<QSpinBox>(*again, "seHeight")->value(), 64);
    EXPECT_EQ(child<QComboBox>(*again, "cbPicSize")->currentText(), QStringLiteral("32"));
    EXPECT_EQ(checkedBoxes(*again), (QStringList{"c1", "c3", "c8", "f3", "f5", "s1", "s3"}));
}

TEST_P(SignProperties, EmptyGroupsAreWrittenAsEmptyTextsAndTypedSizesAreValidated) {
    auto w = open(5);
    typeInto(*w, "cbPicSize", QStringLiteral("32px"));
    click(*w, "Button1");
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("请输入一个合法的整数")});
    typeInto(*w, "cbPicSize", QStringLiteral("40"));
    click(*w, "Button1");
    ASSERT_EQ(hostStatements.size(), 1);
    EXPECT_TRUE(
        hostStatements[0].contains(QStringLiteral("int4 = 40,char1 = '',char2 = '', char3 = ''")))
        << hostStatements[0].toStdString();
}

TEST_P(SignProperties, EscapeAndTheCloseBoxWriteNothing) {
    auto w = open(5);
    typeInto(*w, "cbPicSize", QStringLiteral("48"));
    check(*w, {"c2"});
    w->reject();
    EXPECT_EQ(w->result(), ui::mrCancel);
    auto other = open(5);
    typeInto(*other, "cbPicSize", QStringLiteral("48"));
    other->close();
    EXPECT_TRUE(hostStatements.isEmpty());
}

TEST_P(SignProperties, EntriesWithoutABoxArePassedOverAndNonNumbersReported) {
    database().exec(
        QStringLiteral("UPDATE DEVICE SET int1 = 2, char1 = '0,2 9', char2 = '5', char3 = '16,20' "
                       "WHERE DEVICETYPE = 12 AND DEVICECODE = 5"));
    auto w = open(5);
    EXPECT_EQ(mounting(*w), QStringLiteral("立柱式"));
    EXPECT_EQ(checkedBoxes(*w), (QStringList{"c2", "f5", "s1"}));
    database().exec(
        QStringLiteral("UPDATE DEVICE SET char1 = '1,x', char2 = '2' WHERE DEVICETYPE = 12"));
    auto broken = open(5);
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_TRUE(messages.messages()[0].text.contains(QStringLiteral("x")));
    EXPECT_EQ(checkedBoxes(*broken), QStringList{"c1"}) << "what was loaded before the error stays";
}

TUNNEL_ON_EVERY_ENGINE(SignProperties);
