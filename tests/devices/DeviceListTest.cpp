#include "devices/TfmDeviceMainage.h"

#include "devices/DeviceFixture.h"
#include "platform/db/Database.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/text/Csv.h"
#include "platform/text/Gbk.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"
#include "support/GridExport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace tunnel;
using namespace tunnel::test;

namespace {

class DeviceList : public DeviceWindows {
protected:
    void TearDown() override {
        window.reset();
        DeviceWindows::TearDown();
    }

    void open() {
        window = std::make_unique<devices::TfmDeviceMainage>(nullptr, context());
        window->show();
        grid = child<QTableView>(*window, "DBGrid1");
    }

    QAbstractItemModel& model() { return *grid->model(); }
    QString cell(int row, int column) {
        return model().data(model().index(row, column)).toString();
    }
    int rows() { return model().rowCount(); }
    void select(int row) { grid->setCurrentIndex(model().index(row, 0)); }
    int currentRow() { return grid->currentIndex().row(); }
    bool enabled(const char* button) { return child<QPushButton>(*window, button)->isEnabled(); }
    QString selectedKey() { return cell(currentRow(), 0) + u'/' + cell(currentRow(), 1); }
    void filterBy(const QString& item) {
        choose(*window, "cbType", item);
        click(*window, "Button1");
    }

    std::unique_ptr<devices::TfmDeviceMainage> window;
    QTableView* grid = nullptr;
};

}  // namespace

TEST_P(DeviceList, ShowsEveryDeviceWithItsCodesAsWords) {
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("设备管理"));
    ASSERT_EQ(rows(), 3);
    const QStringList titles = {"设备类型", "编号",     "位置",     "桩号",     "状态",
                                "周期",     "连接类型", "连接参数", "协议",     "视频端口",
                                "物理编号", "起始位置", "终止位置", "所在区域", "洞内外"};
    ASSERT_EQ(model().columnCount(), titles.size());
    for (int i = 0; i < titles.size(); ++i) {
        EXPECT_EQ(model().headerData(i, Qt::Horizontal).toString(), titles[i]);
    }
    EXPECT_EQ(grid->columnWidth(0), 120);
    EXPECT_EQ(grid->columnWidth(7), 180);
    // 5/3: down, K10+470, normal, network, protocol 2.0, area 2, inside.
    EXPECT_EQ(cell(0, 0), QStringLiteral("照明回路  ")) << "the type name as stored";
    EXPECT_EQ(cell(0, 2), QStringLiteral("下行"));
    EXPECT_EQ(cell(0, 3), QStringLiteral("K10+470"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("正常"));
    EXPECT_EQ(cell(0, 6), QStringLiteral("网络"));
    EXPECT_EQ(cell(0, 8), QStringLiteral("2.0"));
    EXPECT_EQ(cell(0, 13), QStringLiteral("隧道段"));
    EXPECT_EQ(cell(0, 14), QStringLiteral("内"));
    EXPECT_EQ(cell(2, 6), QStringLiteral("网关"));
    EXPECT_TRUE(enabled("btEdit") && enabled("btDelete") && enabled("btConnect"));
}

TEST_P(DeviceList, AnEmptyRegisterLeavesOnlyAddPropertyFilterAndClose) {
    database().exec(QStringLiteral("DELETE FROM DEVICE"));
    open();
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(enabled("btAdd"));
    EXPECT_FALSE(enabled("btEdit") || enabled("btDelete") || enabled("btConnect"));
    EXPECT_TRUE(enabled("btProperty") && enabled("Button1") && enabled("btClose"));
    click(*window, "btProperty");
    EXPECT_TRUE(scripts.shown().isEmpty());
    EXPECT_TRUE(messages.messages().isEmpty());
}

