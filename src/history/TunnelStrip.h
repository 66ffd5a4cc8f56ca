#pragma once

#include "data/TunnelView.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QIcon>

#include <optional>

namespace tunnel::history {

// The tunnel drawn along its stakes: kilometre marks, the areas as labelled bands, a lane for
// each carriageway and side, each device a glyph of its type at its stake in its state's colour
// (devices at one stake stacked), a red ring while its latest alert row raises one. The wheel
// and Ctrl+= / Ctrl+- zoom from the whole tunnel down to 50 m across, dragging or the scroll bar
// pans; a click selects a device, a double click or Enter opens it.
class TunnelStrip : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TunnelStrip(QWidget* parent);

    // `devices` must outlive the strip's use of them (the window holds them).
    void setTunnel(const QVector<data::TunnelDevice>* devices,
                   const QVector<data::TunnelArea>& areas);
    // The devices were read again (added, moved, removed): laid out afresh, the same stakes kept
    // in view at the same zoom, `selected` chosen.
    void devicesChanged(std::optional<int> selected);
    // The devices drawn: all, or those of one type.
    void setTypeFilter(std::optional<int> type);
    // A type's glyph as the picture draws it, for the key beside its name in a list of types.
    static QIcon glyphIcon(int type);
    // The types' names, for what a device's tip calls it.
    void setTypeNames(QHash<int, QString> names) { typeNames_ = std::move(names); }
    // The state or alert of a device changed: drawn again.
    void refresh();
    std::optional<int> selected() const { return selected_; }
    const data::TunnelLayout& layout() const { return layout_; }
    void select(std::optional<int> device);
    // Selects the device and pans so that it is in the middle.
    void centreOn(int device);
    // Metres across the view at the current zoom.
    double metresAcross() const;
    void zoomBy(double factor, int aroundX);

signals:
    void selectionChanged(int device);
    void deviceOpened(int device);
    void deviceMenuAsked(int device, const QPoint& globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // The scale (metres a pixel) kept between 50 m across and the whole tunnel across.
    double boundedScale(double metresPerPixel) const;
    double xOf(qint64 stake) const;
    qint64 stakeAt(double x) const;
    QRect glyphRect(const data::PlacedDevice& placed) const;
    std::optional<int> deviceAt(const QPoint& point) const;
    bool shown(int device) const;
    void updateScrollBar();
    void measureLanes();
    // The height of the areas' rows of bands above the kilometre marks.
    int bandsHeight() const;
    void paintAreas(QPainter& painter) const;
    void paintMarks(QPainter& painter) const;
    void paintLanes(QPainter& painter) const;
    void paintDevices(QPainter& painter) const;
    void paintLegend(QPainter& painter) const;
    QString tipOf(int device) const;

    const QVector<data::TunnelDevice>* devices_ = nullptr;
    QVector<data::TunnelArea> areas_;
    data::TunnelLayout layout_;
    std::optional<int> typeFilter_;
    std::optional<int> selected_;
    QVector<int> laneTops_{0};  // each lane's top and, last, the bottom of the last
    double metresPerPixel_ = 1;
    int dragFrom_ = -1;
    int dragScroll_ = 0;
    QHash<int, QString> typeNames_;
};

}  // namespace tunnel::history
