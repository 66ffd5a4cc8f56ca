#include "data/AvailabilityPdf.h"

#include "platform/db/DbError.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace tunnel::data {
namespace {

constexpr int kRowHeight = 20;  // points: the writer draws at 72 dots an inch
constexpr int kFooter = 24;     // the line that says when the report was made and which page

// The pages of a report: each ends with its footer (the time the report was made, "第 X 页，
// 共 Y 页"); the number of pages is known from a first drawing of the report.
class Pages {
public:
    Pages(QPdfWriter& pdf, QPainter& painter, const QDateTime& made, int total)
        : pdf_(pdf), painter_(painter), made_(made), total_(total) {}

    int height() const { return pdf_.height(); }
    void next() {
        endPage();
        pdf_.newPage();
        ++page_;
    }
    // The last page's footer; returns how many pages there were.
    int finish() {
        endPage();
        return page_;
    }

private:
    void endPage() {
        const int top = pdf_.height() - kFooter + 4;
        painter_.drawText(
            QRect(0, top, pdf_.width(), kFooter - 4), Qt::AlignLeft,
            QStringLiteral("生成于 %1").arg(made_.toString(QStringLiteral("yyyy-MM-dd hh:mm"))));
        painter_.drawText(QRect(0, top, pdf_.width(), kFooter - 4), Qt::AlignRight,
                          QStringLiteral("第 %1 页，共 %2 页").arg(page_).arg(total_));
    }

    QPdfWriter& pdf_;
    QPainter& painter_;
    QDateTime made_;
    int total_;
    int page_ = 1;
};

QString groupName(const AvailabilityTotal& total, const ReportNames& names) {
    return names.area(total.area) + u' ' + names.type(total.type);
}

// Draws a table of texts, the first row its titles (drawn again at the top of each page it runs
// onto), and returns the y under it.
int paintTable(Pages& pages, QPainter& painter, int top, const QVector<int>& widths,
               const QVector<QStringList>& rows) {
    int y = top;
    const auto paintRow = [&](const QStringList& cells, bool titles) {
        QFont font = painter.font();
        font.setBold(titles);
        painter.setFont(font);
        int x = 0;
        for (qsizetype c = 0; c < cells.size() && c < widths.size(); ++c) {
            // A text wider than its column ends in "…" instead of being cut off unseen.
            painter.drawText(
                QRect(x, y, widths[c] - 4, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                painter.fontMetrics().elidedText(cells[c], Qt::ElideRight, widths[c] - 4));
            x += widths[c];
        }
        painter.drawLine(0, y + kRowHeight, x, y + kRowHeight);
        y += kRowHeight;
    };
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (y + kRowHeight > pages.height() - kFooter) {
            pages.next();
            y = 0;
            paintRow(rows[0], true);
        }
        paintRow(rows[r], r == 0);
    }
    QFont font = painter.font();
    font.setBold(false);
    painter.setFont(font);
    return y;
}

// The names' column as wide as the widest name, up to half the chart (a longer one is cut short
// in its middle, never at its edge).
int labelWidthOf(const QFontMetrics& metrics, const AvailabilityReport& report,
                 const ReportNames& names, int width) {
    int widest = 0;
    for (const AvailabilityTotal& total : report.totals) {
        widest = std::max(widest, metrics.horizontalAdvance(groupName(total, names)));
    }
    return std::min(widest + 6, width / 2);
}

// Green from 95 %, amber from 80 %, red below: the bands a maintenance manager reads at a glance.
QColor bandColour(std::optional<double> share) {
    if (share && *share >= 0.95) {
        return {67, 160, 71};
    }
    return share && *share >= 0.80 ? QColor(251, 140, 0) : QColor(229, 57, 53);
}

}  // namespace

void paintAvailabilityChart(QPainter& painter, const QRect& area, const AvailabilityReport& report,
                            const ReportNames& names) {
    const qsizetype bars = report.totals.size();
    if (bars == 0) {
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("没有设备"));
        return;
    }
    const QFontMetrics metrics = painter.fontMetrics();
    const int labelWidth = labelWidthOf(metrics, report, names, area.width());
    // A bar as high as its name: groups that do not fit are left to the table beside it.
    const int barHeight = metrics.height();
    int y = area.top();
    for (const AvailabilityTotal& total : report.totals) {
        const std::optional<double> share = workingShare(total.milliseconds);
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(area.left(), y, labelWidth - 6, barHeight), Qt::AlignRight | Qt::AlignVCenter,
            metrics.elidedText(groupName(total, names), Qt::ElideMiddle, labelWidth - 6));
        const int room = area.width() - labelWidth - 60;
        const int length = share ? static_cast<int>(room * *share) : 0;
        painter.fillRect(QRect(area.left() + labelWidth, y, length, barHeight), bandColour(share));
        painter.drawText(QRect(area.left() + labelWidth + length + 4, y, 56, barHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, shareText(share));
        y += barHeight + 4;
        if (y + barHeight > area.bottom()) {
            break;
        }
    }
}

