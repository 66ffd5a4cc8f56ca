#pragma once

#include "data/Availability.h"

#include <QWidget>

namespace tunnel::history {

// The bars of 完好率 by area and type of a report, as its PDF draws them.
class AvailabilityChart : public QWidget {
    Q_OBJECT
public:
    explicit AvailabilityChart(QWidget* parent);
    void setReport(const data::AvailabilityReport& report, const data::ReportNames& names);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    data::AvailabilityReport report_;
    data::ReportNames names_;
};

}  // namespace tunnel::history
