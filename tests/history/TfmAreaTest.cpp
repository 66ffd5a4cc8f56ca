#include "history/TfmArea.h"

#include "platform/ui/EditGrid.h"
#include "platform/ui/MessageBox.h"
#include "support/MessageRecorder.h"
#include "support/QtWarnings.h"
#include "support/TestDatabase.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tunnel;
using db::EditableTableModel;

namespace {

class AreaEditor : public test::EngineTest {
protected:
    void prepare() override {
        database().exec(QStringLiteral(
            "INSERT INTO AREA (AREACODE, AREANAME, FROMMETER, FROMMILI, TOMETER, TOMILI) VALUES "
            "(1, '北洞口', 10, 0, 10, 300), (2, '隧道段', 10, 300, 12, 800), (3, '南洞口', 12, "
            "800, 13, 0)"));
        open();
    }

    void TearDown() override {
        window.reset();
        EngineTest::TearDown();
    }

    void open() {
        window = std::make_unique<history::TfmArea>(
            nullptr, data::ModuleContext{database().connectionString(), {}});
        window->show();
        grid = window->findChild<ui::EditGrid*>(QStringLiteral("DBGrid1"));
        table = qobject_cast<EditableTableModel*>(grid->model());
    }

    void click(const char* button) {
        window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }

    // A value typed into a cell and committed, as the cell editor does.
    void type(int column, const QString& text) {
        ASSERT_TRUE(table->setData(table->index(table->currentRow(), column), text))
            << "cell not editable";
    }

    void press(Qt::Key key) { QTest::keyClick(grid, key); }

    // The cell editor open on the current cell (closed ones linger until deleted).
    QLineEdit* openEditor() {
        for (QLineEdit* editor : grid->viewport()->findChildren<QLineEdit*>()) {
            if (editor->isVisible())
                return editor;
        }
        return nullptr;
    }

    QStringList areas() {
        return database().rows(
            QStringLiteral("select AREACODE, AREANAME, FROMMETER from AREA order by AREACODE"));
    }

    test::MessageRecorder messages;
    std::unique_ptr<history::TfmArea> window;
    ui::EditGrid* grid = nullptr;
    EditableTableModel* table = nullptr;
};

const QStringList kStored = {QStringLiteral("1|北洞口|10"), QStringLiteral("2|隧道段|10"),
                             QStringLiteral("3|南洞口|12")};

}  // namespace

TEST_P(AreaEditor, ShowsEveryAreaInBrowseMode) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("系统区域管理"));
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->headerData(1, Qt::Horizontal).toString(), QStringLiteral("区域名称"));
    EXPECT_EQ(table->data(table->index(2, 1)).toString(), QStringLiteral("南洞口"));
    EXPECT_EQ(table->currentRow(), 0);
    EXPECT_FALSE(grid->isEditMode());
    EXPECT_FALSE(table->flags(table->index(0, 0)) & Qt::ItemIsEditable);
}

TEST_P(AreaEditor, AddedRowIsSavedOnConfirm) {
    click("btAdd");
    EXPECT_EQ(table->state(), EditableTableModel::State::Insert);
    EXPECT_TRUE(grid->isEditMode());
    type(0, QStringLiteral("9"));
    type(1, QStringLiteral("管理站 'B'"));
    type(2, QStringLiteral("13"));
    press(Qt::Key_Return);
    EXPECT_EQ(table->state(), EditableTableModel::State::Browse);
    EXPECT_FALSE(grid->isEditMode());
    EXPECT_EQ(areas(), kStored + QStringList{QStringLiteral("9|管理站 'B'|13")});
    EXPECT_TRUE(messages.texts().isEmpty());
    const QStringList log = database().operLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith(
        QStringLiteral(R"j(4|增加|AREA|AREACODE=9||{"AREACODE":"9","AREANAME":"管理站 'B'",)j")))
        << log[0].toStdString();
}

