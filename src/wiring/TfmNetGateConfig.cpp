#include "wiring/TfmNetGateConfig.h"

#include "data/DisplayTexts.h"
#include "data/GatewayPorts.h"
#include "data/OccupancyMap.h"
#include "data/WiringStatements.h"
#include "data/WiringWrites.h"
#include "devices/OpenFind.h"
#include "history/OpenOperLog.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "wiring/TfmNgConnect.h"
#include "wiring/TfmOccupancyMap.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace tunnel::wiring {
namespace {

constexpr int kGatewayType = 24;
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

// The gateway list's fields in the order the query gives them (the stake is calculated), for
// the columns titled by their names; texts align left, numbers right, as stored fields do.
struct StoredField {
    const char* name;
    bool number;
};
constexpr StoredField kGatewayFields[] = {
    {"DEVICETYPE", true}, {"DEVICECODE", true}, {"POSITION", true}, {"MILIMETER", true},
    {"METER", true},      {"STATUS", true},     {"CYCLE", true},    {"COMMTYPE", true},
    {"COMMDATA", false},  {"AREACODE", true},   {"VIDEO", true},    {"PHYSICS", false},
    {"BEGINPOS", false},  {"ENDPOS", false},    {"SIDE", true},     {"Stake", false},
    {"PROTOCOL", true}};

}  // namespace

