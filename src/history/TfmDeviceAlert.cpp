#include "history/TfmDeviceAlert.h"

#include "data/DisplayTexts.h"
#include "data/HistoryStatements.h"
#include "history/OpenTimeline.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"

#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTableView>

namespace tunnel::history {
namespace {

constexpr int kAll = 0;
constexpr int kStripHeight = 77;
constexpr int kTimeColumn = 2;

QString alertTypeText(const QVariant& value) {
    return data::AlertTypeText(db::integerOf(value));
}

}  // namespace

TfmDeviceAlert::TfmDeviceAlert(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmDeviceAlert"), QStringLiteral("设备报警查询"), owner),
      QueryTmp(context.connectionString) {
    setClientSize(631, 358);
    QueryData.setConnectionString(db::standbyReads(context.connectionString));

    ui::label(this, QStringLiteral("设备类型"), 16, 15);
    cbType = ui::dropDown(this, "cbType", 72, 11, 145);
    ui::label(this, QStringLiteral("设备编号"), 240, 15);
    cbCode = ui::dropDown(this, "cbCode", 296, 11, 100);
    ui::label(this, QStringLiteral("起始日期"), 16, 47);
    dtpBegin = ui::datePicker(this, "dtpBegin", 72, 43, 145, true);
    ui::label(this, QStringLiteral("终止日期"), 240, 47);
    dtpEnd = ui::datePicker(this, "dtpEnd", 296, 43, 145, true);
    Button1 = ui::button(this, "Button1", QStringLiteral("查询(&C)"), 456, 41);
    Button2 = ui::button(this, "Button2", QStringLiteral("退出(&Q)"), 544, 41);
    ui::bevelLine(this, kStripHeight - 2);

    DBGrid = new QTableView(this);
    DBGrid->setObjectName(QStringLiteral("DBGrid"));
    DBGrid->setGeometry(0, kStripHeight, 631, 358 - kStripHeight);
    ui::setTabOrder({DBGrid, cbType, cbCode, dtpBegin, dtpEnd, Button1, Button2});

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    QueryData.setColumns({
        {QStringLiteral("DEVICETYPE"), QStringLiteral("设备类型"), 112, left,
         [this](const QVariant& v) { return QueryDataDEVICETYPEGetText(v); }},
        {QStringLiteral("DEVICECODE"), QStringLiteral("编号"), 32, Qt::AlignCenter, {}},
        {QStringLiteral("ALERTTIME"), QStringLiteral("发生时间"), 130, left, &db::dateTimeText},
        {QStringLiteral("ALERTTYPE"), QStringLiteral("标识"), 38, left, &alertTypeText},
        {QStringLiteral("ALERTDESC"), QStringLiteral("报警说明"), 300, left, {}},
    });
    ui::bindReadOnlyGrid(*DBGrid, QueryData, false);
    ui::enableRowCopy(*DBGrid, true);
    ui::addResultActions(*DBGrid, QueryData);
    history::addTimelineEntry(*this, *DBGrid, context, chosenRowDevice(*DBGrid, QueryData));
    ui::reverseOrderOnTitleClick(*DBGrid, QueryData, kTimeColumn);

    connect(cbType, &QComboBox::activated, this,
            [this] { ui::guarded([this] { cbTypeChange(); }); });
    onClick(Button1, &TfmDeviceAlert::Button1Click);
    onClick(Button2, &TfmDeviceAlert::Button2Click);
}

QString TfmDeviceAlert::QueryDataDEVICETYPEGetText(const QVariant& value) const {
    return GetTypeName(db::integerOf(value));
}

void TfmDeviceAlert::formShow() {
    TypeList.clear();
    cbCode->clear();
    cbCode->addItem(QStringLiteral("全部"));
    cbType->clear();
    cbType->addItem(QStringLiteral("全部"), kAll);
    data::readTypes(QueryTmp, TypeList);
    for (int i = 0; i < TypeList.count(); ++i) {
        cbType->addItem(TypeList.at(i).Name, TypeList.at(i).Code);
    }
    cbType->setCurrentIndex(0);
    cbCode->setCurrentIndex(0);
    QueryData.setStatement(data::newestAlertsStatement());
    QueryData.setOrder(data::alertHistoryOrder(true));
    QueryData.reload();
}

void TfmDeviceAlert::cbTypeChange() {
    cbCode->clear();
    cbCode->addItem(QStringLiteral("全部"));
    const int type = cbType->currentData().toInt();
    if (type != kAll) {
        QueryTmp.setSql(QStringLiteral("SELECT * FROM DEVICE where DEVICETYPE=") +
                        QString::number(type));
        QueryTmp.open();
        for (; !QueryTmp.eof(); QueryTmp.next()) {
            cbCode->addItem(QString::number(QueryTmp.integer(QStringLiteral("DEVICECODE"))));
        }
        QueryTmp.close();
    }
    cbCode->setCurrentIndex(0);
}

void TfmDeviceAlert::Button1Click() {
    QueryData.close();
    try {
        const int type = cbType->currentIndex() < 0 ? kAll : cbType->currentData().toInt();
        const int device =
            cbCode->currentText() == QStringLiteral("全部") ? kAll : cbCode->currentText().toInt();
        QueryData.setStatement(
            data::alertHistoryStatement(dtpBegin->date(), dtpEnd->date(), type, device));
        QueryData.setOrder(data::alertHistoryOrder(false));
        QueryData.reload();
    } catch (const std::exception&) {
        ui::messageBox(QStringLiteral("条件输入有误，请重新输入"), QStringLiteral("错误"),
                       ui::mb::IconStop);
    }
}

void TfmDeviceAlert::Button2Click() {
    done(ui::mrCancel);
}

bool TfmDeviceAlert::formClose(int) {
    QueryData.close();
    QueryTmp.close();
    TypeList.clear();
    return true;
}

}  // namespace tunnel::history
