#include "devices/TfmFindDevice.h"

#include "data/DisplayTexts.h"
#include "data/SearchIndex.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/Modal.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableView>

namespace tunnel::devices {
namespace {

// Long enough to let a word be typed, short enough to feel immediate.
constexpr int kTypingPauseMs = 250;

QStringList keyFields() {
    return {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")};
}

}  // namespace

TfmFindDevice::TfmFindDevice(QWidget* owner, const data::ModuleContext& context,
                             data::DeviceSearch scope)
    : Form(QStringLiteral("fmFindDevice"), QStringLiteral("查找设备"), owner),
      context_(context),
      scope_(std::move(scope)),
      catalogues_(context.connectionString) {
    setClientSize(600, 400);
    ui::label(this, QStringLiteral("查找"), 10, 12);
    edText = ui::editBox(this, "edText", 40, 8, 180);
    ui::label(this, QStringLiteral("桩号从"), 230, 12);
    edStakeFrom = ui::editBox(this, "edStakeFrom", 272, 8, 80);
    ui::label(this, QStringLiteral("到"), 358, 12);
    edStakeTo = ui::editBox(this, "edStakeTo", 374, 8, 80);
    ui::label(this, QStringLiteral("位置"), 466, 12);
    cbSide = ui::dropDown(this, "cbSide", 498, 8, 92,
                          {QStringLiteral("全部"), QStringLiteral("洞内"), QStringLiteral("洞外")});
    cbSide->setCurrentIndex(0);
    // Below the grid, where "没有找到设备" also shows: the two never show together.
    lbStakeHint =
        ui::label(this, QStringLiteral("桩号格式：K12+345（米数小于 1000）"), 10, 372, 300);
    lbStakeHint->setObjectName(QStringLiteral("lbStakeHint"));
    lbStakeHint->setStyleSheet(QStringLiteral("color: red"));
    lbStakeHint->hide();
    lbNotFound = ui::label(this, QStringLiteral("没有找到设备"), 10, 372, 200);
    lbNotFound->setObjectName(QStringLiteral("lbNotFound"));
    lbNotFound->hide();

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(0, 36, 600, 324);
    btOK = ui::button(this, "btOK", QStringLiteral("确定"), 430, 368);
    btCancel = ui::button(this, "btCancel", QStringLiteral("取消"), 515, 368);
    setDefaultButton(btOK);
    setCancelButton(btCancel);
    ui::setTabOrder({edText, edStakeFrom, edStakeTo, cbSide, DBGrid1, btOK, btCancel});

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    matches_.setConnectionString(context_.connectionString);
    matches_.setColumns({
        {QStringLiteral("DEVICETYPE"), QStringLiteral("设备类型"), 110, left,
         [this](const QVariant& v) { return text::trimmed(types_.nameOf(db::integerOf(v))); }},
        {QStringLiteral("DEVICECODE"), QStringLiteral("编号"), 40, left, {}},
        {QStringLiteral("Stake"), QStringLiteral("桩号"), 60, left, {}},
        {QStringLiteral("AREACODE"), QStringLiteral("所在区域"), 100, left,
         [this](const QVariant& v) { return text::trimmed(areas_.nameOf(db::integerOf(v))); }},
        {QStringLiteral("COMMDATA"), QStringLiteral("连接参数"), 120, left, {}},
        {QStringLiteral("PHYSICS"), QStringLiteral("物理编号"), 100, left, {}},
        {QStringLiteral("POSITION"), QStringLiteral("位置"), 40, left,
         &data::codedText<data::PositionText>},
    });
    matches_.addCalculatedField(QStringLiteral("Stake"), [](const auto& field) {
        return QVariant(
            data::StakeText(field(QStringLiteral("MILIMETER")), field(QStringLiteral("METER"))));
    });
    matches_.setOrder({{QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}, false});
    ui::bindReadOnlyGrid(*DBGrid1, matches_, false);

    pause_.setSingleShot(true);
    pause_.setInterval(kTypingPauseMs);
    connect(&pause_, &QTimer::timeout, this, [this] { ui::guarded([this] { searchNow(); }); });
    for (QLineEdit* edit : {edText, edStakeFrom, edStakeTo}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { searchSoon(); });
    }
    connect(cbSide, &QComboBox::currentIndexChanged, this, [this] { searchSoon(); });
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!searching_ && current.isValid()) {
                    chosenSinceSearch_ = keyOf(current.row());
                }
            });
    connect(DBGrid1, &QTableView::doubleClicked, this, [this] { chooseCurrent(); });
    connect(btOK, &QPushButton::clicked, this, [this] { chooseCurrent(); });
    connect(btCancel, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

void TfmFindDevice::formShow() {
    data::readAreasAndTypes(catalogues_, areas_, types_);
    textSearch_ = data::textSearchOf(catalogues_.database());
    catalogues_.close();
    searchNow();
}

// One statement at a time, after the typing pauses: what was typed meanwhile is searched once.
void TfmFindDevice::searchSoon() {
    pause_.start();
}

std::optional<data::Stake> TfmFindDevice::stakeOf(QLineEdit& edit) {
    return text::trimmed(edit.text()).isEmpty() ? std::nullopt : data::parseStake(edit.text());
}

void TfmFindDevice::searchNow() {
    pause_.stop();
    const QScopedValueRollback guard(searching_, true);
    const std::optional<QVariantList> chosen = std::exchange(chosenSinceSearch_, std::nullopt);
    const auto unreadable = [](QLineEdit* edit) {
        return !text::trimmed(edit->text()).isEmpty() && !data::parseStake(edit->text());
    };
    const bool badStake = unreadable(edStakeFrom) || unreadable(edStakeTo);
    lbStakeHint->setVisible(badStake);
    lbNotFound->hide();
    if (badStake) {
        matches_.close();  // matches of bounds no longer typed would pass for an answer
        return;
    }
    data::DeviceSearch search = scope_;
    search.text = edText->text();
    search.from = stakeOf(*edStakeFrom);
    search.to = stakeOf(*edStakeTo);
    search.side = static_cast<data::DeviceSearch::Side>(std::max(cbSide->currentIndex(), 0));
    matches_.setStatement(data::deviceSearchStatement(catalogues_.database(), search, textSearch_));
    showMatches(chosen);
    lbNotFound->setVisible(matches_.isEmpty());
}

void TfmFindDevice::showMatches(const std::optional<QVariantList>& chosen) {
    int row = 0;
    if (chosen) {
        row = std::max(matches_.reloadOnRow(keyFields(), *chosen, {}).row, 0);
    } else {
        matches_.reload();
    }
    if (!matches_.isEmpty()) {
        DBGrid1->setCurrentIndex(matches_.index(row, 0));
        DBGrid1->scrollTo(DBGrid1->currentIndex());
    }
}

QVariantList TfmFindDevice::keyOf(int row) const {
    return {matches_.fieldValue(row, QStringLiteral("DEVICETYPE")),
            matches_.fieldValue(row, QStringLiteral("DEVICECODE"))};
}

void TfmFindDevice::chooseCurrent() {
    const int row = DBGrid1->currentIndex().row();
    if (row < 0 || matches_.isEmpty()) {
        return;
    }
    chosen_ = keyOf(row);
    done(ui::mrOK);
}

}  // namespace tunnel::devices