TEST_P(DeviceList, TheTypeFilterNarrowsTheListUntilChangedAgain) {
    database().exec(
        QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (0, '未分类')"));
    open();
    auto* types = child<QComboBox>(*window, "cbType");
    EXPECT_EQ(types->itemText(0), QStringLiteral("0-所有设备"));
    EXPECT_EQ(types->itemText(1), QStringLiteral("1-摄像机"));
    filterBy(QStringLiteral("12-可变情报板"));
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(cell(0, 1), QStringLiteral("5"));
    filterBy(QStringLiteral("1-摄像机"));
    EXPECT_EQ(rows(), 0);
    EXPECT_FALSE(enabled("btEdit") || enabled("btDelete") || enabled("btConnect"));
    filterBy(QStringLiteral("0-未分类"));
    EXPECT_EQ(rows(), 3) << "a type coded 0 also means every device";
    filterBy(QStringLiteral("1-摄像机"));
    filterBy(QStringLiteral("0-所有设备"));
    EXPECT_EQ(rows(), 3);
    EXPECT_TRUE(enabled("btEdit"));
}

TEST_P(DeviceList, DeleteAsksAndTouchesOnlyTheDeviceRow) {
    database().exec(
        QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, "
                       "ALERTDESC) VALUES (12, 5, '2026-01-01 00:00:00.000', 1, 'x')"));
    open();
    select(1);
    messages.answer(ui::IdCancel);
    click(*window, "btDelete");
    EXPECT_EQ(allDevices().size(), 3);
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("确定要删除此设备吗？"));
    EXPECT_EQ(messages.messages()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(messages.messages()[0].flags, 0x31U);
    click(*window, "btDelete");
    EXPECT_EQ(allDevices(), (QStringList{QStringLiteral("5|3"), QStringLiteral("24|1")}));
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICEALERT")), 1);
    EXPECT_EQ(rows(), 2);
    const QStringList log = database().operLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral(
        R"j(1|删除|DEVICE|DEVICETYPE=12,DEVICECODE=5|{"DEVICETYPE":12,"DEVICECODE":5,)j")))
        << log[0].toStdString();
    EXPECT_TRUE(log[0].endsWith(u'|')) << "a delete has no after text";
}

TEST_P(DeviceList, DeletingTheLastDeviceOfTheFilteredTypeEmptiesTheList) {
    open();
    filterBy(QStringLiteral("24-网络IO网关"));
    click(*window, "btDelete");
    EXPECT_EQ(rows(), 0);
    EXPECT_FALSE(enabled("btEdit") || enabled("btDelete") || enabled("btConnect"));
}

TEST_P(DeviceList, EditorResultsDecideTheReloadAndTheSelectionComesBack) {
    open();
    select(1);
    database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES (1, 77)"));
    scripts.expect(QStringLiteral("fmAddDevice"), [](QDialog&) { return ui::mrCancel; });
    click(*window, "btEdit");
    EXPECT_EQ(rows(), 3) << "Cancel does not reload";
    EXPECT_EQ(currentRow(), 1);

    scripts.expect(QStringLiteral("fmAddDevice"), [](QDialog& editor) {
        child<QSpinBox>(editor, "seCycle")->setValue(15);
        click(editor, "Button1");
        return ui::mrOK;
    });
    click(*window, "btEdit");
    EXPECT_TRUE(scripts.allUsed());
    EXPECT_EQ(rows(), 4) << "OK reloads";
    EXPECT_EQ(selectedKey(), QStringLiteral("可变情报板/5"));
    EXPECT_EQ(device(12, 5, QStringLiteral("CYCLE")), QStringLiteral("15"));

    scripts.expect(QStringLiteral("fmConnectConfig"), [](QDialog& settings) {
        click(settings, "Button1");
        return ui::mrOK;
    });
    click(*window, "btConnect");
    EXPECT_EQ(selectedKey(), QStringLiteral("可变情报板/5"));

    scripts.expect(QStringLiteral("fmAddDevice"), [](QDialog& editor) {
        choose(editor, "cbType", QStringLiteral("1-摄像机"));
        child<QSpinBox>(editor, "seCode")->setValue(78);
        click(editor, "Button1");
        return ui::mrOK;
    });
    click(*window, "btAdd");
    EXPECT_EQ(selectedKey(), QStringLiteral("摄像机/78")) << "on the device just added";
}

TEST_P(DeviceList, AReKeyedOrVanishedDeviceLeavesTheNearestRowSelected) {
    open();
    select(1);
    scripts.expect(QStringLiteral("fmAddDevice"), [](QDialog& editor) {
        child<QSpinBox>(editor, "seCode")->setValue(9);
        click(editor, "Button1");
        return ui::mrOK;
    });
    click(*window, "btEdit");
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(currentRow(), 1) << "the old key is gone: the row standing where it stood";
}

TEST_P(DeviceList, PropertiesOpenOnlyForMessageSigns) {
    open();
    select(0);
    click(*window, "btProperty");
    EXPECT_TRUE(scripts.shown().isEmpty());
    EXPECT_TRUE(messages.messages().isEmpty());
    select(1);
    scripts.expect(QStringLiteral("fmCmsConfig"), [](QDialog& sign) {
        typeInto(sign, "cbPicSize", QStringLiteral("48"));
        click(sign, "Button1");
        return ui::mrOK;
    });
    click(*window, "btProperty");
    EXPECT_EQ(scripts.shown(), QStringList{QStringLiteral("fmCmsConfig")});
    ASSERT_EQ(hostStatements.size(), 1);
    EXPECT_TRUE(hostStatements[0].endsWith(QStringLiteral("devicecode = 5")));
    EXPECT_EQ(currentRow(), 1);
}

