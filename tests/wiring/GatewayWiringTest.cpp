// The gateway wiring list and the port assignment, driven as an operator drives them.
#include "data/TdmPublicData.h"
#include "data/WiringStatements.h"
#include "platform/db/Database.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "wiring/GatewayFixture.h"
#include "wiring/TfmNetGateConfig.h"
#include "wiring/TfmNgConnect.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

using namespace tunnel;
using namespace tunnel::test;

namespace {

class GatewayList : public GatewayWindows {
protected:
    void TearDown() override {
        window.reset();
        GatewayWindows::TearDown();
    }

    void open() {
        window = std::make_unique<wiring::TfmNetGateConfig>(nullptr, context());
        window->show();
        gateways = child<QTableView>(*window, "DBGrid1");
        wiring = child<QTableView>(*window, "DBGrid2");
    }
    int rows(QTableView* grid) { return grid->model()->rowCount(); }
    QStringList column(QTableView* grid, int column) {
        QStringList cells;
        for (int row = 0; row < rows(grid); ++row) {
            cells.append(cellOf(*grid, row, column));
        }
        return cells;
    }
    void selectGateway(int row) { gateways->setCurrentIndex(gateways->model()->index(row, 0)); }
    void selectWiring(int row) { wiring->setCurrentIndex(wiring->model()->index(row, 0)); }
    bool enabled(const char* button) { return child<QPushButton>(*window, button)->isEnabled(); }
    void filterBy(const QString& item) {
        choose(*window, "cbArea", item);
        click(*window, "btQuery");
    }
    // The disconnect step answered with `answer`; returns the question asked.
    QString disconnectAnswering(int answer) {
        messages.clear();
        messages.answer(answer);
        click(*window, "btDisConnect");
        return messages.messages().isEmpty() ? QString() : messages.messages()[0].text;
    }

    std::unique_ptr<wiring::TfmNetGateConfig> window;
    QTableView* gateways = nullptr;
    QTableView* wiring = nullptr;
};

}  // namespace

TEST_P(GatewayList, ShowsTheGatewaysAndTheWiringOfTheChosenOne) {
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("网关连接配置"));
    ASSERT_EQ(rows(gateways), 3);
    QAbstractItemModel& model = *gateways->model();
    ASSERT_EQ(model.columnCount(), 31);
    const QStringList first = {"所在区域", "编号",     "位置",     "桩号",  "状态",
                               "周期",     "连接类型", "连接参数", "协议",  "视频端口",
                               "物理编号", "起始位置", "终止位置", "洞内外"};
    const QStringList trailing = {"DEVICETYPE", "DEVICECODE", "POSITION", "MILIMETER", "METER",
                                  "STATUS",     "CYCLE",      "COMMTYPE", "COMMDATA",  "AREACODE",
                                  "VIDEO",      "PHYSICS",    "BEGINPOS", "ENDPOS",    "SIDE",
                                  "Stake",      "PROTOCOL"};
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(model.headerData(i, Qt::Horizontal).toString(),
                  i < 14 ? first[i] : trailing[i - 14]);
    }
    EXPECT_EQ(gateways->columnWidth(0), 120);
    EXPECT_EQ(gateways->columnWidth(7), 180);
    EXPECT_EQ(column(gateways, 0), QStringList({"北洞口", "备用区", "隧道段"}));
    EXPECT_EQ(column(gateways, 6), QStringList({"网关", "未使用", "网关"})) << "COMMTYPE 4";
    EXPECT_EQ(cellOf(*gateways, 0, 3), QStringLiteral("K10+50"));
    EXPECT_EQ(cellOf(*gateways, 0, 14), QStringLiteral("网络IO网关"));
    EXPECT_EQ(cellOf(*gateways, 1, 21), QStringLiteral("未使用"));
    EXPECT_EQ(cellOf(*gateways, 0, 29), QStringLiteral("K10+50"));
    EXPECT_EQ(model.data(model.index(0, 2), Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter))
        << "a number the window does not align left";

    ASSERT_EQ(rows(wiring), 4) << "gateway 1's rows of NGTYPE 24 only";
    EXPECT_EQ(wiring->currentIndex().row(), 0);
    EXPECT_EQ(column(wiring, 0), QStringList({"数字输出", "数字输入", "模拟输入", ""}));
    EXPECT_EQ(column(wiring, 2), QStringList({" 风机 ", " 风机 ", " 风机 ", ""}));
    EXPECT_EQ(cellOf(*wiring, 1, 5).trimmed(), QStringLiteral("运行(数字输入)"));
    selectGateway(2);
    EXPECT_EQ(rows(wiring), 0);
    selectGateway(0);
    EXPECT_EQ(rows(wiring), 4);

    selectWiring(1);
    QApplication::setActiveWindow(window.get());
    wiring->setFocus();
    QTest::keySequence(wiring, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().trimmed(),
              QStringLiteral("数字输入\t1\t 风机 \t1\t2\t运行(数字输入)"));
}

