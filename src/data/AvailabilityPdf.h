#pragma once

#include "data/Availability.h"

#include <QString>

#include <functional>

class QPainter;
class QRect;

namespace tunnel::data {

// The bars of 完好率 by area and type, as the window and the PDF draw them.
void paintAvailabilityChart(QPainter& painter, const QRect& area, const AvailabilityReport& report,
                            const ReportNames& names);

// The report as an A4 PDF in Chinese (the fonts it uses embedded): title, installation and
// range, the totals, the chart, the worst devices and when it was made. Throws DbError when the
// file cannot be written.
void writeAvailabilityPdf(const AvailabilityReport& report, const ReportNames& names,
                          const QDateTime& made, const QString& path);

}  // namespace tunnel::data
