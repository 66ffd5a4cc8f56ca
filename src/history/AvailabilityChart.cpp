#include "history/AvailabilityChart.h"

#include "data/AvailabilityPdf.h"

#include <QPainter>

namespace tunnel::history {

AvailabilityChart::AvailabilityChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pbChart"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void AvailabilityChart::setReport(const data::AvailabilityReport& report,
                                  const data::ReportNames& names) {
    report_ = report;
    names_ = names;
    update();
}

void AvailabilityChart::paintEvent(QPaintEvent*) {
    if (!names_.area) {
        return;
    }
    QPainter painter(this);
    data::paintAvailabilityChart(painter, rect().adjusted(6, 6, -6, -6), report_, names_);
}

}  // namespace tunnel::history
