#include "history/TfmTunnelView.h"

#include "data/CodeName.h"
#include "data/DeviceKey.h"
#include "data/DeviceSearch.h"
#include "data/DisplayTexts.h"
#include "data/SearchIndex.h"
#include "devices/TfmAddDevice.h"
#include "devices/TfmConnectConfig.h"
#include "history/OpenOperLog.h"
#include "history/TfmDeviceTimeline.h"
#include "history/TunnelStrip.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/ValueText.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"

#include <QComboBox>
#include <QDate>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>

#include <algorithm>

namespace tunnel::history {
namespace {

constexpr int kListed = 200;           // events the live list holds
constexpr int kLookEveryMs = 1000;     // what other programs write shows within two seconds
constexpr int kLatestRowsLookMs = 20;  // the latest rows shown as soon as they come

}  // namespace

TfmTunnelView::TfmTunnelView(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmTunnelView"), QStringLiteral("隧道设备总览"), owner),
      context_(context) {
    setClientSize(1000, 600);
    ui::label(this, QStringLiteral("设备类型"), 8, 12);
    cbType = ui::dropDown(this, "cbType", 64, 8, 160);
    ui::label(this, QStringLiteral("查找"), 240, 12);
    edSearch = ui::editBox(this, "edSearch", 272, 8, 200);
    edSearch->setPlaceholderText(QStringLiteral("编号、物理编号、连接参数或桩号"));
    btFind = ui::button(this, "btFind", QStringLiteral("查找(&F)"), 480, 6);
    btExport = ui::button(this, "btExport", QStringLiteral("导出图片(&P)..."), 800, 6, 100);
    btClose = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 912, 6);
    pbTunnel = new TunnelStrip(this);
    lCounts = ui::label(this, QString(), 566, 12, 400);
    lCounts->setObjectName(QStringLiteral("lCounts"));
    lWrong = ui::label(this, QStringLiteral("当前异常"), 716, 40);
    lbWrong = ui::listBox(this, "lbWrong", 716, 58, 276, 100);
    lEvents = ui::label(this, QStringLiteral("最新变化"), 716, 40);
    lbEvents = ui::listBox(this, "lbEvents", 716, 58, 276, 340);
    lUnplaced = ui::label(this, QStringLiteral("无桩号或桩号无效的设备"), 716, 404);
    lbUnplaced = ui::listBox(this, "lbUnplaced", 716, 422, 276, 98);
    lStatus = ui::label(this, QString(), 8, 530, 984);
    lStatus->setObjectName(QStringLiteral("lStatus"));
    // Kept open beside the host's windows, on a wall display too: any size down to half a
    // small screen at twice the scale, full screen with F11.
    allowResizing(QSize(580, 340));
    layOut();
    timer_ = new QTimer(this);
    timer_->setInterval(kLookEveryMs);
    connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    latestTimer_ = new QTimer(this);
    latestTimer_->setInterval(kLatestRowsLookMs);
    connect(latestTimer_, &QTimer::timeout, this, [this] { takeLatestRowsWhenRead(); });
    onClick(btFind, &TfmTunnelView::btFindClick);
    onClick(btExport, &TfmTunnelView::btExportClick);
    connect(btClose, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
    connect(edSearch, &QLineEdit::returnPressed, this,
            [this] { ui::guarded([&] { btFindClick(); }); });
    connect(cbType, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QVariant type = cbType->itemData(index);
        pbTunnel->setTypeFilter(type.isValid() ? std::optional<int>(type.toInt()) : std::nullopt);
    });
    connect(pbTunnel, &TunnelStrip::deviceOpened, this,
            [this](int device) { ui::guarded([&] { openTimeline(device); }); });
    connect(pbTunnel, &TunnelStrip::deviceMenuAsked, this,
            [this](int device, const QPoint& at) { showDeviceMenu(device, at); });
    connect(lbEvents, &QListWidget::currentRowChanged, this,
            [this](int row) { centreOnListed(*lbEvents, row); });
    connect(lbWrong, &QListWidget::currentRowChanged, this,
            [this](int row) { centreOnListed(*lbWrong, row); });
}

TfmTunnelView::TfmTunnelView(QWidget* owner, const data::ModuleContext& context, int deviceType,
                             int deviceCode)
    : TfmTunnelView(owner, context) {
    centreOn_ = std::pair{deviceType, deviceCode};
}

TfmTunnelView::~TfmTunnelView() = default;

// The picture takes what the lists and the bottom row leave; the lists keep their width (a
// third of a narrow window), the change list two thirds of their height; the status line and
// the buttons share the bottom row.
void TfmTunnelView::layOut() {
    constexpr int kMargin = 8;
    constexpr int kCountsWidth = 240;
    const int w = width();
    const int h = height();
    // The counts beside the search where the row holds them, else on a row of their own.
    const int countsLeft = btFind->geometry().right() + 2 * kMargin;
    const bool countsBeside = w - kMargin - countsLeft >= kCountsWidth;
    lCounts->setGeometry(countsBeside ? countsLeft : kMargin, countsBeside ? 12 : 40,
                         countsBeside ? w - kMargin - countsLeft : w - 2 * kMargin,
                         lCounts->height());
    const int bodyTop = countsBeside ? 40 : 62;
    const int bottom = h - kMargin - btClose->height();
    btClose->move(w - kMargin - btClose->width(), bottom);
    btExport->move(btClose->x() - kMargin - btExport->width(), bottom);
    lStatus->setGeometry(kMargin, bottom, btExport->x() - 2 * kMargin, btClose->height());
    const int side = std::min(276, (w - 3 * kMargin) / 3);
    const int sideX = w - kMargin - side;
    const int body = bottom - kMargin - bodyTop;
    pbTunnel->setGeometry(kMargin, bodyTop, sideX - 2 * kMargin, body);
    const int labelHeight = 18;
    // What is wrong now a third of the column, the latest changes a third and more, the devices
    // without a stake the rest.
    const int lists = body - 3 * labelHeight - 2 * kMargin;
    const auto place = [&](QLabel* label, QListWidget* list, int top, int height) {
        label->setGeometry(sideX, top, side, labelHeight);
        list->setGeometry(sideX, top + labelHeight, side, height);
        return top + labelHeight + height + kMargin;
    };
    int top = place(lWrong, lbWrong, bodyTop, lists / 3);
    top = place(lEvents, lbEvents, top, lists * 4 / 9);
    place(lUnplaced, lbUnplaced, top, bodyTop + body - top - labelHeight);
}

void TfmTunnelView::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    layOut();
}

