#include "wiring/PlcMappingWindow.h"

#include "data/CodeName.h"
#include "data/LoggedTransaction.h"
#include "data/OperationLog.h"
#include "devices/OpenFind.h"
#include "history/OpenOperLog.h"
#include "platform/db/DbError.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "wiring/TfmOccupancyMap.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <exception>

namespace tunnel::wiring {
namespace {

constexpr int kFirstRow = 420;
constexpr int kSecondRow = 455;

const QStringList kGridFields = {QStringLiteral("PLCCODE"),      QStringLiteral("RegisterTYPE"),
                                 QStringLiteral("RegisterCODE"), QStringLiteral("RegisterBIT"),
                                 QStringLiteral("TYPENAME"),     QStringLiteral("DEVICECODE"),
                                 QStringLiteral("DESCRIPT")};

QComboBox* labelledList(QWidget* window, const char* name, const QString& label, int left, int top,
                        int labelWidth, int width) {
    ui::label(window, label, left, top + 4);
    return ui::dropDown(window, name, left + labelWidth, top, width);
}

}  // namespace

PlcMappingWindow::PlcMappingWindow(QWidget* owner, const data::ModuleContext& context,
                                   const PlcWording& wording)
    : Form(QString::fromLatin1(wording.objectName), wording.caption, owner),
      ADOQuery(context.connectionString),
      ownConnection_(context.connectionString),
      funcCode_(wording.funcCode) {
    setClientSize(718, 489);
    ADOQueryPLC.setConnectionString(context.connectionString);
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(0, 0, 718, 409);
    const QStringList& l = wording.labels;
    cbCode = labelledList(this, "cbCode", l[0], 8, kFirstRow, 56, 80);
    cbRType = labelledList(this, "cbRType", l[1], 152, kFirstRow, 68, 84);
    cbRCode = labelledList(this, "cbRCode", l[2], 312, kFirstRow, 56, 64);
    cbRBit = labelledList(this, "cbRBit", l[3], 440, kFirstRow, 56, 64);
    cbDeviceType = labelledList(this, "cbDeviceType", l[4], 8, kSecondRow, 56, 168);
    cbDeviceCode = labelledList(this, "cbDeviceCode", l[5], 240, kSecondRow, 56, 72);
    cbDeviceParam = labelledList(this, "cbDeviceParam", l[6], 376, kSecondRow, 56, 180);
    btDelete = ui::button(this, "btDelete", QStringLiteral("删除(&D)"), 632, kFirstRow);
    btConnect = ui::button(this, "btConnect", QStringLiteral("连接(&C)"), 632, kSecondRow);
    ui::setTabOrder({DBGrid1, cbCode, cbRType, cbRCode, cbRBit, cbDeviceType, cbDeviceCode,
                     cbDeviceParam, btConnect, btDelete});

    QVector<db::GridColumn> columns;
    for (int i = 0; i < kGridFields.size(); ++i) {
        const bool text = i == 1 || i == 4 || i == 6;
        columns.append({kGridFields[i],
                        wording.gridTitles[i],
                        wording.gridWidths[i],
                        text ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter,
                        {}});
    }
    ADOQueryPLC.setColumns(columns);
    ADOQueryPLC.setStatement(data::plcGridStatement(wording.gridWords).join(u'\n'));
    ui::bindReadOnlyGrid(*DBGrid1, ADOQueryPLC, true);
    DBGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // The table's key is shown as a text for its register type, so every column orders it.
    sort_ = std::make_unique<ui::TitleSort>(*DBGrid1, ADOQueryPLC, kGridFields,
                                            [this] { refreshGrid(); });
    ui::enableRowCopy(*DBGrid1, false);
    data::DeviceSearch reachedByPlc;
    reachedByPlc.reachedByPlc = true;
    // The Omron window then puts the window's own menu back on the grid: Ctrl+F stays.
    devices::addFindEntry(*this, DBGrid1, context, reachedByPlc,
                          [this](const QVariantList& key) { showFoundDevice(key); });
    history::addOperLogEntry(*this, *DBGrid1, context, [this] { return chosenMappingLog(); });

    registerMap_ = new QAction(QStringLiteral("位图(&M)..."), this);
    registerMap_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    registerMap_->setShortcutContext(Qt::WindowShortcut);
    connect(registerMap_, &QAction::triggered, this,
            [this] { ui::guarded([this] { showRegisterMap(); }); });
    addAction(registerMap_);

    runOnPick(cbRType, &PlcMappingWindow::cbRTypeChange);
    runOnPick(cbDeviceType, &PlcMappingWindow::cbDeviceTypeChange);
    onClick(btConnect, &PlcMappingWindow::btConnectClick);
    onClick(btDelete, &PlcMappingWindow::btDeleteClick);
}

PlcMappingWindow::~PlcMappingWindow() = default;

// A handler runs when the user picks an item, never when the window selects one itself.
void PlcMappingWindow::runOnPick(QComboBox* list, void (PlcMappingWindow::*handler)()) {
    connect(list, &QComboBox::activated, this,
            [this, handler] { ui::guarded([&] { (this->*handler)(); }); });
}

QString PlcMappingWindow::GetItemCode(const QString& item) {
    return text::codeBeforeDash(item);
}

void PlcMappingWindow::formShow() {
    refreshGrid();
    fillList(*cbCode, data::plcListStatement(), [](const db::Query& row) {
        return text::trimmed(row.text(QStringLiteral("deviceCode")));
    });
    fillList(*cbDeviceType, data::plcDeviceTypesStatement(), [](const db::Query& row) {
        return row.text(QStringLiteral("TypeCode")) + u'-' + row.text(QStringLiteral("TYPENAME"));
    });
    for (QComboBox* list : {cbRType, cbRCode, cbRBit}) {
        list->setCurrentIndex(-1);
    }
}

void PlcMappingWindow::fillList(QComboBox& list, const QString& sql, const ItemText& item) {
    list.clear();
    ADOQuery.close();
    ADOQuery.setSql(sql);
    ADOQuery.open();
    for (; !ADOQuery.eof(); ADOQuery.next()) {
        list.addItem(item(ADOQuery));
    }
    ADOQuery.close();
    list.setCurrentIndex(-1);
}

QStringList PlcMappingWindow::numberItems(int count) {
    QStringList items;
    for (int i = 0; i < count; ++i) {
        items.append(QString::number(i));
    }
    return items;
}

void PlcMappingWindow::refreshGrid() {
    ADOQueryPLC.reload();
    if (!ADOQueryPLC.isEmpty()) {
        DBGrid1->setCurrentIndex(ADOQueryPLC.index(0, 0));
    }
}

void PlcMappingWindow::clearDeviceSelections() {
    for (QComboBox* list : {cbDeviceType, cbDeviceCode, cbDeviceParam}) {
        list->setCurrentIndex(-1);
    }
}

void PlcMappingWindow::cbRTypeChange() {
    clearDeviceSelections();
}

void PlcMappingWindow::cbDeviceTypeChange() {
    const QString code = GetItemCode(cbDeviceType->currentText());
    fillList(*cbDeviceCode, data::plcDevicesStatement(code, offersOnlyDevicesReachedByPlc()),
             [](const db::Query& row) { return row.text(QStringLiteral("devicecode")); });
    fillList(
        *cbDeviceParam, data::plcParamsStatement(code, registerTypeCode(cbRType->currentText())),
        [](const db::Query& row) {
            return row.text(QStringLiteral("param")) + u'-' + row.text(QStringLiteral("descript"));
        });
}

bool PlcMappingWindow::selectionsComplete() const {
    for (const QComboBox* list :
         {cbCode, cbRType, cbRCode, cbRBit, cbDeviceType, cbDeviceCode, cbDeviceParam}) {
        if (list->currentText().isEmpty()) {
            return false;
        }
    }
    return true;
}

// An incomplete choice would make a statement with nothing between its commas: it is refused
// before anything is sent.
void PlcMappingWindow::btConnectClick() {
    if (!selectionsComplete()) {
        ui::showMessage(QStringLiteral("参数不完整,请选择连接参数!"));
        return;
    }
    const data::PlcMapping mapping{cbCode->currentText(),
                                   registerTypeCode(cbRType->currentText()),
                                   cbRCode->currentText(),
                                   cbRBit->currentText(),
                                   GetItemCode(cbDeviceType->currentText()),
                                   cbDeviceCode->currentText(),
                                   GetItemCode(cbDeviceParam->currentText()),
                                   cbDeviceParam->currentText()};
    ADOQuery.close();
    std::exception_ptr failure;
    bool duplicate = false;
    try {
        duplicate = !storeMapping(mapping);
    } catch (const db::DbError&) {
        // A fresh connection for the next try: this one may be what failed.
        ownConnection_.release();
        failure = std::current_exception();
    }
    if (duplicate) {
        ui::messageBox(QStringLiteral("配置重复!"), ui::applicationTitle(), ui::mb::Ok);
    }
    // Read again whatever happened: the grid and the free bits show what is stored. After a
    // failure the user's choice stays for another try, where its bit is still free.
    const QString bit = cbRBit->currentText();
    refreshGrid();
    afterConnect();
    if (failure) {
        cbRBit->setCurrentIndex(cbRBit->findText(bit));
        std::rethrow_exception(failure);
    }
}

// The mapping and what the window marks with it are stored together or not at all, on the
// window's own connection (a transaction on the shared one would take in other windows'
// statements). False for a mapping that is there already.
bool PlcMappingWindow::storeMapping(const data::PlcMapping& mapping) {
    db::Database& connection = ownConnection_.get();
    data::LoggedTransaction transaction(connection);
    db::Query query(connection);
    query.setSql(data::insertPlcMappingStatement(mapping));
    try {
        query.execute();
    } catch (const db::DbError& error) {
        if (!error.isUniqueViolation()) {
            throw;
        }
        return false;
    }
    afterInsert(query);
    query.close();
    transaction.logRow(
        data::plcMappingChange(funcCode_, QStringLiteral("映射"), {},
                               data::plcMappingWhere(mapping.plc, mapping.registerType,
                                                     mapping.registerCode, mapping.registerBit)),
        {});
    transaction.commit();
    return true;
}

// The chosen mapping as the log keys it; none without a row or with a register type this window
// cannot name.
std::optional<history::OperLogStart> PlcMappingWindow::chosenMappingLog() const {
    const int row = DBGrid1->currentIndex().row();
    if (row < 0 || ADOQueryPLC.isEmpty()) {
        return std::nullopt;
    }
    const auto field = [&](const QString& name) { return ADOQueryPLC.fieldValue(row, name); };
    const std::optional<int> type =
        shownRegisterType(text::trimmed(field(QStringLiteral("RegisterTYPE")).toString()));
    if (!type) {
        return std::nullopt;
    }
    return history::OperLogStart{
        QStringLiteral("PLCCONFIG"),
        data::keyText(
            {QStringLiteral("PLCCODE"), QStringLiteral("RegisterTYPE"),
             QStringLiteral("RegisterCODE"), QStringLiteral("RegisterBIT")},
            {field(QStringLiteral("PLCCODE")), *type, field(QStringLiteral("RegisterCODE")),
             field(QStringLiteral("RegisterBIT"))})};
}

void PlcMappingWindow::btDeleteClick() {
    const int row = DBGrid1->currentIndex().row();
    const auto field = [&](const QString& name) {
        return row < 0 || ADOQueryPLC.isEmpty()
                   ? QString()
                   : text::trimmed(ADOQueryPLC.fieldValue(row, name).toString());
    };
    const QString plc = field(QStringLiteral("PLCCODE"));
    const QString registerCode = field(QStringLiteral("RegisterCODE"));
    const QString bit = field(QStringLiteral("RegisterBIT"));
    if (plc.isEmpty()) {
        afterDelete(plc, 0, registerCode);
        return;
    }
    const std::optional<int> type = shownRegisterType(field(QStringLiteral("RegisterTYPE")));
    if (!type) {
        // Keyed by a type this window cannot name, the delete would remove another mapping
        // of the same PLC, register and bit.
        ui::messageBox(QStringLiteral("这条配置的寄存器类型不是本窗口能识别的类型，"
                                      "为免误删同一位置的其他配置，不能在此删除。"),
                       QStringLiteral("提示"), ui::mb::Ok | ui::mb::IconWarning);
        return;
    }
    ADOQuery.close();
    data::writeLogged(
        ADOQuery.database(),
        data::plcMappingChange(funcCode_, QStringLiteral("删除"),
                               data::plcMappingWhere(plc, *type, registerCode, bit), {}),
        [&] {
            ADOQuery.setSql(data::deletePlcMappingStatement(plc, *type, registerCode, bit));
            ADOQuery.execute();
            ADOQuery.close();
            return true;
        });
    refreshGrid();
    afterDelete(plc, *type, registerCode);
}

// The device found: its first mapping becomes the current row of the grid.
void PlcMappingWindow::showFoundDevice(const QVariantList& key) {
    // The grid names the type, as stored in its catalogue, not its code.
    ADOQuery.close();
    ADOQuery.setSql(QStringLiteral("select TYPENAME from DEVICETYPE where TYPECODE=%1")
                        .arg(key.value(0).toInt()));
    ADOQuery.open();
    const QVariant typeName =
        ADOQuery.isEmpty() ? QVariant() : ADOQuery.value(QStringLiteral("TYPENAME"));
    ADOQuery.close();
    const int row = ADOQueryPLC.findRow({QStringLiteral("TYPENAME"), QStringLiteral("DEVICECODE")},
                                        {typeName, key.value(1)});
    if (row < 0) {
        ui::showMessage(QStringLiteral("设备 %1-%2 还没有PLC映射。")
                            .arg(key.value(0).toInt())
                            .arg(key.value(1).toInt()));
        return;
    }
    DBGrid1->setCurrentIndex(ADOQueryPLC.index(row, 0));
    DBGrid1->scrollTo(DBGrid1->currentIndex());
}

std::optional<int> PlcMappingWindow::mapPlc() const {
    bool number = false;
    int plc = cbCode->currentText().toInt(&number);
    if (number) {
        return plc;
    }
    const int row = DBGrid1->currentIndex().row();
    if (row < 0 || ADOQueryPLC.isEmpty()) {
        return std::nullopt;
    }
    plc = ADOQueryPLC.fieldValue(row, QStringLiteral("PLCCODE")).toInt(&number);
    return number ? std::optional<int>(plc) : std::nullopt;
}

void PlcMappingWindow::showRegisterMap() {
    const std::optional<int> plc = mapPlc();
    if (!plc) {
        return;
    }
    data::CodeNameList types;
    data::readTypes(ADOQuery, types);
    const data::OccupancyMap map =
        data::readPlcRegisterMap(ADOQuery, *plc, registerRows(), bitsPerRegister());
    TfmOccupancyMap window(ui::applicationWindow(), QStringLiteral("位图 - PLC %1").arg(*plc), map,
                           [&types](int type) { return types.nameOf(type); });
    ui::runModal(window);
}

bool PlcMappingWindow::formClose(int) {
    ADOQuery.close();
    ADOQueryPLC.close();
    return true;
}

}  // namespace tunnel::wiring