TEST_P(AreaEditor, TypingInTheCellEditorReturnConfirmsAndEscapeCancels) {
    click("btAdd");
    QLineEdit* editor = openEditor();
    ASSERT_NE(editor, nullptr) << "the cell editor opens on the new row";
    QTest::keyClicks(editor, QStringLiteral("12"));
    {
        // Tab and Shift+Tab move between the cells' editors without a word on the host's
        // console.
        test::QtWarnings warnings;
        QTest::keyClick(editor, Qt::Key_Tab);
        ASSERT_NE(openEditor(), nullptr);
        QTest::keyClick(openEditor(), Qt::Key_Backtab);
        EXPECT_TRUE(warnings.texts().isEmpty()) << warnings.texts().join(u'\n').toStdString();
        editor = openEditor();
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text(), QStringLiteral("12"));
    }
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(table->state(), EditableTableModel::State::Browse);
    EXPECT_EQ(areas().back(), QStringLiteral("12|NULL|NULL"));

    click("btEdit");
    editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("12"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("99"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(table->state(), EditableTableModel::State::Browse);
    EXPECT_EQ(areas().back(), QStringLiteral("12|NULL|NULL"));
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_P(AreaEditor, EditedRowIsSavedWhenAnotherRowIsChosen) {
    click("btEdit");
    type(1, QStringLiteral("北洞口外"));
    grid->setCurrentIndex(table->index(2, 0));
    EXPECT_EQ(table->currentRow(), 2);
    EXPECT_FALSE(grid->isEditMode());
    EXPECT_EQ(areas().front(), QStringLiteral("1|北洞口外|10"));
}

TEST_P(AreaEditor, CancelLeavesTheTableAsItWas) {
    click("btEdit");
    type(1, QStringLiteral("改了又取消"));
    press(Qt::Key_Escape);
    EXPECT_EQ(table->state(), EditableTableModel::State::Browse);
    EXPECT_EQ(table->data(table->index(0, 1)).toString(), QStringLiteral("北洞口"));
    click("btAdd");
    type(0, QStringLiteral("8"));
    press(Qt::Key_Escape);
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(areas(), kStored);
}

TEST_P(AreaEditor, DeleteAsksAndOnlyYesDeletes) {
    grid->setCurrentIndex(table->index(1, 0));
    messages.answer(ui::IdNo);
    messages.answer(ui::IdCancel);
    click("btDelete");
    click("btDelete");
    EXPECT_EQ(areas(), kStored);
    ASSERT_EQ(messages.messages().size(), 2);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("确实删除该选中区域吗?"));
    EXPECT_EQ(messages.messages()[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(messages.messages()[0].flags, 0x33U);
    messages.answer(ui::IdYes);
    click("btDelete");
    EXPECT_EQ(areas(), (QStringList{kStored[0], kStored[2]}));
    EXPECT_EQ(table->rowCount(), 2);
}

TEST_P(AreaEditor, DeleteWhileATypedNewRowIsPendingDropsOnlyThatRow) {
    click("btAdd");
    type(1, QStringLiteral("未保存"));
    messages.answer(ui::IdYes);
    click("btDelete");
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(areas(), kStored);
}

TEST_P(AreaEditor, AnUntouchedNewRowIsDroppedBeforeTheDeleteQuestion) {
    click("btAdd");
    messages.answer(ui::IdYes);
    click("btDelete");
    // The question concerned the stored row that became current again: the last one.
    EXPECT_EQ(areas(), (QStringList{kStored[0], kStored[1]}));
}

TEST_P(AreaEditor, RefusedSaveKeepsTheRowForASecondAttempt) {
    click("btAdd");
    type(0, QStringLiteral("2"));  // the number is taken
    type(1, QStringLiteral("重复"));
    press(Qt::Key_Return);
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("输入的错误有错误，请检查"));
    EXPECT_EQ(messages.messages()[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::IconStop);
    EXPECT_EQ(table->state(), EditableTableModel::State::Insert);
    EXPECT_TRUE(grid->isEditMode());
    EXPECT_EQ(table->data(table->index(3, 1)).toString(), QStringLiteral("重复"));

    type(2, QStringLiteral("十"));  // not a number either
    type(0, QStringLiteral("4"));
    press(Qt::Key_Return);
    EXPECT_EQ(messages.messages().size(), 2);
    type(2, QStringLiteral("14"));
    press(Qt::Key_Return);
    EXPECT_EQ(messages.messages().size(), 2);
    EXPECT_EQ(table->state(), EditableTableModel::State::Browse);
    EXPECT_EQ(areas().back(), QStringLiteral("4|重复|14"));
}

TEST_P(AreaEditor, ANumberBeyond32BitsIsRefusedAsOnEveryEngine) {
    click("btAdd");
    type(0, QStringLiteral("2147483648"));
    press(Qt::Key_Return);
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("输入的错误有错误，请检查")});
    EXPECT_EQ(areas(), kStored);
}

TEST_P(AreaEditor, ARefusedRowBlocksTheChangeOfRow) {
    click("btEdit");
    type(0, QStringLiteral("3"));
    grid->setCurrentIndex(table->index(2, 0));
    EXPECT_EQ(table->currentRow(), 0) << "the refused row stays current";
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("输入的错误有错误，请检查")});
    EXPECT_EQ(areas(), kStored);
}