TEST_P(GatewayList, TheAreaFilterAppliesOnQueryAndNarrowsUntilTheNext) {
    open();
    auto* areas = child<QComboBox>(*window, "cbArea");
    EXPECT_EQ(areas->itemText(0), QStringLiteral("0-所有区域"));
    EXPECT_EQ(areas->itemText(1), QStringLiteral("1-北洞口"));
    choose(*window, "cbArea", QStringLiteral("2-隧道段"));
    EXPECT_EQ(rows(gateways), 3) << "nothing until 查询";
    click(*window, "btQuery");
    EXPECT_EQ(column(gateways, 1), QStringList{"3"});
    EXPECT_EQ(rows(wiring), 0);
    filterBy(QStringLiteral("-4-备用区"));
    EXPECT_EQ(column(gateways, 1), QStringList{"2"}) << "an area numbered below zero";
    filterBy(QStringLiteral("3-南洞口"));
    EXPECT_EQ(rows(gateways), 0);
    EXPECT_FALSE(enabled("btConnect") || enabled("btDisConnect"));
    click(*window, "btDisConnect");
    EXPECT_TRUE(messages.messages().isEmpty());
    filterBy(QStringLiteral("0-所有区域"));
    EXPECT_EQ(rows(gateways), 3);
    EXPECT_TRUE(enabled("btConnect") && enabled("btDisConnect"));
}