TEST_P(DeviceList, ActionsUseTheSelectedRowsKeyWhereverTheColumnsWereMoved) {
    open();
    grid->horizontalHeader()->moveSection(0, 10);
    grid->horizontalHeader()->moveSection(1, 12);
    select(1);
    int type = 0;
    int code = 0;
    scripts.expect(QStringLiteral("fmConnectConfig"), [&](QDialog& settings) {
        type = child<QRadioButton>(settings, "rbNet")->isChecked() ? 12 : -1;
        code = settings.findChild<QLineEdit*>(QStringLiteral("meIpAddress"))->text().trimmed() ==
                       QStringLiteral("10.0.0.5")
                   ? 5
                   : -1;
        return ui::mrCancel;
    });
    click(*window, "btConnect");
    EXPECT_EQ(type, 12);
    EXPECT_EQ(code, 5);
    click(*window, "btDelete");
    EXPECT_EQ(allDevices(), (QStringList{QStringLiteral("5|3"), QStringLiteral("24|1")}));
}

TEST_P(DeviceList, TitlesSortInTheDatabaseAndCtrlCCopiesTheRow) {
    insertDevice(1, 2, QStringLiteral("1, 9, 5, 1, 60, 0, 1, 'C2', '', '', 0, 0, '', 0"));
    insertDevice(1, 1, QStringLiteral("1, 9, 40, 1, 60, 0, 1, 'C1', '', '', 0, 0, '', 0"));
    open();
    grid->horizontalHeader()->sectionClicked(3);  // stake: kilometre, then metre
    ASSERT_EQ(rows(), 5);
    QStringList stakes;
    for (int row = 0; row < rows(); ++row)
        stakes.append(cell(row, 3));
    EXPECT_EQ(stakes, (QStringList{"K9+5", "K9+40", "K10+50", "K10+100", "K10+470"}));
    grid->horizontalHeader()->sectionClicked(3);
    EXPECT_EQ(cell(0, 3), QStringLiteral("K10+470"));
    grid->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(cell(0, 1), QStringLiteral("1"));

    select(0);
    QApplication::setActiveWindow(window.get());
    grid->setFocus();
    QTest::keySequence(grid, QKeySequence::Copy);
    const QStringList copied = QApplication::clipboard()->text().split(u'\t');
    ASSERT_EQ(copied.size(), 15);
    EXPECT_EQ(copied[1], cell(0, 1));
    EXPECT_EQ(copied[3], cell(0, 3));
}

// The list's export writes each device as the list shows it, the codes as words, the stake
// made from two columns and the fixed-width texts (CHAR columns) as the grid gives them.
TEST_P(DeviceList, TheExportWritesTheListAsShown) {
    database().exec(
        QStringLiteral("UPDATE DEVICE SET COMMDATA = 'a,b \"c\"' WHERE DEVICECODE = 3"));
    open();
    const text::CsvTable table =
        test::exportedCsv(*qobject_cast<db::KeysetQueryModel*>(grid->model()));
    ASSERT_EQ(table.records(), rows());
    for (int row = 0; row < rows(); ++row) {
        QStringList shown;
        for (int column = 0; column < model().columnCount(); ++column)
            shown.append(text::spreadsheetSafe(cell(row, column)));
        EXPECT_EQ(table.cellList(row), shown) << "row " << row;
    }
}

TUNNEL_ON_EVERY_ENGINE(DeviceList);