TEST_P(AreaEditor, ClosingWhileEditingWritesNothing) {
    click("btEdit");
    type(1, QStringLiteral("不要保存"));
    click("btClose");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), 2);
    open();
    click("btAdd");
    type(0, QStringLiteral("5"));
    window->close();
    EXPECT_EQ(areas(), kStored);
}

TEST_P(AreaEditor, DeleteOnAnEmptyTableIsReported) {
    database().exec(QStringLiteral("DELETE FROM AREA"));
    open();
    messages.answer(ui::IdYes);
    click("btDelete");
    ASSERT_EQ(messages.messages().size(), 2);
    EXPECT_EQ(messages.messages()[1].text, QStringLiteral("不能对空数据集执行此操作。"));
    EXPECT_EQ(messages.messages()[1].flags, ui::mb::IconStop);
}

TUNNEL_ON_EVERY_ENGINE(AreaEditor);

TEST(AreaEditorWithoutDatabase, ReportsTheDatabaseErrorAndStaysUsable) {
    test::MessageRecorder messages;
    history::TfmArea window(
        nullptr,
        data::ModuleContext{
            QStringLiteral("Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=u"), {}});
    window.show();
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_TRUE(messages.messages()[0].text.contains(QStringLiteral("无法打开PostgreSQL 数据库")));
    window.findChild<QPushButton*>(QStringLiteral("btAdd"))->click();
    window.findChild<QPushButton*>(QStringLiteral("btClose"))->click();
    EXPECT_FALSE(window.isVisible());
}

// Another program removes or changes the row the user edits or deletes: nothing is reported as
// saved that was not, the user is told, and the grid shows the table as it now is.
TEST_P(AreaEditor, ARowChangedOrRemovedByAnotherProgramIsReportedNotSaved) {
    database().exec(QStringLiteral("DELETE FROM AREA WHERE AREACODE = 1"));
    click("btEdit");
    type(1, QStringLiteral("新名字"));
    press(Qt::Key_Return);
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_TRUE(messages.messages()[0].text.contains(QStringLiteral("其他程序")));
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::IconStop);
    EXPECT_EQ(areas(), kStored.mid(1));
    EXPECT_EQ(table->rowCount(), 2) << "read afresh";
    EXPECT_EQ(table->state(), EditableTableModel::State::Browse);
    EXPECT_FALSE(grid->isEditMode());

    database().exec(QStringLiteral("UPDATE AREA SET AREACODE = 9 WHERE AREACODE = 2"));
    messages.clear();
    messages.answer(ui::IdYes);
    click("btDelete");
    ASSERT_EQ(messages.messages().size(), 2);
    EXPECT_TRUE(messages.messages()[1].text.contains(QStringLiteral("其他程序")));
    EXPECT_EQ(areas(), (QStringList{QStringLiteral("3|南洞口|12"), QStringLiteral("9|隧道段|10")}));
    EXPECT_EQ(table->rowCount(), 2);
}