void TfmTunnelView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier) {
        if (isFullScreen()) {
            showNormal();
        } else {
            showFullScreen();
        }
        return;
    }
    Form::keyPressEvent(event);
}

void TfmTunnelView::formShow() {
    const QString reads = db::standbyReads(context_.connectionString);
    // The latest rows' sessions open beside the window's own: a first open waits for one
    // session's start, not two after each other.
    latest_ = std::make_unique<data::LatestRowsReading>(reads);
    db_ = db::Database::open(reads);
    feed_ = std::make_unique<data::TunnelFeed>(*db_);
    readAll();
    timer_->start();
    pbTunnel->setFocus();
}

// The register is shown at once in the states it records; each device's latest rows follow
// from a read of their own, the window answering meanwhile.
void TfmTunnelView::readAll() {
    data::TunnelCatalogues catalogues = feed_->readCatalogues();
    fillTypes(catalogues.types);
    takeDevices(feed_->readRegister());
    latestTimer_->start();
    pbTunnel->setTunnel(&devices_, std::move(catalogues.areas));
    pbTunnel->setTypeNames(typeNames_);
    showWhatIsWrong();
    listUnplaced();
    lbEvents->clear();
    for (const data::TunnelEvent& event : feed_->readNewest(kListed)) {
        listEvent(event, false);
    }
    sayHowMany();
    if (centreOn_) {
        if (const std::optional<int> device = indexOf(centreOn_->first, centreOn_->second)) {
            pbTunnel->centreOn(*device);
        }
    }
}

void TfmTunnelView::takeDevices(QVector<data::TunnelDevice> devices) {
    devices_ = std::move(devices);
    indexes_.clear();
    for (qsizetype i = 0; i < devices_.size(); ++i) {
        indexes_.insert(data::deviceKey(devices_[i].type, devices_[i].code), static_cast<int>(i));
    }
}

void TfmTunnelView::listUnplaced() {
    lbUnplaced->clear();
    for (const int index : pbTunnel->layout().unplaced) {
        lbUnplaced->addItem(deviceText(devices_[index].type, devices_[index].code));
    }
}

// Another station added, moved or edited devices: the register is read again, the view and the
// chosen device kept.
void TfmTunnelView::readRegisterAgain() {
    std::optional<qint64> chosen;
    if (const std::optional<int> selected = pbTunnel->selected()) {
        chosen = data::deviceKey(devices_[*selected].type, devices_[*selected].code);
    }
    QVector<data::TunnelDevice> devices = feed_->readRegister();
    data::takeLatestRows(devices, devices_);
    takeDevices(std::move(devices));
    const auto found = chosen ? indexes_.find(*chosen) : indexes_.end();
    pbTunnel->devicesChanged(found == indexes_.end() ? std::nullopt
                                                     : std::optional<int>(found.value()));
    showWhatIsWrong();
    listUnplaced();
    sayHowMany();
}

