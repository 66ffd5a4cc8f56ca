#include "history/TfmAvailability.h"

#include "data/AvailabilityPdf.h"
#include "data/CodeName.h"
#include "history/AvailabilityChart.h"
#include "history/TfmDeviceTimeline.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/ui/Controls.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QSaveFile>
#include <QTableWidget>

namespace tunnel::history {
namespace {

QTableWidget* table(QWidget* parent, const char* name, const QRect& at, const QStringList& titles) {
    auto* grid = new QTableWidget(0, static_cast<int>(titles.size()), parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setGeometry(at);
    grid->setHorizontalHeaderLabels(titles);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->hide();
    // A column as wide as its title or its widest figure: "故障时间最长的设备" is wider than a
    // default column.
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->setTabKeyNavigation(false);  // Tab walks the window, as in every read-only grid
    return grid;
}

void fillRow(QTableWidget& grid, int row, const QStringList& cells) {
    for (qsizetype column = 0; column < cells.size(); ++column) {
        grid.setItem(row, static_cast<int>(column), new QTableWidgetItem(cells[column]));
    }
}

std::optional<int> chosenCode(const QComboBox& box) {
    const QVariant code = box.currentData();
    return code.isValid() ? std::optional<int>(code.toInt()) : std::nullopt;
}

}  // namespace

TfmAvailability::TfmAvailability(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmAvailability"), QStringLiteral("设备完好率报表"), owner),
      context_(context) {
    setClientSize(900, 600);
    ui::label(this, QStringLiteral("从"), 8, 12);
    dtpBegin = ui::datePicker(this, "dtpBegin", 28, 8, 110, false);
    ui::label(this, QStringLiteral("到"), 146, 12);
    dtpEnd = ui::datePicker(this, "dtpEnd", 166, 8, 110, false);
    lArea = ui::label(this, QStringLiteral("区域"), 290, 12);
    cbArea = ui::dropDown(this, "cbArea", 322, 8, 150);
    lType = ui::label(this, QStringLiteral("设备类型"), 484, 12);
    cbType = ui::dropDown(this, "cbType", 540, 8, 150);
    btQuery = ui::button(this, "btQuery", QStringLiteral("查询(&Q)"), 704, 6);
    QStringList titles{QStringLiteral("区域"), QStringLiteral("设备类型")};
    titles += data::totalTitles();
    gridTotals = table(this, "gridTotals", QRect(8, 40, 884, 250), titles);
    pbChart = new AvailabilityChart(this);
    pbChart->setGeometry(8, 298, 440, 258);
    gridWorst =
        table(this, "gridWorst", QRect(456, 298, 436, 258),
              {QStringLiteral("故障时间最长的设备"), QStringLiteral("编号"),
               QStringLiteral("物理编号"), QStringLiteral("故障(小时)"), QStringLiteral("完好率")});
    btCsv = ui::button(this, "btCsv", QStringLiteral("导出CSV(&E)..."), 560, 566, 100);
    btPdf = ui::button(this, "btPdf", QStringLiteral("导出PDF(&P)..."), 668, 566, 100);
    btClose = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 817, 566);
    // The last whole month before today.
    const QDate firstOfThisMonth = QDate::currentDate().addDays(1 - QDate::currentDate().day());
    dtpBegin->setDate(firstOfThisMonth.addMonths(-1));
    dtpEnd->setDate(firstOfThisMonth.addDays(-1));
    onClick(btQuery, &TfmAvailability::btQueryClick);
    onClick(btCsv, &TfmAvailability::btCsvClick);
    onClick(btPdf, &TfmAvailability::btPdfClick);
    connect(btClose, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
    connect(cbArea, &QComboBox::currentIndexChanged, this, [this] { showReport(); });
    connect(cbType, &QComboBox::currentIndexChanged, this, [this] { showReport(); });
    connect(gridWorst, &QTableWidget::cellDoubleClicked, this,
            [this](int row) { ui::guarded([&] { openWorst(row); }); });
    setDefaultButton(btQuery);
    allowResizing(QSize(520, 360));
    layOut();
}

TfmAvailability::~TfmAvailability() = default;

// The totals take the upper part, the chart and the worst devices share the lower; the buttons
// keep to the bottom right corner.
void TfmAvailability::layOut() {
    constexpr int kMargin = 8;
    constexpr int kRow = 32;
    const int w = width();
    const int h = height();
    // The filters on one row where it holds them all, else the area, type and query on a second.
    constexpr int kOneRowWidth = 800;
    const bool oneRow = w >= kOneRowWidth;
    const int secondRow = oneRow ? 0 : kRow;
    const int left = oneRow ? 290 : 8;
    lArea->move(left, 12 + secondRow);
    cbArea->move(left + 32, 8 + secondRow);
    lType->move(left + 194, 12 + secondRow);
    cbType->move(left + 250, 8 + secondRow);
    btQuery->move(left + 414, 6 + secondRow);
    const int top = 40 + secondRow;
    const int buttonsTop = h - kMargin - btClose->height();
    btClose->move(w - kMargin - btClose->width(), buttonsTop);
    btPdf->move(btClose->x() - kMargin - btPdf->width(), buttonsTop);
    btCsv->move(btPdf->x() - kMargin - btCsv->width(), buttonsTop);
    const int body = buttonsTop - kMargin - top;
    const int totals = (body - kMargin) * 45 / 100;
    gridTotals->setGeometry(kMargin, top, w - 2 * kMargin, totals);
    const int lowerTop = top + totals + kMargin;
    const int half = (w - 3 * kMargin) / 2;
    pbChart->setGeometry(kMargin, lowerTop, half, buttonsTop - kMargin - lowerTop);
    gridWorst->setGeometry(2 * kMargin + half, lowerTop, w - 3 * kMargin - half,
                           buttonsTop - kMargin - lowerTop);
}

void TfmAvailability::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    layOut();
}

void TfmAvailability::formShow() {
    db_ = db::Database::open(context_.connectionString);
    fillFilters();
    btQueryClick();
}

void TfmAvailability::fillFilters() {
    db::Query query(*db_);
    data::CodeNameList areas;
    data::CodeNameList types;
    data::readAreasAndTypes(query, areas, types);
    names_ = data::reportNamesOf(areas, types, db_->settings().describe());
    const QSignalBlocker areaQuiet(cbArea);
    const QSignalBlocker typeQuiet(cbType);
    cbArea->addItem(QStringLiteral("全部区域"));
    for (int i = 0; i < areas.count(); ++i) {
        cbArea->addItem(areas.at(i).Name.trimmed(), areas.at(i).Code);
    }
    cbType->addItem(QStringLiteral("全部类型"));
    for (int i = 0; i < types.count(); ++i) {
        cbType->addItem(types.at(i).Name.trimmed(), types.at(i).Code);
    }
}

void TfmAvailability::btQueryClick() {
    if (dtpEnd->date() < dtpBegin->date()) {
        ui::showMessage(QStringLiteral("结束日期早于开始日期，请重新选择"), this);
        return;
    }
    const QDateTime from(dtpBegin->date(), QTime(0, 0));
    const QDateTime to(dtpEnd->date().addDays(1), QTime(0, 0));
    whole_ = data::readAvailability(*db_, from, to, QDateTime::currentDateTime());
    showReport();
}

void TfmAvailability::showReport() {
    shown_ = data::onlyOf(whole_, chosenCode(*cbArea), chosenCode(*cbType));
    gridTotals->setRowCount(static_cast<int>(shown_.totals.size()) + 1);
    int row = 0;
    for (const data::AvailabilityTotal& total : shown_.totals) {
        fillRow(*gridTotals, row++,
                QStringList{names_.area(total.area), names_.type(total.type)} +
                    data::totalCells(total));
    }
    fillRow(*gridTotals, row,
            QStringList{QStringLiteral("合计"), QString()} + data::totalCells(shown_.whole));
    gridWorst->setRowCount(static_cast<int>(shown_.worst.size()));
    row = 0;
    for (const int index : shown_.worst) {
        const data::DeviceAvailability& device = shown_.devices[index];
        fillRow(*gridWorst, row++,
                {names_.type(device.type), QString::number(device.code), device.physics,
                 data::hoursText(device.inState(2)),
                 data::shareText(data::workingShare(device.milliseconds))});
    }
    pbChart->setReport(shown_, names_);
}

void TfmAvailability::openWorst(int row) {
    if (row < 0 || row >= shown_.worst.size()) {
        return;
    }
    const data::DeviceAvailability& device = shown_.devices[shown_.worst[row]];
    TfmDeviceTimeline timeline(this, context_, device.type, device.code);
    timeline.showDays(dtpBegin->date(), dtpEnd->date());  // the report's days
    ui::runModal(timeline);
}

void TfmAvailability::btCsvClick() {
    const QString path =
        ui::chooseCsvToSave(this, QStringLiteral("设备完好率-%1.csv")
                                      .arg(dtpBegin->date().toString(QStringLiteral("yyyyMM"))));
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data::availabilityCsv(shown_, names_)) < 0 ||
        !file.commit()) {
        ui::reportError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
        return;
    }
    ui::showMessage(QStringLiteral("已导出到 %1").arg(path), this);
}

void TfmAvailability::btPdfClick() {
    const QString path =
        ui::chooseFileToSave(this, QStringLiteral("导出PDF"),
                             QStringLiteral("设备完好率-%1.pdf")
                                 .arg(dtpBegin->date().toString(QStringLiteral("yyyyMM"))),
                             QStringLiteral("PDF 文件 (*.pdf)"), QStringLiteral(".pdf"));
    if (path.isEmpty()) {
        return;
    }
    data::writeAvailabilityPdf(shown_, names_, QDateTime::currentDateTime(), path);
    ui::showMessage(QStringLiteral("已导出到 %1").arg(path), this);
}

}  // namespace tunnel::history
