#include "devices/TfmDeviceMainage.h"

#include "data/DeviceStatements.h"
#include "data/DisplayTexts.h"
#include "data/OperationLog.h"
#include "devices/OpenFind.h"
#include "devices/RegisterTransfer.h"
#include "devices/TfmAddDevice.h"
#include "devices/TfmCmsConfig.h"
#include "devices/TfmConnectConfig.h"
#include "history/OpenOperLog.h"
#include "history/OpenTimeline.h"
#include "history/OpenTunnelView.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/GridView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace tunnel::devices {
namespace {

constexpr int kMessageSign = 12;

}  // namespace

TfmDeviceMainage::TfmDeviceMainage(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmDeviceMainage"), QStringLiteral("设备管理"), owner),
      context_(context),
      AdoSearchQuery(context.connectionString) {
    setClientSize(688, 453);
    AdoQuery.setConnectionString(context_.connectionString);

    Label1 = ui::label(this, QStringLiteral("设备类型"), 10, 12);
    Label1->setObjectName(QStringLiteral("Label1"));
    cbType = ui::dropDown(this, "cbType", 70, 8, 145);
    Button1 = ui::button(this, "Button1", QStringLiteral("查询(&Q)"), 600, 7);

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(0, 38, 688, 453 - 38 - 49);

    ui::bevelLine(this, 453 - 49);
    const int top = 453 - 49 + 12;
    btAdd = ui::button(this, "btAdd", QStringLiteral("增加(&A)"), 8, top);
    btEdit = ui::button(this, "btEdit", QStringLiteral("编辑(&E)"), 88, top);
    btDelete = ui::button(this, "btDelete", QStringLiteral("删除(&D)"), 168, top);
    btConnect = ui::button(this, "btConnect", QStringLiteral("连接配置(&N)"), 248, top, 90);
    btProperty = ui::button(this, "btProperty", QStringLiteral("属性设置(&P)"), 343, top, 90);
    btClose = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 605, top);
    ui::setTabOrder(
        {DBGrid1, btAdd, btEdit, btDelete, btConnect, btClose, cbType, Button1, btProperty});

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    AdoQuery.setColumns({
        {QStringLiteral("DEVICETYPE"), QStringLiteral("设备类型"), 120, left,
         [this](const QVariant& v) { return AdoQueryDEVICETYPEGetText(v); }},
        {QStringLiteral("DEVICECODE"), QStringLiteral("编号"), 40, left, {}},
        {QStringLiteral("POSITION"), QStringLiteral("位置"), 40, left,
         &data::codedText<data::PositionText>},
        {QStringLiteral("Stake"), QStringLiteral("桩号"), 60, left, {}},
        {QStringLiteral("STATUS"), QStringLiteral("状态"), 60, left,
         &data::codedText<data::StatusText>},
        {QStringLiteral("CYCLE"), QStringLiteral("周期"), 40, left, {}},
        {QStringLiteral("COMMTYPE"), QStringLiteral("连接类型"), 60, left,
         &data::codedText<data::CommTypeText>},
        {QStringLiteral("COMMDATA"), QStringLiteral("连接参数"), 180, left, {}},
        {QStringLiteral("PROTOCOL"), QStringLiteral("协议"), 60, left,
         &data::codedText<data::ProtocolText>},
        {QStringLiteral("VIDEO"), QStringLiteral("视频端口"), 60, left, {}},
        {QStringLiteral("PHYSICS"),
         QStringLiteral("物理编号"),
         20 * fontMetrics().averageCharWidth() + 8,
         left,
         {}},
        {QStringLiteral("BEGINPOS"), QStringLiteral("起始位置"), 60, left, {}},
        {QStringLiteral("ENDPOS"), QStringLiteral("终止位置"), 60, left, {}},
        {QStringLiteral("AREACODE"), QStringLiteral("所在区域"), 120, left,
         [this](const QVariant& v) { return AdoQueryAREACODEGetText(v); }},
        {QStringLiteral("SIDE"), QStringLiteral("洞内外"), 60, left,
         &data::codedText<data::SideText>},
    });
    AdoQuery.addCalculatedField(QStringLiteral("Stake"),
                                [this](const auto& field) { return AdoQueryCalcFields(field); });
    ui::bindReadOnlyGrid(*DBGrid1, AdoQuery, true, ui::RowMark::Indicator);
    list_ = std::make_unique<ui::ListBinding>(
        *DBGrid1, AdoQuery, QStringList{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
        QList<QWidget*>{btEdit, btDelete, btConnect});
    sort_ = std::make_unique<ui::TitleSort>(
        *DBGrid1, AdoQuery, QStringList{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
        [this] { list_->reloadInNewOrder(); });
    sort_->sortAs(QStringLiteral("Stake"), {QStringLiteral("MILIMETER"), QStringLiteral("METER")});
    ui::enableRowCopy(*DBGrid1, false);
    addFindEntry(*this, DBGrid1, context_, {},
                 [this](const QVariantList& key) { showFoundDevice(key); });
    const history::ChosenDevice chosen = [this]() -> std::optional<std::pair<int, int>> {
        const std::optional<DeviceKey> device = selectedDevice();
        if (!device) {
            return std::nullopt;
        }
        return std::pair{device->type, device->code};
    };
    history::addTimelineEntry(*this, *DBGrid1, context_, chosen);
    history::addTunnelViewEntry(*this, *DBGrid1, context_, chosen);
    history::addOperLogEntry(*this, *DBGrid1, context_,
                             history::chosenDeviceRow(*DBGrid1, AdoQuery));
    addRegisterEntries(
        *this, *DBGrid1, context_, [this] { return filteredType(); }, [this] { RefreshList(); });

    onClick(Button1, &TfmDeviceMainage::Button1Click);
    onClick(btAdd, &TfmDeviceMainage::btAddClick);
    onClick(btEdit, &TfmDeviceMainage::btEditClick);
    onClick(btDelete, &TfmDeviceMainage::btDeleteClick);
    onClick(btConnect, &TfmDeviceMainage::btConnectClick);
    onClick(btProperty, &TfmDeviceMainage::btPropertyClick);
    connect(btClose, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

QString TfmDeviceMainage::AdoQueryDEVICETYPEGetText(const QVariant& value) const {
    return GetTypeName(db::integerOf(value));
}

QString TfmDeviceMainage::AdoQueryAREACODEGetText(const QVariant& value) const {
    return GetAreaName(db::integerOf(value));
}

QVariant TfmDeviceMainage::AdoQueryCalcFields(const db::GridModel::FieldReader& field) const {
    return data::StakeText(field(QStringLiteral("MILIMETER")), field(QStringLiteral("METER")));
}

void TfmDeviceMainage::formShow() {
    data::readAreasAndTypes(AdoSearchQuery, AreaList, TypeList);
    cbType->clear();
    cbType->addItem(QStringLiteral("0-所有设备"));
    cbType->addItems(TypeList.codedItems());
    cbType->setCurrentIndex(0);
    RefreshList();
}

QString TfmDeviceMainage::listStatement() const {
    QString sql = QStringLiteral("select * from Device");
    if (!filter_.isEmpty()) {
        sql += QStringLiteral(" where ") + filter_;
    }
    return sql;
}

std::optional<int> TfmDeviceMainage::filteredType() const {
    if (filter_.isEmpty()) {
        return std::nullopt;
    }
    return filter_.section(u'=', 1).toInt();
}

void TfmDeviceMainage::RefreshList() {
    AdoQuery.setStatement(listStatement());
    list_->reload();
}

void TfmDeviceMainage::Button1Click() {
    const QString code = text::codeBeforeDash(cbType->currentText());
    filter_ = code == u"0" ? QString() : QStringLiteral("DEVICETYPE=") + code;
    RefreshList();
}

// The device of the chosen row, held by its key: what the list reads meanwhile cannot make an
// action act on another device.
std::optional<TfmDeviceMainage::DeviceKey> TfmDeviceMainage::selectedDevice() const {
    const std::optional<ui::ListBinding::Selection> selection = list_->selected();
    if (!selection) {
        return std::nullopt;
    }
    return DeviceKey{db::integerOf(selection->key.value(0)), db::integerOf(selection->key.value(1)),
                     *selection};
}

void TfmDeviceMainage::btAddClick() {
    const std::optional<ui::ListBinding::Selection> atStart = list_->selected();
    TfmAddDevice editor(ui::applicationWindow(), context_);
    if (ui::runModal(editor) == ui::mrOK) {
        // On the new device, so that the operator sees what was just added.
        AdoQuery.setStatement(listStatement());
        list_->reloadAfterAction({editor.writtenKey(), {}}, atStart);
    }
}

template <typename Window>
void TfmDeviceMainage::openForSelected() {
    const std::optional<DeviceKey> device = selectedDevice();
    if (!device) {
        return;
    }
    Window window(ui::applicationWindow(), context_);
    window.SetDevice(device->type, device->code);
    if (ui::runModal(window) == ui::mrOK) {
        // Back on the device, wherever the change moved it; on the row that now stands where
        // it stood when another program removed it.
        list_->reloadAfterAction(device->selection, device->selection);
    }
}

void TfmDeviceMainage::btEditClick() {
    openForSelected<TfmAddDevice>();
}

void TfmDeviceMainage::btConnectClick() {
    openForSelected<TfmConnectConfig>();
}

void TfmDeviceMainage::btPropertyClick() {
    const std::optional<DeviceKey> device = selectedDevice();
    if (!device) {
        return;
    }
    if (device->type == kMessageSign) {
        TfmCmsConfig window(nullptr, context_);
        window.DeviceCode = device->code;
        ui::runModal(window);
    }
}

void TfmDeviceMainage::btDeleteClick() {
    if (ui::messageBox(QStringLiteral("确定要删除此设备吗？"), QStringLiteral("警告"),
                       ui::mb::OkCancel | ui::mb::IconWarning) != ui::IdOk) {
        return;
    }
    const std::optional<DeviceKey> device = selectedDevice();
    if (!device) {
        return;
    }
    AdoSearchQuery.close();
    int deleted = 0;
    data::writeLogged(
        AdoSearchQuery.database(),
        data::deviceChange(data::funcCode::kDeviceList, QStringLiteral("删除"),
                           data::deviceWhere(device->type, device->code), {}),
        [&] {
            AdoSearchQuery.setSql(data::deleteDeviceStatement(device->type, device->code));
            deleted = AdoSearchQuery.execute();
            AdoSearchQuery.close();
            return deleted > 0;
        });
    // On the row that took the deleted one's place.
    AdoQuery.setStatement(listStatement());
    list_->reloadAfterAction(device->selection, device->selection);
    if (deleted == 0) {
        reportDeviceGone({device->type, device->code});
    }
}

// The device found becomes the current row, whatever type the list was filtered by: a filter
// that would hide it gives way to "0-所有设备".
void TfmDeviceMainage::showFoundDevice(const QVariantList& key) {
    const QString type = QString::number(db::integerOf(key.value(0)));
    if (!filter_.isEmpty() && filter_ != QStringLiteral("DEVICETYPE=") + type) {
        cbType->setCurrentIndex(0);
        filter_.clear();
    }
    AdoQuery.setStatement(listStatement());
    if (!list_->reloadOn({key, {}})) {
        reportDeviceGone(key);
    }
}

bool TfmDeviceMainage::formClose(int) {
    AreaList.clear();
    TypeList.clear();
    AdoQuery.close();
    AdoSearchQuery.close();
    return true;
}

}  // namespace tunnel::devices
