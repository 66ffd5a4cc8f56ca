// Both PLC mapping windows driven as an operator drives them, on a real database.
#include "data/PlcStatements.h"
#include "devices/DeviceFixture.h"
#include "platform/db/Database.h"
#include "platform/db/ValueText.h"
#include "platform/ui/Modal.h"
#include "wiring/GatewayFixture.h"
#include "wiring/TfmOmronPlcConfig.h"
#include "wiring/TfmPlcConfig.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

using namespace tunnel;
using namespace tunnel::test;

namespace {

// PLC 27/1 maps fan 6/1 on output v0.0 and input i0.0 and fan 6/2 on a serial row (type 4);
// a row of a type no catalogue names is left out of the grid. Fans 6/1 and 6/2 are reached
// through a PLC, 6/3 over the network.
class PlcWindows : public DeviceWindows {
protected:
    void prepare() override {
        DeviceWindows::prepare();
        database().exec(QStringLiteral(
            "INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (6, '风机'), (27, 'PLC控制器')"));
        insertDevice(27, 1, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'P1', '', '', 1, 1, '', 0"));
        insertDevice(27, 2, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'P2', '', '', 1, 1, '', 0"));
        insertDevice(6, 1, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'F1', '', '', 1, 4, '1', 0"));
        insertDevice(6, 2, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'F2', '', '', 1, 4, '0', 0"));
        insertDevice(6, 3, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'F3', '', '', 1, 1, '0', 0"));
        database().exec(QStringLiteral(
            "INSERT INTO NGDEVICEPARAM (DEVICETYPE, PARAM, PORTTYPE, DESCRIPT) VALUES "
            "(6, 1, 1, '正转'), (6, 2, 1, 'it''s'), (6, 3, 2, '运行反馈'), (6, 4, 4, '数据')"));
        database().exec(QStringLiteral(
            "INSERT INTO PLCCONFIG (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, "
            "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES "
            "(27, 1, 1, 0, 0, 6, 1, 1, '1-正转'), (27, 1, 2, 0, 0, 6, 1, 3, '3-运行反馈'), "
            "(27, 1, 4, 0, 0, 6, 2, 4, '4-数据'), (27, 1, 2, 0, 1, 99, 1, 1, 'x')"));
    }
    void TearDown() override {
        window.reset();
        DeviceWindows::TearDown();
    }

    template <typename Window>
    void open() {
        window = std::make_unique<Window>(nullptr, context());
        window->show();
        grid = child<QTableView>(*window, "DBGrid1");
    }
    // Picks an item as the user does, so that the list's handler runs.
    void pick(const char* name, const QString& item) {
        auto* list = child<QComboBox>(*window, name);
        const int index = list->findText(item);
        ASSERT_GE(index, 0) << "no item " << item.toStdString() << " in " << name;
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    QStringList items(const char* name) {
        auto* list = child<QComboBox>(*window, name);
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) {
            texts.append(list->itemText(i));
        }
        return texts;
    }
    QString current(const char* name) { return child<QComboBox>(*window, name)->currentText(); }
    QStringList column(int column) {
        QStringList cells;
        for (int row = 0; row < grid->model()->rowCount(); ++row) {
            cells.append(cellOf(*grid, row, column).trimmed());
        }
        return cells;
    }
    void selectRowWith(int column, const QString& text) {
        const int row = static_cast<int>(this->column(column).indexOf(text));
        ASSERT_GE(row, 0) << text.toStdString();
        grid->setCurrentIndex(grid->model()->index(row, 0));
    }
    QStringList mappings() {
        return database().rows(QStringLiteral(
            "select PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, DEVICETYPE, DEVICECODE, "
            "DEVICEPARAM, DESCRIPT from PLCCONFIG order by PLCCODE, RegisterTYPE, RegisterCODE, "
            "RegisterBIT"));
    }
    QStringList connectTexts() {
        messages.clear();
        click(*window, "btConnect");
        return messages.texts();
    }
    void chooseMapping(const QString& plc, const QString& type, const QString& code,
                       const QString& bit, const QString& device, const QString& param) {
        pick("cbCode", plc);
        pick("cbRType", type);
        pick("cbRCode", code);
        pick("cbRBit", bit);
        pick("cbDeviceType", QStringLiteral("6-风机"));
        pick("cbDeviceCode", device);
        pick("cbDeviceParam", param);
    }

    std::unique_ptr<wiring::PlcMappingWindow> window;
    QTableView* grid = nullptr;
};

const QStringList kIncomplete = {QStringLiteral("参数不完整,请选择连接参数!")};
const QStringList kDuplicate = {QStringLiteral("配置重复!")};

QStringList bits(int from, int to) {
    QStringList texts;
    for (int bit = from; bit <= to; ++bit) {
        texts.append(QString::number(bit));
    }
    return texts;
}

}  // namespace

TEST_P(PlcWindows, TheGridShowsEveryMappingInEachWindowsWords) {
    open<wiring::TfmPlcConfig>();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("PLC配置"));
    ASSERT_EQ(grid->model()->rowCount(), 3) << "a type no catalogue names is left out";
    QStringList types = column(1);
    types.sort();
    EXPECT_EQ(types, QStringList({"", "i", "v"})) << "type 4 has no word here";
    EXPECT_EQ(grid->model()->headerData(6, Qt::Horizontal).toString(),
              QStringLiteral("连接参数描述"));
    EXPECT_EQ(grid->columnWidth(6), 257);
    EXPECT_EQ(grid->horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    EXPECT_EQ(items("cbCode"), QStringList({"1", "2"}));
    EXPECT_EQ(items("cbDeviceType"), QStringList{"6-风机"}) << "types reached through a PLC";
    EXPECT_EQ(current("cbRType"), QString());
    window.reset();
    open<wiring::TfmOmronPlcConfig>();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("OmronPLC配置"));
    types = column(1);
    types.sort();
    EXPECT_EQ(types, QStringList({"IO输入", "IO输出", "串行接入"}));
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("端子类型"));
    EXPECT_EQ(items("cbRBit"), bits(0, 15));
    EXPECT_TRUE(items("cbRCode").isEmpty());
}

// The parameters follow the register type chosen when the type was picked (port type 2 before
// any); picking another register type clears the device choices.
TEST_P(PlcWindows, TheDeviceListsFollowTheRegisterType) {
    open<wiring::TfmPlcConfig>();
    pick("cbDeviceType", QStringLiteral("6-风机"));
    EXPECT_EQ(items("cbDeviceParam"), QStringList{"3-运行反馈"});
    EXPECT_EQ(items("cbDeviceCode"), QStringList({"1", "2", "3"})) << "however they are reached";
    pick("cbDeviceCode", QStringLiteral("3"));
    pick("cbRType", QStringLiteral("v"));
    EXPECT_EQ(current("cbDeviceType") + current("cbDeviceCode") + current("cbDeviceParam"),
              QString());
    EXPECT_EQ(items("cbDeviceCode").size(), 3) << "the items stay";
    pick("cbDeviceType", QStringLiteral("6-风机"));
    EXPECT_EQ(items("cbDeviceParam"), QStringList({"1-正转", "2-it's"}));
    window.reset();
    open<wiring::TfmOmronPlcConfig>();
    pick("cbDeviceType", QStringLiteral("6-风机"));
    EXPECT_EQ(items("cbDeviceCode"), QStringList({"1", "2"})) << "reached through a PLC only";
    EXPECT_TRUE(items("cbDeviceParam").isEmpty()) << "port type 0 before a terminal type";
}

// Connect inserts the mapping as composed; an incomplete choice and a duplicate are refused
// with their messages and leave the table as it was.
TEST_P(PlcWindows, ConnectStoresTheMappingOrSaysWhyNot) {
    open<wiring::TfmPlcConfig>();
    const QStringList before = mappings();
    EXPECT_EQ(connectTexts(), kIncomplete);
    chooseMapping("2", "v", "3", "7", "3", "2-it's");
    child<QComboBox>(*window, "cbRBit")->setCurrentIndex(-1);
    EXPECT_EQ(connectTexts(), kIncomplete);
    EXPECT_EQ(mappings(), before);
    pick("cbRBit", QStringLiteral("7"));
    EXPECT_TRUE(connectTexts().isEmpty());
    EXPECT_EQ(mappings().value(4), QStringLiteral("2|1|3|7|6|3|2|2-it's")) << "quote kept";
    EXPECT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(current("cbDeviceParam"), QStringLiteral("2-it's")) << "the choices stay";
    EXPECT_EQ(connectTexts(), kDuplicate);
    EXPECT_EQ(messages.messages()[0].flags, 0U);
    EXPECT_EQ(mappings().size(), 5);
    EXPECT_EQ(device(6, 3, QStringLiteral("COMMDATA")), QStringLiteral("0")) << "DEVICE untouched";
    EXPECT_EQ(database().operLog(),
              QStringList{QStringLiteral(
                  "6|映射|PLCCONFIG|PLCCODE=2,RegisterTYPE=1,RegisterCODE=3,RegisterBIT=7||"
                  R"j({"PLCCODE":2,"RegisterTYPE":1,"RegisterCODE":3,"RegisterBIT":7,)j"
                  R"j("DEVICETYPE":6,"DEVICECODE":3,"DEVICEPARAM":2,"DESCRIPT":"2-it's"})j")})
        << "the refused duplicate left none";
}

TEST(PlcStatements, AreComposedToTheCharacter) {
    EXPECT_EQ(data::insertPlcMappingStatement({"2", 1, "3", "7", "6", "3", "2", "2-it's"}),
              QStringLiteral("INSERT INTO PLCCONFIG  (PLCTYPE, PLCCODE, RegisterTYPE, "
                             "RegisterCODE, RegisterBIT, DEVICETYPE, DEVICECODE, DEVICEPARAM, "
                             "DESCRIPT) VALUES ( 27,2,1,3,7,6,3,2,'2-it''s')"));
    EXPECT_EQ(data::deletePlcMappingStatement("1", 2, "0", "5"),
              QStringLiteral("DELETE FROM PLCCONFIG   WHERE (PLCCODE = 1) AND (RegisterTYPE = 2) "
                             "AND (RegisterCODE = 0) AND      (RegisterBIT = 5)"));
    EXPECT_EQ(
        data::usedBitsStatement("1", 4, "0"),
        QStringLiteral("select registerbit from plcconfig where Plccode=1 and registertype=4 and "
                       "registercode=0"));
    EXPECT_EQ(data::plcGridStatement(data::PlcWords::OmronTerminals).value(1),
              QStringLiteral("registerType when 1 then 'IO输出' when 2 then 'IO输入' when 4 then "
                             "'串行接入'  end , "));
}

// Delete removes the chosen row, read by field name wherever the columns were dragged, and
// never another: a row of a type the window cannot name is refused, not taken for the input
// row of the same PLC, register and bit.
TEST_P(PlcWindows, DeleteRemovesOnlyTheChosenRow) {
    database().exec(QStringLiteral(
        "INSERT INTO PLCCONFIG (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, "
        "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES (27, 2, 2, 0, 0, 6, 2, 3, 'in')"));
    open<wiring::TfmPlcConfig>();
    grid->horizontalHeader()->moveSection(0, 5);
    selectRowWith(6, QStringLiteral("4-数据"));
    messages.clear();
    click(*window, "btDelete");
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(mappings().size(), 5);
    selectRowWith(6, QStringLiteral("3-运行反馈"));
    click(*window, "btDelete");
    EXPECT_EQ(mappings().size(), 4);
    const QStringList log = database().operLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("6|删除|PLCCONFIG|PLCCODE=")) &&
                log[0].contains(QStringLiteral(R"j("DESCRIPT":"3-运行反馈")j")) &&
                log[0].endsWith(u'|'))
        << log[0].toStdString();
    EXPECT_EQ(database().scalarInt(QStringLiteral(
                  "select count(*) from PLCCONFIG where DESCRIPT in ('4-数据', 'in')")),
              2);
    database().exec(QStringLiteral("DELETE FROM PLCCONFIG"));
    window.reset();
    open<wiring::TfmPlcConfig>();
    messages.clear();
    click(*window, "btDelete");
    EXPECT_TRUE(messages.messages().isEmpty());
}

// The Omron flow: a PLC picks IO input, address 0 and the lowest free bit; serial offers 0/0;
// the device is marked only once its mapping is stored.
TEST_P(PlcWindows, OmronChoicesFlowDownAndOfferOnlyFreeBits) {
    open<wiring::TfmOmronPlcConfig>();
    pick("cbCode", QStringLiteral("1"));
    EXPECT_EQ(current("cbRType"), QStringLiteral("IO输入"));
    EXPECT_EQ(current("cbRCode"), QStringLiteral("0"));
    EXPECT_EQ(items("cbRBit"), bits(2, 15)) << "bits 0 and 1 of input 0 are used";
    EXPECT_EQ(current("cbRBit"), QStringLiteral("2"));
    pick("cbRType", QStringLiteral("IO输出"));
    EXPECT_EQ(items("cbRCode"), QStringList({"1", "2"}));
    EXPECT_EQ(current("cbRBit"), QStringLiteral("0")) << "output 1 has no rows";

    pick("cbRType", QStringLiteral("串行接入"));
    EXPECT_EQ(items("cbRCode") + items("cbRBit"), QStringList({"0", "0"}));
    pick("cbDeviceType", QStringLiteral("6-风机"));
    EXPECT_EQ(items("cbDeviceParam"), QStringList{"4-数据"});
    pick("cbDeviceCode", QStringLiteral("1"));
    pick("cbDeviceParam", QStringLiteral("4-数据"));
    database().exec(QStringLiteral("UPDATE DEVICE SET COMMDATA='0' WHERE DEVICETYPE=6"));
    EXPECT_EQ(connectTexts(), kDuplicate) << "PLC 1 has its serial row";
    EXPECT_EQ(device(6, 1, QStringLiteral("COMMDATA")), QStringLiteral("0"));

    pick("cbCode", QStringLiteral("2"));
    pick("cbRType", QStringLiteral("串行接入"));
    pick("cbDeviceType", QStringLiteral("6-风机"));
    pick("cbDeviceCode", QStringLiteral("1"));
    pick("cbDeviceParam", QStringLiteral("4-数据"));
    EXPECT_TRUE(connectTexts().isEmpty());
    EXPECT_EQ(device(6, 1, QStringLiteral("COMMDATA")), QStringLiteral("1"));
    EXPECT_EQ(items("cbRBit"), bits(1, 15));
    EXPECT_EQ(current("cbRBit"), QString());
    EXPECT_EQ(connectTexts(), kIncomplete) << "a bit is to be picked again";

    QStringList full;
    for (int bit = 0; bit < 16; ++bit) {
        full.append(QStringLiteral("(27, 2, 1, 2, %1, 6, 2, 1, 'f')").arg(bit));
    }
    database().exec(
        QStringLiteral("INSERT INTO PLCCONFIG (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, "
                       "RegisterBIT, DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES ") +
        full.join(u','));
    pick("cbRType", QStringLiteral("IO输出"));
    pick("cbRCode", QStringLiteral("2"));
    EXPECT_TRUE(items("cbRBit").isEmpty());
    EXPECT_EQ(connectTexts(), kIncomplete);
}

// Delete, from the button or the grid's one menu item, leaves DEVICE alone and shows the free
// bits of the deleted row's register; with an empty grid it only resets the bit list.
TEST_P(PlcWindows, OmronDeleteResetsTheBitListAndKeepsTheDeviceMark) {
    open<wiring::TfmOmronPlcConfig>();
    auto* menu = window->findChild<QMenu*>(QStringLiteral("PopupMenu1"));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("删除"));
    selectRowWith(1, QStringLiteral("IO输入"));
    menu->actions()[0]->trigger();
    EXPECT_EQ(mappings().size(), 3);
    EXPECT_EQ(items("cbRBit"), bits(0, 0) + bits(2, 15)) << "bit 1 holds the unnamed type's row";
    EXPECT_EQ(device(6, 1, QStringLiteral("COMMDATA")), QStringLiteral("1"));
    database().exec(QStringLiteral("DELETE FROM PLCCONFIG"));
    pick("cbCode", QStringLiteral("1"));
    window.reset();
    open<wiring::TfmOmronPlcConfig>();
    pick("cbCode", QStringLiteral("1"));
    click(*window, "btDelete");
    EXPECT_EQ(items("cbRBit"), bits(0, 15));
    EXPECT_EQ(current("cbRBit"), QString());
}

// Left open on a shared database: another program's mappings count at the next look-up, a
// refusal other than a duplicate is reported with the database's own text (and marks nothing),
// and a session the server ended is reported once, after which a connect works.
TEST_P(PlcWindows, OmronStaysSoundUnderOtherWritersAndFailures) {
    open<wiring::TfmOmronPlcConfig>();
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral(
        "INSERT INTO PLCCONFIG (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, "
        "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES (27, 2, 2, 0, 0, 6, 2, 3, 'o')"));
    pick("cbCode", QStringLiteral("2"));
    EXPECT_EQ(current("cbRBit"), QStringLiteral("1"));
    if (GetParam() == db::Engine::SQLite) {
        other->execute(
            QStringLiteral("CREATE TRIGGER NO_FAN2 BEFORE INSERT ON PLCCONFIG WHEN "
                           "NEW.DEVICECODE = 2 BEGIN SELECT RAISE(ABORT, 'fan 2 is "
                           "retired'); END"));
    } else {
        other->execute(
            QStringLiteral("ALTER TABLE PLCCONFIG ADD CONSTRAINT NO_FAN2 CHECK "
                           "(DEVICECODE <> 2) NOT VALID"));
    }
    pick("cbDeviceType", QStringLiteral("6-风机"));
    pick("cbDeviceCode", QStringLiteral("2"));
    pick("cbDeviceParam", QStringLiteral("3-运行反馈"));
    const QStringList before = mappings();
    const QStringList texts = connectTexts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_NE(texts[0], kDuplicate[0]);
    EXPECT_EQ(messages.messages()[0].caption, QApplication::applicationName());
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::Ok | ui::mb::IconStop);
    EXPECT_EQ(mappings(), before);
    EXPECT_EQ(device(6, 2, QStringLiteral("COMMDATA")), QStringLiteral("0"));
    if (GetParam() != db::Engine::PostgreSQL) {
        return;
    }
    const int self = database().scalarInt(QStringLiteral("select pg_backend_pid()"));
    other->execute(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where "
                                  "datname = current_database() and pid <> pg_backend_pid() and "
                                  "pid <> %1")
                       .arg(self));
    pick("cbDeviceCode", QStringLiteral("1"));
    pick("cbDeviceParam", QStringLiteral("3-运行反馈"));
    // The connect stores and marks on a connection of its own, opened for it; the reading
    // after it meets the ended session of the window's statements and reads again on a fresh
    // one, without a box.
    EXPECT_EQ(connectTexts(), QStringList());
    EXPECT_EQ(mappings().size(), before.size() + 1);
    EXPECT_EQ(device(6, 1, QStringLiteral("COMMDATA")), QStringLiteral("1"));
    pick("cbRBit", QStringLiteral("3"));
    EXPECT_LE(connectTexts().size(), 1) << "the window's other ended session, once";
    pick("cbRBit", QStringLiteral("4"));
    EXPECT_TRUE(connectTexts().isEmpty()) << "every connection works again";
    EXPECT_EQ(mappings().size(), before.size() + 3);
    EXPECT_EQ(grid->model()->rowCount(), before.size() + 2) << "the row of type 99 is not shown";
}