TfmNetGateConfig::TfmNetGateConfig(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmNetGateConfig"), QStringLiteral("网关连接配置"), owner),
      context_(context),
      AdoSearchQuery(context.connectionString) {
    setClientSize(688, 447);
    Label1 = ui::label(this, QStringLiteral("所在区域"), 8, 12);
    cbArea = ui::dropDown(this, "cbArea", 64, 8, 160);
    btQuery = ui::button(this, "btQuery", QStringLiteral("查询(&Q)"), 232, 7);
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(0, 38, 688, 190);
    Label2 = ui::label(this, QStringLiteral("连接信息"), 8, 234);
    DBGrid2 = new QTableView(this);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setGeometry(0, 252, 688, 447 - 49 - 252);
    ui::bevelLine(this, 447 - 49);
    const int top = 447 - 49 + 12;
    btConnect = ui::button(this, "btConnect", QStringLiteral("连接(&C)"), 8, top);
    btDisConnect = ui::button(this, "btDisConnect", QStringLiteral("断开(&D)"), 88, top);
    btClose = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 605, top);
    ui::setTabOrder({DBGrid1, btConnect, btDisConnect, btClose, cbArea, btQuery, DBGrid2});

    FormCreate();
    addGatewayColumns();
    addWiringColumns();
    ui::bindReadOnlyGrid(*DBGrid1, AdoQuery, true, ui::RowMark::Indicator);
    ui::bindReadOnlyGrid(*DBGrid2, ADOTable, true, ui::RowMark::Indicator);
    gateways_ = std::make_unique<ui::ListBinding>(
        *DBGrid1, AdoQuery, QStringList{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
        QList<QWidget*>{btConnect, btDisConnect});
    gatewaySort_ = std::make_unique<ui::TitleSort>(
        *DBGrid1, AdoQuery, QStringList{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")},
        [this] { gateways_->reloadInNewOrder(); });
    gatewaySort_->sortAs(QStringLiteral("Stake"),
                         {QStringLiteral("MILIMETER"), QStringLiteral("METER")});
    wiring_ = std::make_unique<ui::DetailBinding>(*DBGrid1, *DBGrid2, ADOTable,
                                                  [this](int row) { return wiringStatement(row); });
    // The wiring table has no key: every column makes its order total.
    wiringSort_ = std::make_unique<ui::TitleSort>(
        *DBGrid2, ADOTable,
        QStringList{QStringLiteral("NGTYPE"), QStringLiteral("NGCODE"), QStringLiteral("PORTTYPE"),
                    QStringLiteral("PORTCODE"), QStringLiteral("DEVICETYPE"),
                    QStringLiteral("DEVICECODE"), QStringLiteral("DEVICEPARAM"),
                    QStringLiteral("DESCRIPT")},
        [this] { wiring_->refresh(); });
    ui::enableRowCopy(*DBGrid1, true);
    ui::enableRowCopy(*DBGrid2, true);
    addTerminalMapEntries();
    data::DeviceSearch gateways;
    gateways.onlyType = kGatewayType;
    devices::addFindEntry(*this, DBGrid1, context_, gateways,
                          [this](const QVariantList& key) { showFoundGateway(key); });
    history::addOperLogEntry(*this, *DBGrid1, context_,
                             history::chosenDeviceRow(*DBGrid1, AdoQuery));

    onClick(btQuery, &TfmNetGateConfig::btQueryClick);
    onClick(btConnect, &TfmNetGateConfig::btConnectClick);
    onClick(btDisConnect, &TfmNetGateConfig::btDisConnectClick);
    connect(btClose, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

TfmNetGateConfig::~TfmNetGateConfig() = default;

void TfmNetGateConfig::FormCreate() {
    AdoQuery.setConnectionString(context_.connectionString);
    ADOTable.setConnectionString(context_.connectionString);
    dmPublicData = std::make_unique<data::TdmPublicData>(context_.connectionString);
}

void TfmNetGateConfig::addGatewayColumns() {
    const auto displayText =
        [this](const QString& field) -> std::function<QString(const QVariant&)> {
        if (field == u"DEVICETYPE") {
            return [this](const QVariant& v) { return AdoQueryDEVICETYPEGetText(v); };
        }
        if (field == u"AREACODE") {
            return [this](const QVariant& v) { return AdoQueryAREACODEGetText(v); };
        }
        static const QHash<QString, QString (*)(const QVariant&)> coded = {
            {QStringLiteral("POSITION"), &data::codedText<data::PositionText>},
            {QStringLiteral("STATUS"), &data::codedText<data::StatusText>},
            {QStringLiteral("COMMTYPE"), &data::codedText<data::GatewayListCommTypeText>},
            {QStringLiteral("PROTOCOL"), &data::codedText<data::ProtocolText>},
            {QStringLiteral("SIDE"), &data::codedText<data::SideText>}};
        if (const auto text = coded.value(field)) {
            return text;
        }
        return {};
    };
    const auto column = [&](const char* field, const char* title, int width, bool left) {
        const QString name = QString::fromLatin1(field);
        const bool number =
            std::find_if(std::begin(kGatewayFields), std::end(kGatewayFields),
                         [&](const StoredField& f) { return name == QLatin1String(f.name); })
                ->number;
        return db::GridColumn{name, title == nullptr ? name : QString::fromUtf8(title), width,
                              left || !number ? kLeft : kRight, displayText(name)};
    };
    QVector<db::GridColumn> columns = {
        column("AREACODE", "所在区域", 120, true), column("DEVICECODE", "编号", 40, true),
        column("POSITION", "位置", -1, false),     column("Stake", "桩号", 60, false),
        column("STATUS", "状态", 60, true),        column("CYCLE", "周期", 40, true),
        column("COMMTYPE", "连接类型", 60, true),  column("COMMDATA", "连接参数", 180, false),
        column("PROTOCOL", "协议", 60, true),      column("VIDEO", "视频端口", 60, true),
        column("PHYSICS", "物理编号", -1, false),  column("BEGINPOS", "起始位置", 60, false),
        column("ENDPOS", "终止位置", 60, false),   column("SIDE", "洞内外", 60, true)};
    for (const StoredField& field : kGatewayFields) {
        columns.append(column(field.name, nullptr, -1, false));
    }
    AdoQuery.setColumns(columns);
    AdoQuery.addCalculatedField(QStringLiteral("Stake"), [](const auto& field) -> QVariant {
        return data::StakeText(field(QStringLiteral("MILIMETER")), field(QStringLiteral("METER")));
    });
}

void TfmNetGateConfig::addWiringColumns() {
    ADOTable.setColumns({
        {QStringLiteral("PORTTYPE"), QStringLiteral("端子类型"), -1, kLeft,
         &data::codedText<data::PortTypeText>},
        {QStringLiteral("PORTCODE"), QStringLiteral("端子编号"), -1, kRight, {}},
        {QStringLiteral("DEVICETYPE"), QStringLiteral("连接设备类型"), 120, kLeft,
         [this](const QVariant& v) { return AdoQueryDEVICETYPEGetText(v); }},
        {QStringLiteral("DEVICECODE"), QStringLiteral("连接设备编号"), -1, kRight, {}},
        {QStringLiteral("DEVICEPARAM"), QStringLiteral("设备参数"), -1, kRight, {}},
        {QStringLiteral("DESCRIPT"), QStringLiteral("连接描述"), -1, kLeft, {}},
    });
}

// Reached without a control of its own: Ctrl+M anywhere in the window, and the grids' menus.
void TfmNetGateConfig::addTerminalMapEntries() {
    auto* map = new QAction(QStringLiteral("端子图(&M)..."), this);
    map->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    map->setShortcutContext(Qt::WindowShortcut);
    connect(map, &QAction::triggered, this, [this] { ui::guarded([this] { showTerminalMap(); }); });
    addAction(map);
    DBGrid1->addAction(map);
    DBGrid2->addAction(map);
}

QString TfmNetGateConfig::AdoQueryDEVICETYPEGetText(const QVariant& value) const {
    return dmPublicData ? dmPublicData->GetTypeName(db::integerOf(value)) : QString();
}

QString TfmNetGateConfig::AdoQueryAREACODEGetText(const QVariant& value) const {
    return dmPublicData ? dmPublicData->GetAreaName(db::integerOf(value)) : QString();
}

void TfmNetGateConfig::formShow() {
    dmPublicData->DataModuleCreate();
    cbArea->clear();
    cbArea->addItem(QStringLiteral("0-所有区域"), 0);
    for (int i = 0; i < dmPublicData->GetAreaCount(); ++i) {
        const data::TCodeName area = dmPublicData->GetAreaItem(i);
        cbArea->addItem(QString::number(area.Code) + u'-' + text::trimmed(area.Name), area.Code);
    }
    AdoSearchQuery.close();
    cbArea->setCurrentIndex(0);
    RefreshList();
}

// The gateway found becomes the current row; an area filter that would hide it gives way.
void TfmNetGateConfig::showFoundGateway(const QVariantList& key) {
    ADOTable.close();
    AdoQuery.setStatement(data::gatewayListStatement(areaFilter_));
    bool found = gateways_->reloadOn({key, {}});
    if (!found && areaFilter_) {
        cbArea->setCurrentIndex(0);
        areaFilter_.reset();
        AdoQuery.setStatement(data::gatewayListStatement(areaFilter_));
        found = gateways_->reloadOn({key, {}});
    }
    if (!found) {
        devices::reportDeviceGone(key);
    }
}

void TfmNetGateConfig::RefreshList() {
    ADOTable.close();
    AdoQuery.setStatement(data::gatewayListStatement(areaFilter_));
    gateways_->reload();
}

// The area's code is the one its item was made from, so that an area numbered below zero,
// whose item text starts with its minus sign, filters like any other; code 0 lists them all.
void TfmNetGateConfig::btQueryClick() {
    const int code = cbArea->currentData().toInt();
    areaFilter_ = code == 0 ? std::nullopt : std::optional<int>(code);
    RefreshList();
}

std::optional<int> TfmNetGateConfig::selectedGateway() const {
    const std::optional<ui::ListBinding::Selection> gateway = gateways_->selected();
    if (!gateway) {
        return std::nullopt;
    }
    return db::integerOf(gateway->key.value(1));
}

QString TfmNetGateConfig::wiringStatement(int gatewayRow) const {
    return data::gatewayWiringStatement(
        db::integerOf(AdoQuery.fieldValue(gatewayRow, QStringLiteral("DEVICETYPE"))),
        db::integerOf(AdoQuery.fieldValue(gatewayRow, QStringLiteral("DEVICECODE"))));
}

void TfmNetGateConfig::btConnectClick() {
    const std::optional<int> gateway = selectedGateway();
    if (!gateway) {
        return;
    }
    TfmNgConnect window(ui::applicationWindow(), context_);
    window.SetGateway(*gateway);
    if (ui::runModal(window) == ui::mrOK) {
        RefreshList();
    }
}

void TfmNetGateConfig::btDisConnectClick() {
    if (ADOTable.isEmpty()) {
        return;
    }
    const int row = std::max(DBGrid2->currentIndex().row(), 0);
    const int deviceType = db::integerOf(ADOTable.fieldValue(row, QStringLiteral("DEVICETYPE")));
    const int deviceCode = db::integerOf(ADOTable.fieldValue(row, QStringLiteral("DEVICECODE")));
    const QString question = QStringLiteral("确实断开 ") +
                             text::trimmed(dmPublicData->GetTypeName(deviceType)) + u'(' +
                             QString::number(deviceCode) + QStringLiteral(")  设备吗?");
    if (ui::messageBox(question, QStringLiteral("提示"),
                       ui::mb::YesNoCancel | ui::mb::IconQuestion) != ui::IdYes) {
        return;
    }
    const std::optional<int> gateway = selectedGateway();
    if (!gateway) {
        return;
    }
    AdoSearchQuery.close();
    data::removeDeviceWiring(AdoSearchQuery.database(), *gateway, deviceType, deviceCode);
    RefreshList();
}

void TfmNetGateConfig::showTerminalMap() {
    const std::optional<int> gateway = selectedGateway();
    if (!gateway) {
        return;
    }
    const data::OccupancyMap map = data::readGatewayTerminalMap(AdoSearchQuery, *gateway);
    TfmOccupancyMap window(ui::applicationWindow(),
                           QStringLiteral("端子图 - 网关 %1").arg(*gateway), map,
                           [this](int type) { return dmPublicData->GetTypeName(type); });
    ui::runModal(window);
}

bool TfmNetGateConfig::formClose(int) {
    dmPublicData.reset();
    ADOTable.close();
    AdoQuery.close();
    AdoSearchQuery.close();
    return true;
}

}  // namespace tunnel::wiring
