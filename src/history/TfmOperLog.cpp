#include "history/TfmOperLog.h"

#include "data/LogSearchIndex.h"
#include "data/OperLogStatements.h"
#include "platform/db/ValueText.h"
#include "platform/ui/Controls.h"
#include "platform/ui/GridView.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace tunnel::history {
namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 420;
constexpr int kStripHeight = 77;

}  // namespace

TfmOperLog::TfmOperLog(QWidget* owner, const data::ModuleContext& context, OperLogStart start)
    : Form(QStringLiteral("fmOperLog"), QStringLiteral("操作记录"), owner),
      start_(std::move(start)) {
    setClientSize(kWidth, kHeight);
    // Its texts are long: the window grows, its grid with it.
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QueryLog.setConnectionString(context.connectionString);

    ui::label(this, QStringLiteral("起始日期"), 16, 15);
    dtpBegin = ui::datePicker(this, "dtpBegin", 72, 11, 145, true);
    ui::label(this, QStringLiteral("终止日期"), 240, 15);
    dtpEnd = ui::datePicker(this, "dtpEnd", 296, 11, 145, true);
    ui::label(this, QStringLiteral("内容"), 16, 47);
    edText = ui::editBox(this, "edText", 72, 43, 145);
    ui::label(this, QStringLiteral("数据表"), 240, 47);
    cbTable = ui::dropDown(this, "cbTable", 296, 43, 145);
    for (const data::LoggedTable& table : data::loggedTables()) {
        cbTable->addItem(table.word, table.table);
    }
    Button1 = ui::button(this, "Button1", QStringLiteral("查询(&C)"), 456, 41);
    Button2 = ui::button(this, "Button2", QStringLiteral("退出(&Q)"), 544, 41);
    ui::bevelLine(this, kStripHeight - 2);

    DBGrid = new QTableView(this);
    DBGrid->setObjectName(QStringLiteral("DBGrid"));
    DBGrid->setGeometry(0, kStripHeight, kWidth, kHeight - kStripHeight);
    ui::setTabOrder({DBGrid, dtpBegin, dtpEnd, edText, cbTable, Button1, Button2});

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    // What changed comes first, where it is read; who and where after it.
    QueryLog.setColumns({
        {QStringLiteral("LOGTIME"), QStringLiteral("时间"), 130, left, &db::dateTimeText},
        {QStringLiteral("ACTION"), QStringLiteral("操作"), 60, left, {}},
        {QStringLiteral("TABLENAME"), QStringLiteral("数据表"), 70, left, {}},
        {QStringLiteral("ROWKEY"), QStringLiteral("关键字"), 250, left, {}},
        {QStringLiteral("BEFORETEXT"), QStringLiteral("修改前"), 260, left, {}},
        {QStringLiteral("AFTERTEXT"), QStringLiteral("修改后"), 260, left, {}},
        {QStringLiteral("STATION"), QStringLiteral("工作站"), 90, left, {}},
        {QStringLiteral("OPERATOR"), QStringLiteral("操作员"), 70, left, {}},
        {QStringLiteral("FUNCCODE"), QStringLiteral("窗口"), 90, left,
         [](const QVariant& code) { return data::funcCodeText(db::integerOf(code)); }},
    });
    QueryLog.setOrder(data::operLogOrder());
    ui::bindReadOnlyGrid(*DBGrid, QueryLog, false, ui::RowMark::Indicator);
    ui::enableRowCopy(*DBGrid, true);
    ui::addResultActions(*DBGrid, QueryLog);

    onClick(Button1, &TfmOperLog::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

// A key handed over shows that row's story over the last year; otherwise today's changes.
void TfmOperLog::formShow() {
    const QDate today = QDate::currentDate();
    dtpBegin->setDate(start_.rowKey.isEmpty() ? today : today.addYears(-1));
    dtpEnd->setDate(today);
    edText->setText(start_.rowKey);
    cbTable->setCurrentIndex(std::max(0, cbTable->findData(start_.table)));
    Button1Click();
}

// The key handed over is matched exactly while the text box still shows it (camera 1's story
// holds none of camera 10's); any other text is looked for anywhere.
void TfmOperLog::Button1Click() {
    const bool keyed = !start_.rowKey.isEmpty() && edText->text() == start_.rowKey;
    QString table = cbTable->currentData().toString();
    if (keyed && table.isEmpty()) {
        table = start_.table;  // a key names a row of its table (and its index leads with it)
    }
    const QString text = keyed ? QString() : edText->text();
    QueryLog.setStatement(data::operLogStatement(
        {dtpBegin->date(), dtpEnd->date(), text, table, keyed ? start_.rowKey : QString()},
        data::logSearchCandidates(QueryLog.connectionString(), text)));
    QueryLog.reload();
    if (QueryLog.rowCount() > 0) {
        DBGrid->setCurrentIndex(QueryLog.index(0, 0));
    }
}

void TfmOperLog::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    DBGrid->setGeometry(0, kStripHeight, width(), height() - kStripHeight);
}

bool TfmOperLog::formClose(int) {
    QueryLog.close();
    return true;
}

}  // namespace tunnel::history