namespace {

// What the report's figures are, for whoever signs it.
const char* const kDefinitions[] = {
    "完好率：正常状态的时间占统计时间（不含停用时间）的比例；设备没有状态记录的时间计为未知。",
    "各状态的时间：每台设备在统计期内处于该状态的时间，从状态变化记录推算；统计期开始时的状态"
    "取此前最后一次变化后的状态，没有则取统计期内第一次变化前的状态。",
    "故障(小时)：各设备处于故障状态的时间之和。报警次数：统计期内发生的报警条数。",
    "图中颜色：完好率 95% 及以上为绿色，80% 至 95% 为橙色，80% 以下为红色。",
};

// Returns the number of pages drawn; `pageCount` is that number when known (0 on a first
// drawing).
int paintAvailabilityPdf(const AvailabilityReport& report, const ReportNames& names,
                         const QDateTime& made, QIODevice& file, const QString& path,
                         int pageCount) {
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(72);
    pdf.setTitle(QStringLiteral("设备完好率报表"));
    pdf.setCreator(QStringLiteral("隧道设备管理"));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        throw db::DbError(QStringLiteral("无法写入文件 %1").arg(path));
    }
    Pages pages(pdf, painter, made, pageCount);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPointSize(10);
    painter.setFont(font);
    const int width = pdf.width();
    QFont title = font;
    title.setPointSize(18);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(0, 0, width, 30), Qt::AlignHCenter, QStringLiteral("设备完好率报表"));
    painter.setFont(font);
    painter.drawText(
        QRect(0, 34, width, 20), Qt::AlignHCenter,
        QStringLiteral("%1　%2 至 %3")
            .arg(names.installation, report.from.toString(QStringLiteral("yyyy-MM-dd hh:mm")),
                 report.to.toString(QStringLiteral("yyyy-MM-dd hh:mm"))));
    QVector<QStringList> rows{{QStringLiteral("区域与设备类型"), QStringLiteral("设备数"),
                               QStringLiteral("完好率"), QStringLiteral("故障(小时)"),
                               QStringLiteral("报警次数")}};
    const auto line = [](const QString& name, const AvailabilityTotal& total) {
        return QStringList{
            name, QString::number(total.devices), shareText(workingShare(total.milliseconds)),
            QString::number(static_cast<double>(total.milliseconds[1]) / 3.6e6, 'f', 1),
            QString::number(total.alerts)};
    };
    for (const AvailabilityTotal& each : report.totals) {
        rows.append(line(groupName(each, names), each));
    }
    rows.append(line(QStringLiteral("合计"), report.whole));
    const QVector<int> widths{width * 40 / 100, width * 12 / 100, width * 16 / 100,
                              width * 16 / 100, width * 16 / 100};
    int y = paintTable(pages, painter, 64, widths, rows);
    int chartHeight = static_cast<int>(report.totals.size()) * 18 + 10;
    if (y + 16 + kRowHeight + chartHeight > pdf.height() - kFooter) {
        pages.next();
        y = -16;
    }
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRect(0, y + 16, width, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("各区域与设备类型的完好率"));
    painter.setFont(font);
    y += kRowHeight;
    // A chart longer than a page shows what the page holds: the table above has every group.
    chartHeight = std::min(chartHeight, pdf.height() - kFooter - (y + 16));
    paintAvailabilityChart(painter, QRect(0, y + 16, width, chartHeight), report, names);
    y += 16 + chartHeight + 16;
    QVector<QStringList> worst{{QStringLiteral("故障时间最长的设备"), QStringLiteral("编号"),
                                QStringLiteral("物理编号"), QStringLiteral("故障(小时)"),
                                QStringLiteral("完好率")}};
    for (const int index : report.worst) {
        const DeviceAvailability& device = report.devices[index];
        worst.append({names.type(device.type), QString::number(device.code), device.physics,
                      QString::number(static_cast<double>(device.inState(2)) / 3.6e6, 'f', 1),
                      shareText(workingShare(device.milliseconds))});
    }
    if (y + kRowHeight * static_cast<int>(worst.size()) > pdf.height() - kFooter) {
        pages.next();  // kept on one page
        y = 0;
    }
    y = paintTable(pages, painter, y, widths, worst) + 12;
    // The definitions and the lines for the signatures, kept together on one page.
    const int notes = static_cast<int>(std::size(kDefinitions)) * kRowHeight + 3 * kRowHeight;
    if (y + notes > pdf.height() - kFooter) {
        pages.next();
        y = 0;
    }
    for (const char* definition : kDefinitions) {
        painter.drawText(QRect(0, y, width, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromUtf8(definition));
        y += kRowHeight;
    }
    y += 2 * kRowHeight;
    painter.drawText(QRect(0, y, width, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("制表：________________　　审核：________________　　"
                                    "日期：________________"));
    const int pagesDrawn = pages.finish();
    painter.end();
    return pagesDrawn;
}

}  // namespace

// Written beside the file and put in its place when whole: a failure leaves the previous
// report as it was.
void writeAvailabilityPdf(const AvailabilityReport& report, const ReportNames& names,
                          const QDateTime& made, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw db::DbError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    }
    // Drawn once to count its pages, then for good with "共 Y 页" on each.
    QBuffer counting;
    counting.open(QIODevice::WriteOnly);
    const int pages = paintAvailabilityPdf(report, names, made, counting, path, 0);
    paintAvailabilityPdf(report, names, made, file, path, pages);
    if (!file.commit()) {
        throw db::DbError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    }
}

}  // namespace tunnel::data