// Another program deletes devices above the chosen one while the user scrolls through a long
// list: Delete still deletes the device the user chose, and one deleted meanwhile is reported
// instead of acting on another.
TEST_P(DeviceList, DeleteActsOnTheChosenDeviceWhateverOthersWrite) {
    QStringList many;
    for (int code = 1; code <= 900; ++code)
        many.append(QStringLiteral("(1, %1)").arg(code));
    database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES ") +
                    many.join(u','));
    open();
    select(100);
    ASSERT_EQ(selectedKey(), QStringLiteral("摄像机/101"));
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE = 1 AND DEVICECODE <= 50"));
    while (model().canFetchMore({}))
        model().fetchMore({});
    EXPECT_EQ(rows(), 903) << "rows read before the delete stay; none doubles or goes blank";
    messages.answer(ui::IdOk);
    click(*window, "btDelete");
    EXPECT_EQ(device(1, 101, QStringLiteral("DEVICECODE")), QStringLiteral("<none>"));
    EXPECT_EQ(device(1, 151, QStringLiteral("DEVICECODE")), QStringLiteral("151"));
    EXPECT_EQ(allDevices().size(), 900 - 50 - 1 + 3);
    EXPECT_EQ(selectedKey(), QStringLiteral("摄像机/102"))
        << "read afresh, on the row that took the deleted one's place";

    for (int row = 0; row < rows(); ++row) {
        if (cell(row, 1) == u"61")
            select(row);
    }
    const QString chosen = selectedKey();
    other->execute(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE = 1 AND DEVICECODE = 61"));
    ASSERT_EQ(chosen, QStringLiteral("摄像机/61"));
    messages.clear();
    messages.answer(ui::IdOk);
    click(*window, "btDelete");
    ASSERT_EQ(messages.messages().size(), 2);
    EXPECT_TRUE(messages.messages()[1].text.contains(QStringLiteral("已不存在")));
    EXPECT_EQ(allDevices().size(), 900 - 50 - 2 + 3) << "no other device was deleted";
}

// The register through the list's menu: the export follows the list's filter; a file with a
// refused row writes nothing and leaves its errors beside it; a sound one asks, writes and
// reads the list afresh.
TEST_P(DeviceList, TheRegisterGoesOutAndComesInThroughTheMenu) {
    open();
    const auto trigger = [&](const QString& title) {
        for (QAction* action : grid->actions()) {
            if (action->text() == title) {
                action->trigger();
                return;
            }
        }
        FAIL() << "no " << title.toStdString();
    };
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("devices"));
    const ui::SaveFileChooser previousSave =
        ui::setSaveFileChooser([&](QWidget*, const QString&, const QString& suggested) {
            EXPECT_TRUE(suggested.startsWith(QStringLiteral("设备表-")));
            return file;
        });
    filterBy(QStringLiteral("12-可变情报板"));
    trigger(QStringLiteral("导出设备表(&X)..."));
    ui::setSaveFileChooser(previousSave);
    QFile exported(file + QStringLiteral(".csv"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().count("\r\n"), 2) << "the titles and the one sign";

    QString chosen;
    const ui::OpenFileChooser previousOpen =
        ui::setOpenFileChooser([&](QWidget*, const QString&) { return chosen; });
    chosen = folder.filePath(QStringLiteral("in.csv"));
    QFile in(chosen);
    ASSERT_TRUE(in.open(QIODevice::WriteOnly));
    in.write("DEVICETYPE,DEVICECODE,PHYSICS\n1,77,new\n99,1,bad\n");
    in.close();
    messages.clear();
    trigger(QStringLiteral("导入设备表(&I)..."));
    const QString errors = folder.filePath(QStringLiteral("in.错误.csv"));
    EXPECT_EQ(messages.texts(),
              QStringList{QStringLiteral("有 1 行有错误，没有导入任何设备。错误说明见 ") + errors});
    EXPECT_TRUE(QFile::exists(errors));

    ASSERT_TRUE(in.open(QIODevice::WriteOnly));
    in.write("DEVICETYPE,DEVICECODE,PHYSICS\n1,77,new\n");
    in.close();
    filterBy(QStringLiteral("0-所有设备"));
    const int before = rows();
    messages.clear();
    trigger(QStringLiteral("导入设备表(&I)..."));
    EXPECT_EQ(messages.texts(),
              (QStringList{QStringLiteral("共 1 行：新增 1 台，修改 0 台，不变 0 台。确定导入吗？"),
                           QStringLiteral("已导入。共 1 行：新增 1 台，修改 0 台，不变 0 台。")}));
    EXPECT_EQ(rows(), before + 1);

    // A file both encodings read: the operator is asked, the guess first, and may take the other.
    ASSERT_TRUE(in.open(QIODevice::WriteOnly));
    in.write("DEVICETYPE,DEVICECODE,PHYSICS\n1,78," + text::toGbk(QStringLiteral("陆路")) + "\n");
    in.close();
    messages.clear();
    messages.answer(ui::IdNo);
    messages.answer(ui::IdCancel);
    trigger(QStringLiteral("导入设备表(&I)..."));
    ASSERT_EQ(messages.texts().size(), 2);
    EXPECT_TRUE(messages.texts()[0].contains(
        QStringLiteral("推测是 GBK 编码。\n按 GBK 读选“是”，按 UTF-8 读选“否”")))
        << messages.texts()[0].toStdString();
    EXPECT_EQ(messages.messages()[1].text,
              QStringLiteral("共 1 行：新增 1 台，修改 0 台，不变 0 台。确定导入吗？"));
    messages.clear();
    trigger(QStringLiteral("导入设备表(&I)..."));
    ui::setOpenFileChooser(previousOpen);
    EXPECT_EQ(database().rows(QStringLiteral("select PHYSICS from DEVICE where DEVICECODE=78")),
              QStringList{QStringLiteral("陆路")})
        << "the guess taken";
}

