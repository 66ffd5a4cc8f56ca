#include "history/TfmArea.h"

#include "data/OperationLog.h"

#include "platform/db/DbError.h"
#include "platform/ui/Controls.h"
#include "platform/ui/EditGrid.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>

namespace tunnel::history {

TfmArea::TfmArea(QWidget* owner, data::ModuleContext context)
    : Form(QStringLiteral("fmArea"), QStringLiteral("系统区域管理"), owner),
      context_(std::move(context)) {
    setClientSize(446, 309);
    Label1 = new QLabel(QStringLiteral("系统区域列表"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(10, 6, 200, 16);

    DBGrid1 = new ui::EditGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(10, 24, 426, 225);
    DBGrid1->setModel(&ADOTable1);

    ui::bevelLine(this, 309 - 49);

    const int top = 309 - 49 + 12;
    btAdd = ui::button(this, "btAdd", QStringLiteral("增加(&A)"), 110, top);
    btEdit = ui::button(this, "btEdit", QStringLiteral("修改(&E)"), 193, top);
    btDelete = ui::button(this, "btDelete", QStringLiteral("删除(&D)"), 276, top);
    btClose = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 359, top);
    setTabOrder(DBGrid1, btAdd);
    setTabOrder(btAdd, btDelete);
    setTabOrder(btDelete, btClose);
    setTabOrder(btClose, btEdit);

    onClick(btAdd, &TfmArea::btAddClick);
    onClick(btEdit, &TfmArea::btEditClick);
    onClick(btDelete, &TfmArea::btDeleteClick);
    onClick(btClose, &TfmArea::btCloseClick);

    connect(&ADOTable1, &db::EditableTableModel::afterPost, this, &TfmArea::ADOTable1AfterPost);
    connect(&ADOTable1, &db::EditableTableModel::afterCancel, this, &TfmArea::ADOTable1AfterPost);
    connect(&ADOTable1, &db::EditableTableModel::postError, this, &TfmArea::ADOTable1PostError);
    connect(&ADOTable1, &db::EditableTableModel::busy, this,
            [](const db::DbError& error) { ui::reportError(error.message(), error.statement()); });
    connect(&ADOTable1, &db::EditableTableModel::rowGone, this, [this](const QString& message) {
        DBGrid1->setEditMode(false);
        ui::reportError(message);
    });
    connect(&ADOTable1, &db::EditableTableModel::currentRowChanged, this,
            &TfmArea::tableRowChanged);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { gridRowChanged(current.row()); });
    connect(DBGrid1, &ui::EditGrid::confirmRequested, this, &TfmArea::gridConfirmed);
    connect(DBGrid1, &ui::EditGrid::cancelRequested, this, &TfmArea::gridCancelled);
    connect(DBGrid1, &ui::EditGrid::leftGrid, this, &TfmArea::gridLeft);
}

void TfmArea::formShow() {
    ADOTable1.setConnectionString(context_.connectionString);
    ADOTable1.setTable(QStringLiteral("AREA"));
    ADOTable1.setKeyFields({QStringLiteral("AREACODE")});
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const QVector<db::GridColumn> columns = {
        {QStringLiteral("AREACODE"), QStringLiteral("编号"), 40, left, {}},
        {QStringLiteral("AREANAME"), QStringLiteral("区域名称"), 165, left, {}},
        {QStringLiteral("FROMMETER"), QStringLiteral("起始公里"), 50, right, {}},
        {QStringLiteral("FROMMILI"), QStringLiteral("起始米"), 40, right, {}},
        {QStringLiteral("TOMETER"), QStringLiteral("终止公里"), 50, right, {}},
        {QStringLiteral("TOMILI"), QStringLiteral("终止米"), 40, right, {}},
    };
    ADOTable1.setColumns(columns);
    // Logged under the table's own names (PostgreSQL hands them back in lower case).
    ADOTable1.setWriteWitness([](db::Database& db, const QStringList& fields,
                                 const QVariantList& before, const QVariantList& after) {
        QStringList names;
        for (const QString& field : fields) {
            names.append(field.toUpper());
        }
        data::logTableRow(db, data::funcCode::kAreas, QStringLiteral("AREA"), names,
                          {QStringLiteral("AREACODE")}, before, after);
    });
    for (int i = 0; i < columns.size(); ++i) {
        DBGrid1->setColumnWidth(i, columns[i].width);
    }
    ADOTable1.open();
}

bool TfmArea::formClose(int) {
    if (ADOTable1.state() == db::EditableTableModel::State::Edit ||
        ADOTable1.state() == db::EditableTableModel::State::Insert) {
        ADOTable1.cancel();
    }
    ADOTable1.close();
    return true;
}

void TfmArea::btAddClick() {
    DBGrid1->setEditMode(true);
    ADOTable1.append();
    DBGrid1->setFocus();
    DBGrid1->editCurrentCell();
}

void TfmArea::btEditClick() {
    DBGrid1->setEditMode(true);
    ADOTable1.edit();
    DBGrid1->setFocus();
    DBGrid1->editCurrentCell();
}

void TfmArea::btDeleteClick() {
    // Pressing the button takes the focus from the grid, which drops an untouched new row.
    gridLeft();
    if (ui::messageBox(QStringLiteral("确实删除该选中区域吗?"), QStringLiteral("提示"),
                       ui::mb::YesNoCancel | ui::mb::IconWarning) != ui::IdYes) {
        return;
    }
    DBGrid1->setEditMode(false);
    ADOTable1.deleteCurrent();
}

void TfmArea::btCloseClick() {
    done(ui::mrCancel);
}

void TfmArea::ADOTable1AfterPost() {
    DBGrid1->setEditMode(false);
}

void TfmArea::ADOTable1PostError(const QString&) {
    // The action is abort: this message is the only report of the refusal.
    ui::messageBox(QStringLiteral("输入的错误有错误，请检查"), QStringLiteral("错误"),
                   ui::mb::IconStop);
}

void TfmArea::gridRowChanged(int row) {
    if (syncing_ || row < 0 || row == ADOTable1.currentRow()) {
        return;
    }
    if (!ADOTable1.setCurrentRow(row)) {
        tableRowChanged(ADOTable1.currentRow());  // the pending row was refused: stay on it
        DBGrid1->editCurrentCell();
    }
}

void TfmArea::tableRowChanged(int row) {
    const QScopedValueRollback guard(syncing_, true);
    const int column = std::max(DBGrid1->currentIndex().column(), 0);
    DBGrid1->setCurrentIndex(row < 0 ? QModelIndex() : ADOTable1.index(row, column));
}

void TfmArea::gridConfirmed() {
    ui::guarded([this] {
        if (ADOTable1.post())
            return;
        DBGrid1->editCurrentCell();
    });
}

void TfmArea::gridCancelled() {
    ui::guarded([this] { ADOTable1.cancel(); });
}

void TfmArea::gridLeft() {
    if (ADOTable1.state() == db::EditableTableModel::State::Insert && !ADOTable1.isModified()) {
        ADOTable1.cancel();
    }
}

}  // namespace tunnel::history
