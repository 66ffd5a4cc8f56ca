#include "history/TunnelStrip.h"

#include "data/DisplayTexts.h"
#include "history/TimelineChart.h"

#include <QContextMenuEvent>
#include <QHash>
#include <QHelpEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tunnel::history {
namespace {

constexpr int kLeft = 84;  // the lanes' names
constexpr int kRight = 12;
constexpr int kBands = 20;  // a row of the areas' bands
constexpr int kMarks = 18;  // the kilometre marks
constexpr int kGlyph = 10;
constexpr int kStackStep = 12;
constexpr int kLaneGap = 12;
constexpr int kLegend = 22;
constexpr double kNarrowest = 50;  // metres across at the closest zoom

int laneHeight(int stacks) {
    return kGlyph + (stacks - 1) * kStackStep + kLaneGap + 14;
}

// A mark every 1, 2 or 5 times a power of ten metres, at least 90 pixels apart.
qint64 markStep(double metresPerPixel) {
    const double least = metresPerPixel * 90;
    for (qint64 power = 1;; power *= 10) {
        for (const qint64 factor : {1, 2, 5}) {
            if (static_cast<double>(power * factor) >= least) {
                return power * factor;
            }
        }
    }
}

void drawGlyph(QPainter& painter, const QRect& rect, int type) {
    switch (type % 4) {
        case 0:
            painter.drawRect(rect);
            break;
        case 1:
            painter.drawEllipse(rect);
            break;
        case 2: {
            const QPolygon triangle{QPoint(rect.center().x(), rect.top()), rect.bottomLeft(),
                                    rect.bottomRight()};
            painter.drawPolygon(triangle);
            break;
        }
        default: {
            const QPolygon diamond{
                QPoint(rect.center().x(), rect.top()), QPoint(rect.right(), rect.center().y()),
                QPoint(rect.center().x(), rect.bottom()), QPoint(rect.left(), rect.center().y())};
            painter.drawPolygon(diamond);
        }
    }
}

// Which of two devices on one spot is drawn: a fault first, then a lost link, an unknown state,
// a device out of use, and last one in order.
int urgency(int state) {
    switch (state) {
        case 2:
            return 4;
        case 3:
            return 3;
        case 4:
            return 1;
        case 1:
            return 0;
        default:
            return 2;
    }
}

QString laneName(const data::TunnelLane& lane) {
    return data::PositionText(lane.position) + u'·' + data::SideText(lane.side);
}

}  // namespace

TunnelStrip::TunnelStrip(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("pbTunnel"));
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Base);
}

void TunnelStrip::setTunnel(const QVector<data::TunnelDevice>* devices,
                            const QVector<data::TunnelArea>& areas) {
    devices_ = devices;
    areas_ = areas;
    layout_ = data::layOutTunnel(*devices, areas);
    measureLanes();
    metresPerPixel_ = boundedScale(std::numeric_limits<double>::infinity());  // the whole tunnel
    updateScrollBar();
    viewport()->update();
}

void TunnelStrip::devicesChanged(std::optional<int> selected) {
    const qint64 left = stakeAt(kLeft);
    layout_ = data::layOutTunnel(*devices_, areas_);
    measureLanes();
    metresPerPixel_ = boundedScale(metresPerPixel_);
    updateScrollBar();
    horizontalScrollBar()->setValue(
        static_cast<int>(std::lround(static_cast<double>(left - layout_.from) / metresPerPixel_)));
    selected_ = selected;
    viewport()->update();
}

void TunnelStrip::setTypeFilter(std::optional<int> type) {
    typeFilter_ = type;
    viewport()->update();
}

void TunnelStrip::refresh() {
    viewport()->update();
}

bool TunnelStrip::shown(int device) const {
    return !typeFilter_ || (*devices_)[device].type == *typeFilter_;
}

void TunnelStrip::select(std::optional<int> device) {
    selected_ = device;
    viewport()->update();
    if (device) {
        emit selectionChanged(*device);
    }
}

