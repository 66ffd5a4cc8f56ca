#include "data/AvailabilityPdf.h"

#include "platform/db/DbError.h"

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
constexpr int kFooter = 24;     // the line that says when the report was made

QString groupName(const AvailabilityTotal& total, const ReportNames& names) {
    return names.area(total.area) + u' ' + names.type(total.type);
}

// Draws a table of texts, the first row its titles (drawn again at the top of each page it runs
// onto), and returns the y under it.
int paintTable(QPdfWriter& pdf, QPainter& painter, int top, const QVector<int>& widths,
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
        if (y + kRowHeight > pdf.height() - kFooter) {
            pdf.newPage();
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
        painter.fillRect(QRect(area.left() + labelWidth, y, length, barHeight),
                         share && *share < 0.95 ? QColor(229, 57, 53) : QColor(67, 160, 71));
        painter.drawText(QRect(area.left() + labelWidth + length + 4, y, 56, barHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, shareText(share));
        y += barHeight + 4;
        if (y + barHeight > area.bottom()) {
            break;
        }
    }
}

namespace {

void paintAvailabilityPdf(const AvailabilityReport& report, const ReportNames& names,
                          const QDateTime& made, QIODevice& file, const QString& path) {
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
    for (const AvailabilityTotal& total : report.totals) {
        rows.append(line(groupName(total, names), total));
    }
    rows.append(line(QStringLiteral("合计"), report.whole));
    const QVector<int> widths{width * 40 / 100, width * 12 / 100, width * 16 / 100,
                              width * 16 / 100, width * 16 / 100};
    int y = paintTable(pdf, painter, 64, widths, rows);
    const int chartHeight = static_cast<int>(report.totals.size()) * 18 + 10;
    if (y + 16 + chartHeight > pdf.height() - kFooter) {
        pdf.newPage();
        y = -16;
    }
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
        pdf.newPage();  // kept on one page
        y = 0;
    }
    paintTable(pdf, painter, y, widths, worst);
    painter.drawText(
        QRect(0, pdf.height() - kFooter + 4, width, kFooter - 4), Qt::AlignRight,
        QStringLiteral("生成于 %1").arg(made.toString(QStringLiteral("yyyy-MM-dd hh:mm"))));
    painter.end();
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
    paintAvailabilityPdf(report, names, made, file, path);
    if (!file.commit()) {
        throw db::DbError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    }
}

}  // namespace tunnel::data
