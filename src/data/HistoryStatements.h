#pragma once

#include "platform/db/KeysetSql.h"

#include <QDate>
#include <QString>

namespace tunnel::data {

// The state history's statement for a range of days, a type code (0: all) and the number box's
// text ("所有设备" or empty: all), composed as the installation's other programs expect it.
QString stateHistoryStatement(const QDate& begin, const QDate& end, int type, const QString& code);

// The alert history's statement for a range of days, a type code and a device number (0: all).
QString alertHistoryStatement(const QDate& begin, const QDate& end, int type, int device);

// The alert window's opening statement: the 100 newest alerts.
QString newestAlertsStatement();

// The order the history grids read in: by time, then device (the order the time indexes yield),
// oldest first unless `newestFirst`. Rows the same in every column are told apart by count.
db::GridOrder stateHistoryOrder(bool newestFirst);
db::GridOrder alertHistoryOrder(bool newestFirst);

}  // namespace tunnel::data