void TfmTunnelView::takeLatestRowsWhenRead() {
    if (!latest_ || !latest_->ready()) {
        return;
    }
    latestTimer_->stop();
    try {
        data::takeLatestRows(devices_, latest_->take());
        latest_.reset();
        showDevices();
        sayHowMany();
    } catch (const db::DbError& error) {
        latest_.reset();
        lStatus->setText(QStringLiteral("设备的最新状态没有读出，图中是设备表记录的状态（%1）")
                             .arg(error.message()));
    }
}

void TfmTunnelView::showDevices() {
    pbTunnel->refresh();
    showWhatIsWrong();
}

// Worst first, each line naming the device, its stake and what is wrong in words; a click
// centres the picture on it. The counts stand at the top.
void TfmTunnelView::showWhatIsWrong() {
    constexpr int kWrongListed = 200;
    const data::WrongNow wrong = data::wrongNow(devices_);
    lCounts->setText(QStringLiteral("故障 %1　通讯断 %2　报警 %3")
                         .arg(wrong.faults)
                         .arg(wrong.lost)
                         .arg(wrong.alerting));
    lWrong->setText(QStringLiteral("当前异常（%1）").arg(wrong.devices.size()));
    const QSignalBlocker quiet(lbWrong);
    lbWrong->clear();
    for (const int index : wrong.devices.mid(0, kWrongListed)) {
        const data::TunnelDevice& device = devices_[index];
        QString what = data::StatusText(device.state());
        if (device.alertRaised) {
            what += QStringLiteral("，报警：") + device.alertText;
        }
        auto* item = new QListWidgetItem(deviceText(device.type, device.code) + u' ' + what);
        item->setData(Qt::UserRole, data::deviceKey(device.type, device.code));
        if (device.state() == 2 || device.alertRaised) {
            item->setForeground(QColor(200, 0, 0));
        }
        lbWrong->addItem(item);
    }
}

void TfmTunnelView::sayHowMany() {
    lStatus->setText(
        latest_ ? QStringLiteral("共 %1 台设备，正在读取各设备的最新状态…").arg(devices_.size())
                : QStringLiteral("共 %1 台设备").arg(devices_.size()));
}

void TfmTunnelView::fillTypes(const data::CodeNameList& types) {
    cbType->clear();
    cbType->addItem(QStringLiteral("全部类型"));
    typeNames_.clear();
    for (int i = 0; i < types.count(); ++i) {
        const data::TCodeName& type = types.at(i);
        typeNames_.insert(type.Code, type.Name.trimmed());
        // Each type with its glyph: the picture's key to its shapes.
        cbType->addItem(TunnelStrip::glyphIcon(type.Code),
                        QStringLiteral("%1-%2").arg(type.Code).arg(type.Name.trimmed()), type.Code);
    }
}

void TfmTunnelView::poll() {
    try {
        if (!feed_->changedSinceLastLook()) {
            return;
        }
        const QVector<data::TunnelEvent> events = feed_->readNew();
        if (feed_->takeRegisterChange()) {
            readRegisterAgain();
        }
        for (const data::TunnelEvent& event : events) {
            apply(event);
            listEvent(event, true);
        }
        if (!events.isEmpty()) {
            showDevices();
        }
        if (lost_) {
            lost_ = false;
            lStatus->setText(QStringLiteral("已重新连接，补读了 %1 条变化").arg(events.size()));
        }
    } catch (const db::DbError& error) {
        lost_ = true;
        lStatus->setText(
            QStringLiteral("与数据库的连接中断，正在重试…（%1）").arg(error.message()));
    }
}

void TfmTunnelView::apply(const data::TunnelEvent& event) {
    const std::optional<int> index = indexOf(event.type, event.code);
    if (!index) {
        return;
    }
    data::TunnelDevice& device = devices_[*index];
    if (event.alert) {
        device.alertRaised = event.value > 0;
        device.alertText = event.text;
        device.alertAt = event.at;
    } else {
        device.changed = event.value;
        device.since = event.at;
    }
}

void TfmTunnelView::listEvent(const data::TunnelEvent& event, bool newest) {
    const QString what = event.alert ? data::AlertTypeText(event.value) + u' ' + event.text
                                     : QStringLiteral("状态 ") + data::StatusText(event.value);
    auto* item = new QListWidgetItem(QStringLiteral("%1 %2 %3")
                                         .arg(event.at.toString(QStringLiteral("MM-dd hh:mm:ss")),
                                              deviceText(event.type, event.code), what));
    item->setData(Qt::UserRole, data::deviceKey(event.type, event.code));
    const bool worse = event.alert ? event.value > 0 : event.value == 2;  // raised, or in fault
    item->setForeground(worse ? QColor(200, 0, 0) : palette().text().color());
    if (newest) {
        lbEvents->insertItem(0, item);
        while (lbEvents->count() > kListed) {
            delete lbEvents->takeItem(lbEvents->count() - 1);
        }
    } else {
        lbEvents->addItem(item);
    }
}

