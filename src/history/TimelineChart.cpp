#include "history/TimelineChart.h"

#include "data/DisplayTexts.h"

#include <QPainter>

#include <algorithm>

namespace tunnel::history {
namespace {

constexpr int kTitleWidth = 56;
constexpr int kBandHeight = 22;

}  // namespace

TimelineChart::TimelineChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chartTimeline"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void TimelineChart::setTimeline(const data::Timeline& timeline, const QDateTime& from,
                                const QDateTime& end) {
    periods_ = timeline.periods;
    raisedPerDay_ = timeline.raisedPerDay;
    from_ = from;
    end_ = end;
    update();
}

QColor TimelineChart::stateColour(int state) {
    switch (state) {
        case 1:
            return {67, 160, 71};
        case 2:
            return {229, 57, 53};
        case 3:
            return {251, 140, 0};
        case 4:
            return {117, 117, 117};
        default:
            return {200, 200, 200};
    }
}

int TimelineChart::xOf(const QDateTime& at, const QRect& area) const {
    const qint64 span = std::max<qint64>(1, from_.msecsTo(end_));
    const double share = static_cast<double>(from_.msecsTo(at)) / static_cast<double>(span);
    return area.left() + static_cast<int>(std::clamp(share, 0.0, 1.0) * area.width());
}

void TimelineChart::paintBand(QPainter& painter, const QRect& area) const {
    painter.drawText(QRect(4, area.top(), kTitleWidth - 8, area.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("状态"));
    painter.fillRect(area, stateColour(0).lighter(120));
    for (const data::StatePeriod& period : periods_) {
        const int left = xOf(period.from, area);
        const int right = std::max(left + 1, xOf(period.to, area));
        painter.fillRect(QRect(left, area.top(), right - left, area.height()),
                         stateColour(period.state));
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void TimelineChart::paintBars(QPainter& painter, const QRect& area) const {
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRect(4, area.top(), kTitleWidth - 8, area.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("报警/天"));
    const qint64 days = std::max<qint64>(1, from_.date().daysTo(end_.date()) + 1);
    int most = 1;
    for (const auto& day : raisedPerDay_) {
        most = std::max(most, day.second);
    }
    const double width = static_cast<double>(area.width()) / static_cast<double>(days);
    for (const auto& [date, count] : raisedPerDay_) {
        const qint64 index = from_.date().daysTo(date);
        const int left = area.left() + static_cast<int>(static_cast<double>(index) * width);
        const int height = std::max(1, area.height() * count / most);
        const QRect bar(left, area.bottom() - height + 1, std::max(1, static_cast<int>(width) - 1),
                        height);
        painter.fillRect(bar, QColor(229, 57, 53));
        if (width >= 14) {
            painter.drawText(bar.adjusted(0, -14, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                             QString::number(count));
        }
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
}

void TimelineChart::paintLegend(QPainter& painter, int top) const {
    int left = kTitleWidth;
    painter.setPen(palette().color(QPalette::Text));
    for (const int state : {1, 2, 3, 4, 0}) {
        painter.fillRect(QRect(left, top + 3, 10, 10), stateColour(state));
        const QString word = data::StatusText(state);
        painter.drawText(QPoint(left + 14, top + 12), word);
        left += 24 + fontMetrics().horizontalAdvance(word);
    }
    painter.drawText(QRect(left, top, width() - left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                     from_.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" — ") +
                         end_.toString(QStringLiteral("yyyy-MM-dd hh:mm")));
}

void TimelineChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int right = width() - 8;
    const QRect band(kTitleWidth, 4, right - kTitleWidth, kBandHeight);
    const QRect bars(kTitleWidth, band.bottom() + 8, band.width(),
                     height() - band.height() - 8 - 4 - 20);
    paintBand(painter, band);
    paintBars(painter, bars);
    paintLegend(painter, height() - 18);
}

}  // namespace tunnel::history