// One answer but Yes sends nothing; Yes removes every row of the device at the gateway and
// frees it, and the lists stand on the first gateway again.
TEST_P(GatewayList, DisconnectAsksThenRemovesTheDevicesWholeWiring) {
    open();
    selectGateway(0);
    selectWiring(3);
    EXPECT_EQ(disconnectAnswering(ui::IdNo), QStringLiteral("确实断开 (1)  设备吗?"))
        << "a type no catalogue entry names";
    selectWiring(0);
    const QString question = disconnectAnswering(ui::IdCancel);
    EXPECT_EQ(question, QStringLiteral("确实断开 风机(1)  设备吗?"));
    EXPECT_EQ(messages.messages()[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::YesNoCancel | ui::mb::IconQuestion);
    EXPECT_EQ(wiringRows().size(), 5);

    selectGateway(2);
    selectGateway(0);
    selectWiring(2);
    disconnectAnswering(ui::IdYes);
    EXPECT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(wiringRows(QStringLiteral("DEVICETYPE=7")), QStringList());
    EXPECT_EQ(wiringRows().size(), 2) << "the other devices' rows stay";
    for (const QString& row : database().operLog()) {
        EXPECT_TRUE(
            row.startsWith(QStringLiteral("2|断开|NGCONFIG|NGTYPE=24,NGCODE=1,PORTTYPE=")) &&
            row.contains(QStringLiteral(R"j(|{"DEVICETYPE":7,"DEVICECODE":1,)j")) &&
            row.endsWith(u'|'))
            << row.toStdString();
    }
    EXPECT_EQ(database().operLog().size(), 3) << "one row a terminal the device held";
    EXPECT_EQ(device(7, 1, QStringLiteral("COMMDATA")), QStringLiteral("0"));
    EXPECT_EQ(gateways->currentIndex().row(), 0);
    EXPECT_EQ(column(wiring, 4), QStringList{"1"}) << "only 99/1 is left on gateway 1";
}

// Both statements or neither: a device whose rows are gone while it stays marked wired could
// be freed from no window.
TEST_P(GatewayList, ADisconnectWhoseUpdateFailsKeepsTheWiring) {
    if (GetParam() == db::Engine::SQLite) {
        database().exec(
            QStringLiteral("CREATE TRIGGER KEEP_WIRED BEFORE UPDATE ON DEVICE "
                           "BEGIN SELECT RAISE(ABORT, 'wired devices stay wired'); END"));
    } else {
        database().exec(
            QStringLiteral("ALTER TABLE DEVICE ADD CONSTRAINT KEEP_WIRED "
                           "CHECK (COMMDATA <> '0' OR DEVICETYPE <> 7 OR DEVICECODE <> 1)"));
    }
    open();
    disconnectAnswering(ui::IdYes);
    ASSERT_EQ(messages.messages().size(), 2);
    EXPECT_EQ(messages.messages()[1].caption, QApplication::applicationName());
    EXPECT_EQ(wiringRows().size(), 5);
    EXPECT_EQ(device(7, 1, QStringLiteral("COMMDATA")), QStringLiteral("1"));
    EXPECT_EQ(rows(wiring), 4);
}

// A device wired on two gateways (stored before saves were checked) stays marked wired until
// its last gateway lets it go.
TEST_P(GatewayList, DisconnectFreesADeviceOnlyWhenNoGatewayKeepsItsWiring) {
    database().exec(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 3, 1, 5, 7, 1, 1, '启动(数字输出)')"));
    open();
    selectGateway(0);
    selectWiring(0);
    disconnectAnswering(ui::IdYes);
    EXPECT_EQ(wiringRows(QStringLiteral("DEVICETYPE=7")),
              QStringList{"24|3|1|5|7|1|1|启动(数字输出)"});
    EXPECT_EQ(device(7, 1, QStringLiteral("COMMDATA")), QStringLiteral("1"));
    selectGateway(2);
    selectWiring(0);
    disconnectAnswering(ui::IdYes);
    EXPECT_TRUE(wiringRows(QStringLiteral("DEVICETYPE=7")).isEmpty());
    EXPECT_EQ(device(7, 1, QStringLiteral("COMMDATA")), QStringLiteral("0"));
}

TEST_P(GatewayList, TitlesSortBothGridsInTheDatabase) {
    database().exec(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 1, 1, 7, 7, 9, 4, 'z')"));
    open();
    selectGateway(1);
    gateways->horizontalHeader()->sectionClicked(7);  // COMMDATA: '1', '', '1'
    EXPECT_EQ(column(gateways, 1), QStringList({"2", "1", "3"}));
    EXPECT_EQ(gateways->currentIndex().row(), 0) << "still on gateway 2";
    gateways->horizontalHeader()->sectionClicked(7);
    EXPECT_EQ(column(gateways, 1), QStringList({"3", "1", "2"}));
    selectGateway(1);
    wiring->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(column(wiring, 1), QStringList({"1", "1", "1", "2", "7"}));
    wiring->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(column(wiring, 1), QStringList({"7", "2", "1", "1", "1"}));
}

// Cancel leaves the list as it was; OK stores the wiring and reads the lists afresh.
TEST_P(GatewayList, ThePortAssignmentOpensForTheChosenGateway) {
    open();
    selectGateway(2);
    scripts.expect(QStringLiteral("fmNgConnect"), [](QDialog& dialog) {
        EXPECT_EQ(child<QLabel>(dialog, "lNgCode")->text(), QStringLiteral("3"));
        choose(dialog, "cbType", QStringLiteral("风机(7)"));
        choose(dialog, "cbCode", QStringLiteral("2"));
        child<QListWidget>(dialog, "lbPort")->setCurrentRow(0);
        click(dialog, "btConnect");
        EXPECT_EQ(child<QListWidget>(dialog, "lbConnect")->count(), 1);
        return ui::mrCancel;
    });
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 3, 4, 4, 7, 4, 1, 'other')"));
    click(*window, "btConnect");
    EXPECT_EQ(rows(wiring), 0) << "no reload after Cancel";
    EXPECT_EQ(wiringRows(QStringLiteral("NGCODE=3")).size(), 1) << "only the other program's";
    EXPECT_EQ(device(7, 2, QStringLiteral("COMMDATA")), QStringLiteral("0"));
    scripts.expect(QStringLiteral("fmNgConnect"), [](QDialog& dialog) {
        choose(dialog, "cbType", QStringLiteral("风机(7)"));
        choose(dialog, "cbCode", QStringLiteral("2"));
        child<QListWidget>(dialog, "lbPort")->setCurrentRow(0);
        click(dialog, "btConnect");
        click(dialog, "btOK");
        return dialog.result();
    });
    click(*window, "btConnect");
    EXPECT_TRUE(scripts.unexpected().isEmpty());
    EXPECT_EQ(gateways->currentIndex().row(), 0) << "the lists read afresh";
    selectGateway(2);
    EXPECT_EQ(rows(wiring), 2);
}