// The Omron window's mapping and its device's mark are one change: a refused mark takes the
// mapping back, and the bit is offered again.
TEST_P(PlcWindows, OmronMappingAndMarkAreStoredTogetherOrNotAtAll) {
    if (GetParam() == db::Engine::SQLite) {
        database().exec(
            QStringLiteral("CREATE TRIGGER KEEP_F2 BEFORE UPDATE ON DEVICE WHEN "
                           "NEW.DEVICECODE = 2 BEGIN SELECT RAISE(ABORT, 'F2 is "
                           "kept'); END"));
    } else {
        database().exec(
            QStringLiteral("ALTER TABLE DEVICE ADD CONSTRAINT KEEP_F2 CHECK "
                           "(COMMDATA <> '1' OR DEVICECODE <> 2 OR DEVICETYPE <> 6)"));
    }
    open<wiring::TfmOmronPlcConfig>();
    const QStringList before = mappings();
    pick("cbCode", QStringLiteral("2"));
    pick("cbDeviceType", QStringLiteral("6-风机"));
    pick("cbDeviceCode", QStringLiteral("2"));
    pick("cbDeviceParam", QStringLiteral("3-运行反馈"));
    const QString bit = current("cbRBit");
    const QStringList texts = connectTexts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::Ok | ui::mb::IconStop);
    EXPECT_EQ(mappings(), before);
    EXPECT_EQ(device(6, 2, QStringLiteral("COMMDATA")), QStringLiteral("0"));
    EXPECT_EQ(current("cbRBit"), bit) << "the bit is still offered";
    EXPECT_TRUE(database().operLog().isEmpty()) << "a rolled-back mapping leaves no log row";
}