void TunnelStrip::centreOn(int device) {
    select(device);
    const auto& stake = (*devices_)[device].stake;
    if (!stake) {
        return;
    }
    const double across = viewport()->width() - kLeft - kRight;
    horizontalScrollBar()->setValue(static_cast<int>(
        std::lround(static_cast<double>(*stake - layout_.from) / metresPerPixel_ - across / 2)));
}

double TunnelStrip::metresAcross() const {
    return metresPerPixel_ * (viewport()->width() - kLeft - kRight);
}

void TunnelStrip::zoomBy(double factor, int aroundX) {
    const qint64 fixed = stakeAt(aroundX);
    metresPerPixel_ = boundedScale(metresPerPixel_ / factor);
    updateScrollBar();
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(
        static_cast<double>(fixed - layout_.from) / metresPerPixel_ - (aroundX - kLeft))));
    viewport()->update();
}

double TunnelStrip::boundedScale(double metresPerPixel) const {
    const double across = std::max(viewport()->width() - kLeft - kRight, 100);
    const double whole =
        std::max<double>(static_cast<double>(layout_.to - layout_.from), kNarrowest) / across;
    return std::clamp(metresPerPixel, kNarrowest / across, whole);
}

double TunnelStrip::xOf(qint64 stake) const {
    return kLeft + static_cast<double>(stake - layout_.from) / metresPerPixel_ -
           horizontalScrollBar()->value();
}

qint64 TunnelStrip::stakeAt(double x) const {
    return layout_.from +
           std::llround((x - kLeft + horizontalScrollBar()->value()) * metresPerPixel_);
}

void TunnelStrip::updateScrollBar() {
    const double width = static_cast<double>(layout_.to - layout_.from) / metresPerPixel_;
    const int across = viewport()->width() - kLeft - kRight;
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(width)) - across));
    horizontalScrollBar()->setPageStep(std::max(across, 1));
    horizontalScrollBar()->setSingleStep(std::max(across / 10, 1));
    const int height = laneTops_.back() + kLegend;
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
}

void TunnelStrip::measureLanes() {
    QVector<int> stacks(layout_.lanes.size(), 1);
    for (const data::PlacedDevice& placed : layout_.placed) {
        stacks[placed.lane] = std::max(stacks[placed.lane], placed.stack + 1);
    }
    laneTops_ = {bandsHeight() + kMarks + 8};
    for (const int stack : stacks) {
        laneTops_.append(laneTops_.back() + laneHeight(stack));
    }
}

QRect TunnelStrip::glyphRect(const data::PlacedDevice& placed) const {
    const int top = laneTops_[placed.lane] - verticalScrollBar()->value();
    const int x = static_cast<int>(std::lround(xOf(placed.stake)));
    return {x - kGlyph / 2, top + 14 + placed.stack * kStackStep, kGlyph, kGlyph};
}

std::optional<int> TunnelStrip::deviceAt(const QPoint& point) const {
    if (devices_ == nullptr) {
        return std::nullopt;
    }
    for (const data::PlacedDevice& placed : layout_.placed) {
        if (shown(placed.device) && glyphRect(placed).adjusted(-2, -2, 2, 2).contains(point)) {
            return placed.device;
        }
    }
    return std::nullopt;
}

void TunnelStrip::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    if (devices_ == nullptr) {
        return;
    }
    paintAreas(painter);
    paintMarks(painter);
    paintLanes(painter);
    paintDevices(painter);
    paintLegend(painter);
}

int TunnelStrip::bandsHeight() const {
    return layout_.bandRows * kBands;
}

