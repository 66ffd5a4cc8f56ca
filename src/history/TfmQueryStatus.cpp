#include "history/TfmQueryStatus.h"

#include "data/DisplayTexts.h"
#include "data/HistoryStatements.h"
#include "history/OpenTimeline.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/ResultActions.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QTableView>

namespace tunnel::history {
namespace {

constexpr int kAllCode = 0;
constexpr int kTimeColumn = 2;

QString stateText(const QVariant& value) {
    return data::StateHistoryText(db::integerOf(value));
}

}  // namespace

TfmQueryStatus::TfmQueryStatus(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmQueryStatus"), QStringLiteral("设备状态查询"), owner),
      AdoSearchQuery(context.connectionString) {
    setClientSize(595, 407);
    AdoQuery.setConnectionString(db::standbyReads(context.connectionString));

    ui::label(this, QStringLiteral("起始时间"), 16, 15);
    dtpBegin = ui::datePicker(this, "dtpBegin", 72, 11, 121, false);
    ui::label(this, QStringLiteral("结束时间"), 216, 15);
    dtpEnd = ui::datePicker(this, "dtpEnd", 272, 11, 121, false);
    ui::label(this, QStringLiteral("设备类型"), 16, 47);
    cbType = ui::dropDown(this, "cbType", 72, 43, 121);
    ui::label(this, QStringLiteral("设备编号"), 216, 47);
    cbCode = ui::dropDown(this, "cbCode", 272, 43, 121);
    btQuery = ui::button(this, "btQuery", QStringLiteral("查询(&Q)"), 480, 41);

    GroupBox1 = new QGroupBox(QStringLiteral("查询结果"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 75, 595, 407 - 75);
    ui::frameAsDesigned(*GroupBox1);
    DBGrid = new QTableView(GroupBox1);
    DBGrid->setObjectName(QStringLiteral("DBGrid"));
    DBGrid->setGeometry(2, 16, 595 - 4, 407 - 75 - 18);
    ui::setTabOrder({dtpBegin, dtpEnd, cbType, cbCode, btQuery, DBGrid});

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    AdoQuery.setColumns({
        {QStringLiteral("DEVICETYPE"), QStringLiteral("设备类型"), -1, left,
         [this](const QVariant& v) { return GetTypeText(db::integerOf(v)); }},
        {QStringLiteral("DEVICECODE"), QStringLiteral("设备编号"), -1, left, {}},
        {QStringLiteral("STATUSTIME"), QStringLiteral("变化时间"), 130, left, &db::dateTimeText},
        {QStringLiteral("PRESTATUS"), QStringLiteral("变化前状态"), -1, left, &stateText},
        {QStringLiteral("CURSTATUS"), QStringLiteral("变化后状态"), -1, left, &stateText},
        {QStringLiteral("REMARK"), QStringLiteral("说明"), -1, left, {}},
    });
    AdoQuery.setOrder(data::stateHistoryOrder(false));
    ui::bindReadOnlyGrid(*DBGrid, AdoQuery, false, ui::RowMark::Indicator);
    ui::enableRowCopy(*DBGrid, true);
    ui::addResultActions(*DBGrid, AdoQuery);
    history::addTimelineEntry(*this, *DBGrid, context, chosenRowDevice(*DBGrid, AdoQuery));
    ui::reverseOrderOnTitleClick(*DBGrid, AdoQuery, kTimeColumn);

    connect(cbType, &QComboBox::activated, this,
            [this] { ui::guarded([this] { cbTypeChange(); }); });
    onClick(btQuery, &TfmQueryStatus::btQueryClick);
}

void TfmQueryStatus::formShow() {
    StatusTypeList.clear();
    cbType->clear();
    cbType->addItem(QStringLiteral("所有设备"), kAllCode);
    data::CodeNameList types;
    data::readTypes(AdoSearchQuery, types);
    for (int i = 0; i < types.count(); ++i) {
        const int code = types.at(i).Code;
        const QString name = text::trimmed(types.at(i).Name);
        StatusTypeList.append({code, name});
        cbType->addItem(name, code);
    }
    cbType->setCurrentIndex(0);
}

void TfmQueryStatus::cbTypeChange() {
    const int code = cbType->currentData().toInt();
    cbCode->clear();
    cbCode->addItem(QStringLiteral("所有设备"));
    AdoSearchQuery.setSql(QStringLiteral("select DEVICECODE from DEVICE where DEVICETYPE=") +
                          QString::number(code));
    AdoSearchQuery.open();
    for (; !AdoSearchQuery.eof(); AdoSearchQuery.next()) {
        cbCode->addItem(text::trimmed(AdoSearchQuery.text(QStringLiteral("DEVICECODE"))));
    }
    AdoSearchQuery.close();
    cbCode->setCurrentIndex(0);
}

void TfmQueryStatus::btQueryClick() {
    const int type = cbType->currentIndex() < 0 ? kAllCode : cbType->currentData().toInt();
    AdoQuery.close();
    AdoQuery.setStatement(
        data::stateHistoryStatement(dtpBegin->date(), dtpEnd->date(), type, cbCode->currentText()));
    AdoQuery.reload();  // a failed query leaves the grid empty
}

QString TfmQueryStatus::GetTypeText(int code) const {
    for (int i = 0; i < StatusTypeList.count(); ++i) {
        if (StatusTypeList.at(i).Code == code) {
            return StatusTypeList.at(i).Name;
        }
    }
    return QStringLiteral("未定义");
}

bool TfmQueryStatus::formClose(int) {
    StatusTypeList.clear();
    AdoQuery.close();
    AdoSearchQuery.close();
    return true;
}

}  // namespace tunnel::history