// From either PLC window the device search offers the devices a PLC reaches; the device
// chosen makes its first mapping the current row.
TEST_P(PlcWindows, TheSearchReturnsToTheDevicesMapping) {
    for (const bool omron : {false, true}) {
        if (omron) {
            open<wiring::TfmOmronPlcConfig>();
        } else {
            open<wiring::TfmPlcConfig>();
        }
        findThroughSearch(scripts, *window, 2, QStringLiteral("F2"));  // fans 6/1 and 6/2
        auto* model = qobject_cast<db::KeysetQueryModel*>(grid->model());
        ASSERT_NE(model, nullptr);
        const int row = grid->currentIndex().row();
        EXPECT_EQ(db::integerOf(model->fieldValue(row, QStringLiteral("DEVICECODE"))), 2)
            << (omron ? "Omron" : "generic");
        window.reset();
    }
}

TEST_P(PlcWindows, TheRegisterMapShowsBitsInEachWindowsVocabulary) {
    const QStringList before = mappings();
    open<wiring::TfmPlcConfig>();
    scripts.expect(QStringLiteral("fmOccupancyMap"), [](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("位图 - PLC 1"));
        auto* map = child<QTableWidget>(dialog, "gridMap");
        EXPECT_EQ(map->rowCount(), 16);
        EXPECT_EQ(map->columnCount(), 8);
        EXPECT_EQ(map->verticalHeaderItem(8)->text(), QStringLiteral("i0"));
        EXPECT_EQ(map->item(0, 0)->text(), QStringLiteral("风机(1) 1-正转"));
        EXPECT_EQ(map->item(8, 1)->text(), QStringLiteral("(1) x")) << "type 99";
        EXPECT_EQ(map->item(0, 1)->text(), QStringLiteral("空闲"));
        EXPECT_EQ(itemsOf(*child<QListWidget>(dialog, "lbApart")),
                  QStringList{"寄存器类型4 寄存器0 位0：风机(2) 参数4：4-数据"});
        return ui::mrCancel;
    });
    selectRowWith(0, QStringLiteral("1"));
    const QList<QAction*> actions = grid->actions();
    const auto entry = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
        return a->text() == QStringLiteral("位图(&M)...");
    });
    ASSERT_NE(entry, actions.end());
    (*entry)->trigger();
    window.reset();
    open<wiring::TfmOmronPlcConfig>();
    scripts.expect(QStringLiteral("fmOccupancyMap"), [](QDialog& dialog) {
        auto* map = child<QTableWidget>(dialog, "gridMap");
        EXPECT_EQ(map->rowCount(), 4);
        EXPECT_EQ(map->columnCount(), 16);
        EXPECT_EQ(map->item(3, 0)->text(), QStringLiteral("风机(2) 4-数据")) << "serial";
        EXPECT_EQ(map->horizontalScrollBar()->maximum(), 0) << "the 16 bits side by side";
        EXPECT_EQ(itemsOf(*child<QListWidget>(dialog, "lbApart")),
                  QStringList{"寄存器类型1 寄存器0 位0：风机(1) 参数1：1-正转"})
            << "output register 0 is no Omron address";
        return ui::mrCancel;
    });
    pick("cbCode", QStringLiteral("1"));
    QApplication::setActiveWindow(window.get());
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(scripts.shown().size(), 2);
    EXPECT_EQ(mappings(), before);
}

TUNNEL_ON_EVERY_ENGINE(PlcWindows);
