#pragma once

#include "data/Timeline.h"

#include <QWidget>

namespace tunnel::history {

// A device's range at a glance: a band coloured by the state in force at each moment, and the
// alerts raised each day as bars below it, with a legend of the state colours.
class TimelineChart : public QWidget {
    Q_OBJECT
public:
    explicit TimelineChart(QWidget* parent);

    void setTimeline(const data::Timeline& timeline, const QDateTime& from, const QDateTime& end);

    static QColor stateColour(int state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintBand(QPainter& painter, const QRect& area) const;
    void paintBars(QPainter& painter, const QRect& area) const;
    void paintLegend(QPainter& painter, int top) const;
    int xOf(const QDateTime& at, const QRect& area) const;

    QVector<data::StatePeriod> periods_;
    QVector<QPair<QDate, int>> raisedPerDay_;
    QDateTime from_;
    QDateTime end_;
};

}  // namespace tunnel::history