// Areas side by side fill the picture's height; areas over the same stakes (a tube each) fill
// only their own row of bands, their ends drawn down the lanes, so that none hides another.
void TunnelStrip::paintAreas(QPainter& painter) const {
    const int bottom = viewport()->height() - kLegend;
    const bool stacked = layout_.bandRows > 1;
    for (qsizetype i = 0; i < areas_.size(); ++i) {
        const data::TunnelArea& area = areas_[i];
        const int row = layout_.areaRows.value(i);
        const QColor fill = i % 2 == 0 ? QColor(235, 242, 250) : QColor(245, 245, 232);
        const QRectF label(QPointF(xOf(area.from), row * kBands),
                           QPointF(xOf(area.to), (row + 1) * kBands));
        if (stacked) {
            painter.fillRect(label, fill);
            painter.setPen(QColor(190, 200, 215));
            painter.drawLine(QPointF(label.left(), label.top()), QPointF(label.left(), bottom));
            painter.drawLine(QPointF(label.right(), label.top()), QPointF(label.right(), bottom));
        } else {
            painter.fillRect(QRectF(label.topLeft(), QPointF(label.right(), bottom)), fill);
        }
        painter.setPen(QColor(60, 80, 120));
        painter.drawText(label.adjusted(3, 2, -3, 0).toRect().intersected(viewport()->rect()),
                         Qt::AlignLeft | Qt::AlignTop, area.name);
    }
}

void TunnelStrip::paintMarks(QPainter& painter) const {
    const qint64 step = markStep(metresPerPixel_);
    const qint64 first = stakeAt(kLeft) / step * step;
    const qint64 last = stakeAt(viewport()->width());
    painter.setPen(QColor(90, 90, 90));
    for (qint64 stake = first; stake <= last; stake += step) {
        const double x = xOf(stake);
        if (x < kLeft) {
            continue;
        }
        painter.drawLine(QPointF(x, bandsHeight()), QPointF(x, bandsHeight() + 5));
        painter.drawText(QPointF(x + 2, bandsHeight() + kMarks - 4), data::stakeName(stake));
    }
}

void TunnelStrip::paintLanes(QPainter& painter) const {
    for (qsizetype lane = 0; lane < layout_.lanes.size(); ++lane) {
        const int top = laneTops_[lane] - verticalScrollBar()->value();
        painter.setPen(QColor(170, 170, 170));
        painter.drawLine(QPointF(kLeft, top + 8), QPointF(viewport()->width(), top + 8));
        painter.setPen(Qt::black);
        painter.drawText(QRect(4, top, kLeft - 8, 16), Qt::AlignLeft | Qt::AlignVCenter,
                         laneName(layout_.lanes[lane]));
    }
}

void TunnelStrip::paintDevices(QPainter& painter) const {
    // Zoomed out, many devices fall on one spot: the spot is drawn once, as its most urgent
    // device, ringed when any of them has an alert raised.
    struct Spot {
        QRect rect;
        int device;
        bool alert;
        bool selected;
    };
    QVector<Spot> spots;
    QHash<qint64, int> spotAt;
    const QRect visible = viewport()->rect().adjusted(kLeft - kGlyph, 0, kGlyph, 0);
    for (const data::PlacedDevice& placed : layout_.placed) {
        if (!shown(placed.device)) {
            continue;
        }
        const QRect rect = glyphRect(placed);
        if (!visible.intersects(rect)) {
            continue;
        }
        const data::TunnelDevice& device = (*devices_)[placed.device];
        const qint64 key = (qint64{rect.y()} << 32) | static_cast<quint32>(rect.x() / 3);
        auto at = spotAt.constFind(key);
        if (at == spotAt.constEnd()) {
            at = spotAt.insert(key, static_cast<int>(spots.size()));
            spots.append({rect, placed.device, false, false});
        }
        Spot& spot = spots[at.value()];
        if (urgency(device.state()) > urgency((*devices_)[spot.device].state())) {
            spot.device = placed.device;
        }
        spot.alert = spot.alert || device.alertRaised;
        spot.selected = spot.selected || selected_ == placed.device;
    }
    for (const Spot& spot : spots) {
        const data::TunnelDevice& device = (*devices_)[spot.device];
        painter.setBrush(TimelineChart::stateColour(device.state()));
        painter.setPen(QPen(Qt::black, 1));
        drawGlyph(painter, spot.rect, device.type);
        if (spot.alert) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(220, 0, 0), 2));
            painter.drawEllipse(spot.rect.adjusted(-3, -3, 3, 3));
        }
        if (spot.selected) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(palette().highlight().color(), 2, Qt::DashLine));
            painter.drawRect(spot.rect.adjusted(-4, -4, 4, 4));
        }
    }
}