// An operator's choice of row outlasts every re-read: one that came in while the editor or
// settings were closing (before their re-read ran), and one made after a re-read but before the
// rows it left to be read above had come in. What 编辑 and 删除 then act on is that device.
TEST_P(DeviceList, TheRowTheOperatorChoseStaysChosenThroughReReads) {
    QStringList many;
    for (int code = 1; code <= 900; ++code)
        many.append(QStringLiteral("(1, %1)").arg(code * 2));
    database().exec(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES ") +
                    many.join(u','));
    open();
    const auto chooseVisibleRow = [&](int below) {
        const QModelIndex top = grid->indexAt(QPoint(5, 5));
        const QModelIndex index = model().index(top.row() + below, 1);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
        return selectedKey();
    };
    const auto drainEvents = [] {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    };
    const auto editorOpensOn = [&](const QString& expected) {
        scripts.expect(QStringLiteral("fmAddDevice"), [&](QDialog& editor) {
            EXPECT_EQ(QStringLiteral("摄像机/%1").arg(child<QSpinBox>(editor, "seCode")->value()),
                      expected);
            return ui::mrCancel;
        });
        click(*window, "btEdit");
    };
    select(5);
    struct Action {
        const char* button;
        const char* window;
        std::function<void(QDialog&)> write;
    };
    const std::vector<Action> actions{
        {"btAdd", "fmAddDevice",
         [](QDialog& editor) {
             choose(editor, "cbType", QStringLiteral("1-摄像机"));
             child<QSpinBox>(editor, "seCode")->setValue(901);
             click(editor, "Button1");
         }},
        {"btEdit", "fmAddDevice",
         [](QDialog& editor) {
             child<QSpinBox>(editor, "seCycle")->setValue(15);
             click(editor, "Button1");
         }},
        {"btConnect", "fmConnectConfig", [](QDialog& settings) { click(settings, "Button1"); }},
    };
    for (const Action& action : actions) {
        SCOPED_TRACE(action.button);
        QString chosen;
        scripts.expect(QString::fromLatin1(action.window), [&](QDialog& dialog) {
            action.write(dialog);
            chosen = chooseVisibleRow(3);
            return ui::mrOK;
        });
        click(*window, action.button);
        drainEvents();
        EXPECT_EQ(selectedKey(), chosen) << "the choice made as the window closed";
        editorOpensOn(chosen);
    }
    EXPECT_EQ(device(1, 901, QStringLiteral("DEVICECODE")), QStringLiteral("901"));

    // Chosen on the first row read, whose rows above come in after: it stays chosen, and the
    // rows on screen stay where they were.
    scripts.expect(QStringLiteral("fmAddDevice"), [](QDialog& editor) {
        choose(editor, "cbType", QStringLiteral("1-摄像机"));
        child<QSpinBox>(editor, "seCode")->setValue(903);
        click(editor, "Button1");
        return ui::mrOK;
    });
    click(*window, "btAdd");
    ASSERT_EQ(selectedKey(), QStringLiteral("摄像机/903"));
    grid->scrollToTop();
    const QString chosen = chooseVisibleRow(0);
    const QString shownFirst = cell(grid->indexAt(QPoint(5, 5)).row(), 1);
    const int rowsBefore = rows();
    drainEvents();
    EXPECT_GT(rows(), rowsBefore) << "the rows above were read in";
    EXPECT_EQ(selectedKey(), chosen);
    EXPECT_EQ(cell(grid->indexAt(QPoint(5, 5)).row(), 1), shownFirst);
    messages.answer(ui::IdOk);
    click(*window, "btDelete");
    EXPECT_EQ(device(1, chosen.section(u'/', 1).toInt(), QStringLiteral("DEVICECODE")),
              QStringLiteral("<none>"));
    EXPECT_EQ(device(1, 903, QStringLiteral("DEVICECODE")), QStringLiteral("903"));
}