void TfmTunnelView::centreOnListed(QListWidget& list, int row) {
    if (row < 0) {
        return;
    }
    const qint64 key = list.item(row)->data(Qt::UserRole).toLongLong();
    if (const auto device = indexes_.find(key); device != indexes_.end()) {
        pbTunnel->centreOn(device.value());
    }
}

QString TfmTunnelView::deviceText(int type, int code) const {
    QString text = data::deviceName(typeNames_, type, code);
    if (const std::optional<int> index = indexOf(type, code)) {
        const data::TunnelDevice& device = devices_[*index];
        if (device.stake) {
            text += u' ' + data::stakeName(*device.stake);
        }
        if (!device.physics.isEmpty()) {
            text += u' ' + device.physics;
        }
    }
    return text;
}

std::optional<int> TfmTunnelView::indexOf(int type, int code) const {
    const auto found = indexes_.find(data::deviceKey(type, code));
    return found == indexes_.end() ? std::nullopt : std::optional<int>(found.value());
}

void TfmTunnelView::btFindClick() {
    const QString text = edSearch->text().trimmed();
    if (text.isEmpty()) {
        return;
    }
    data::DeviceSearch search;
    search.text = text;
    QVector<int> found;
    db_->forEachRow(data::deviceSearchStatement(*db_, search, data::textSearchOf(*db_)), {},
                    [&](const QVariantList& row) {
                        if (const std::optional<int> index =
                                indexOf(db::integerOf(row[0]), db::integerOf(row[1]))) {
                            found.append(*index);
                        }
                    });
    if (found.isEmpty()) {
        lStatus->setText(QStringLiteral("没有找到设备：%1").arg(text));
        return;
    }
    std::sort(found.begin(), found.end());
    const int current = pbTunnel->selected().value_or(-1);
    const auto next = std::upper_bound(found.begin(), found.end(), current);
    const int device = next == found.end() ? found.front() : *next;
    pbTunnel->centreOn(device);
    lStatus->setText(QStringLiteral("找到 %1 台：%2")
                         .arg(found.size())
                         .arg(deviceText(devices_[device].type, devices_[device].code)));
}

void TfmTunnelView::btExportClick() {
    const QString path =
        ui::chooseFileToSave(this, QStringLiteral("导出图片"),
                             QStringLiteral("隧道设备总览-%1.png")
                                 .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))),
                             QStringLiteral("PNG 图片 (*.png)"), QStringLiteral(".png"));
    if (path.isEmpty()) {
        return;
    }
    if (!pbTunnel->viewport()->grab().save(path, "PNG")) {
        ui::reportError(QStringLiteral("无法写入文件 %1").arg(path));
        return;
    }
    ui::showMessage(QStringLiteral("已导出图片到 %1").arg(path), this);
}

void TfmTunnelView::openTimeline(int device) {
    TfmDeviceTimeline timeline(this, context_, devices_[device].type, devices_[device].code);
    ui::runModal(timeline);
}

template <typename Window>
void TfmTunnelView::openDeviceForm(int device) {
    Window window(this, context_);
    window.SetDevice(devices_[device].type, devices_[device].code);
    if (ui::runModal(window) == ui::mrOK) {
        readRegisterAgain();
    }
}

void TfmTunnelView::fillDeviceMenu(QMenu& menu, int device) {
    menu.addAction(QStringLiteral("运行记录(&T)..."), this,
                   [this, device] { ui::guarded([&] { openTimeline(device); }); });
    menu.addAction(QStringLiteral("操作记录(&L)..."), this, [this, device] {
        ui::guarded([&] {
            TfmOperLog log(this, context_,
                           deviceLogStart(devices_[device].type, devices_[device].code));
            ui::runModal(log);
        });
    });
    menu.addSeparator();
    const bool configures = context_.grants(data::rights::kConfiguration);
    menu.addAction(
            QStringLiteral("编辑(&E)..."), this,
            [this, device] { ui::guarded([&] { openDeviceForm<devices::TfmAddDevice>(device); }); })
        ->setEnabled(configures);
    menu.addAction(QStringLiteral("连接配置(&N)..."), this,
                   [this, device] {
                       ui::guarded([&] { openDeviceForm<devices::TfmConnectConfig>(device); });
                   })
        ->setEnabled(configures);
}

void TfmTunnelView::showDeviceMenu(int device, const QPoint& at) {
    QMenu menu(this);
    fillDeviceMenu(menu, device);
    menu.exec(at);
}

}  // namespace tunnel::history