QIcon TunnelStrip::glyphIcon(int type) {
    QPixmap picture(kGlyph + 4, kGlyph + 4);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(TimelineChart::stateColour(1));
    drawGlyph(painter, QRect(2, 2, kGlyph, kGlyph), type);
    return QIcon(picture);
}

void TunnelStrip::paintLegend(QPainter& painter) const {
    int x = 6;
    const int y = viewport()->height() - kLegend + 5;
    painter.fillRect(QRect(0, y - 5, viewport()->width(), kLegend), palette().base());
    for (const int state : {1, 2, 3, 4, 0}) {
        painter.setBrush(TimelineChart::stateColour(state));
        painter.setPen(Qt::black);
        painter.drawRect(x, y, kGlyph, kGlyph);
        const QString word = data::StatusText(state);
        painter.drawText(QPoint(x + kGlyph + 4, y + kGlyph), word);
        x += kGlyph + 12 + painter.fontMetrics().horizontalAdvance(word);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(220, 0, 0), 2));
    painter.drawEllipse(x, y - 1, kGlyph + 2, kGlyph + 2);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(x + kGlyph + 6, y + kGlyph), QStringLiteral("报警未取消"));
}

QString TunnelStrip::tipOf(int index) const {
    const data::TunnelDevice& device = (*devices_)[index];
    QString tip =
        QStringLiteral("%1 %2 %3\n%4 %5")
            .arg(data::deviceName(typeNames_, device.type, device.code), device.physics,
                 device.commData, device.stake ? data::stakeName(*device.stake) : QString(),
                 data::PositionText(device.position) + u'·' + data::SideText(device.side));
    tip += u'\n' + data::StatusText(device.state());
    if (device.changed && device.since.isValid()) {
        tip +=
            QStringLiteral(" 自 ") + device.since.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    if (device.alertRaised) {
        tip += QStringLiteral("\n报警：%1（%2）")
                   .arg(device.alertText,
                        device.alertAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    }
    return tip;
}

void TunnelStrip::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void TunnelStrip::scrollContentsBy(int, int) {
    viewport()->update();
}

void TunnelStrip::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0) {
        zoomBy(std::pow(1.25, steps), static_cast<int>(event->position().x()));
    }
    event->accept();
}

void TunnelStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (const std::optional<int> device = deviceAt(event->pos())) {
        select(device);
        return;
    }
    dragFrom_ = event->pos().x();
    dragScroll_ = horizontalScrollBar()->value();
}

void TunnelStrip::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0 && dragFrom_ >= 0) {
        horizontalScrollBar()->setValue(dragScroll_ - (event->pos().x() - dragFrom_));
    } else {
        dragFrom_ = -1;
    }
}

void TunnelStrip::mouseDoubleClickEvent(QMouseEvent* event) {
    if (const std::optional<int> device = deviceAt(event->pos())) {
        select(device);
        emit deviceOpened(*device);
    }
}

void TunnelStrip::keyPressEvent(QKeyEvent* event) {
    const int middle = kLeft + (viewport()->width() - kLeft - kRight) / 2;
    if (event->matches(QKeySequence::ZoomIn) ||
        (event->modifiers() & Qt::ControlModifier && event->key() == Qt::Key_Equal)) {
        zoomBy(2, middle);
    } else if (event->matches(QKeySequence::ZoomOut)) {
        zoomBy(0.5, middle);
    } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && selected_) {
        emit deviceOpened(*selected_);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void TunnelStrip::contextMenuEvent(QContextMenuEvent* event) {
    if (const std::optional<int> device = deviceAt(event->pos())) {
        select(device);
        emit deviceMenuAsked(*device, event->globalPos());
    }
}

bool TunnelStrip::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const std::optional<int> device = deviceAt(help->pos())) {
            QToolTip::showText(help->globalPos(), tipOf(*device), viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace tunnel::history