TEST_P(GatewayList, TheTerminalMapShowsFreeUsedAndClashingTerminals) {
    database().exec(QStringLiteral(
        "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
        "DEVICEPARAM, DESCRIPT) VALUES (24, 1, 1, 1, 5, 9, 1, 'clash'), "
        "(24, 1, 4, 0, 5, 9, 2, 'nowhere')"));
    const QStringList before = wiringRows();
    open();
    scripts.expect(QStringLiteral("fmOccupancyMap"), [](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("端子图 - 网关 1"));
        auto* map = child<QTableWidget>(dialog, "gridMap");
        EXPECT_EQ(map->rowCount(), 4);
        EXPECT_EQ(map->columnCount(), 8);
        EXPECT_EQ(map->verticalHeaderItem(3)->text(), QStringLiteral("串行端口"));
        EXPECT_EQ(map->item(0, 0)->text(),
                  QStringLiteral("风机(1) 启动(数字输出)\n照明回路(9) clash"));
        EXPECT_TRUE(map->item(0, 0)->toolTip().contains(QStringLiteral("风机(1) 参数1")))
            << "the parameter's number in the tooltip";
        EXPECT_EQ(map->horizontalScrollBar()->maximum(), 0) << "every terminal side by side";
        EXPECT_LT(dialog.minimumWidth(), dialog.maximumWidth()) << "the window can be resized";
        EXPECT_NE(map->item(0, 0)->background().color(), map->item(0, 1)->background().color());
        EXPECT_EQ(map->item(1, 2)->text(), QStringLiteral("照明回路(3) y")) << "NGTYPE 30";
        EXPECT_EQ(map->item(1, 1)->text(), QStringLiteral("空闲"));
        EXPECT_EQ(map->item(1, 0)->background(), map->item(1, 1)->background());
        EXPECT_EQ(itemsOf(*child<QListWidget>(dialog, "lbApart")),
                  QStringList({"端子类型5 端子2：(1) 参数1：x",
                               "端子类型4 端子0：照明回路(9) 参数2：nowhere"}));
        return ui::mrCancel;
    });
    QApplication::setActiveWindow(window.get());
    gateways->setFocus();
    QTest::keyClick(gateways, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(scripts.shown(), QStringList{"fmOccupancyMap"});
    const QList<QAction*> menu = wiring->actions();
    EXPECT_TRUE(std::any_of(menu.begin(), menu.end(), [](QAction* a) {
        return a->text() == QStringLiteral("端子图(&M)...");
    }));
    EXPECT_EQ(wiringRows(), before);
}

// Left open on a shared database: another program's wiring shows at the next reading, and a
// session the server ended is reported once, after which the next click works.
// The device search offers gateways only; the one chosen becomes the current gateway, even
// when the area filter hid it.
TEST_P(GatewayList, TheSearchReturnsToTheGatewayFound) {
    open();
    filterBy(QStringLiteral("2-隧道段"));
    findThroughSearch(scripts, *window, 3, QStringLiteral("G2"));  // gateways only
    EXPECT_EQ(cellOf(*gateways, gateways->currentIndex().row(), 1), QStringLiteral("2"));
}

TEST_P(GatewayList, StaysUsableUnderAnotherWriterAndAnEndedSession) {
    open();
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral("DELETE FROM NGCONFIG WHERE DEVICETYPE=7"));
    disconnectAnswering(ui::IdYes);
    EXPECT_EQ(messages.messages().size(), 1) << "nothing to remove is no failure";
    EXPECT_EQ(rows(wiring), 1);
    if (GetParam() != db::Engine::PostgreSQL) {
        return;
    }
    database().exec(
        QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                       "current_database() and pid <> pg_backend_pid()"));
    // Each of the window's three connections reports its ended session once, at its next
    // statement, and works again at the one after.
    messages.clear();
    for (int click = 0; click < 3; ++click) {
        ::click(*window, "btQuery");
    }
    selectWiring(0);
    disconnectAnswering(ui::IdYes);
    if (messages.messages().size() == 2) {
        disconnectAnswering(ui::IdYes);
    }
    EXPECT_EQ(messages.messages().size(), 1) << "the question, asked again";
    EXPECT_EQ(wiringRows(QStringLiteral("NGTYPE=24")), QStringList());
    EXPECT_EQ(rows(gateways), 3);
    EXPECT_EQ(rows(wiring), 0);
}

TUNNEL_ON_EVERY_ENGINE(GatewayList);
