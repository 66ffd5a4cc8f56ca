#pragma once

#include "platform/db/KeysetSql.h"

#include <QDateTime>
#include <QString>

namespace tunnel::db {
class GridModel;
}

namespace tunnel::data {

// The timeline's list: one device's state changes and alerts over [from, to], newest first,
// read by a grid a batch at a time (a busy device's year is thousands of rows). A state change
// lasts to the next change in the range, to the range's end when that is past (`now`), or "至今".
QString timelineListStatement(int deviceType, int deviceCode, const QDateTime& from,
                              const QDateTime& to, const QDateTime& now);
db::GridOrder timelineListOrder();

// The list's four columns, 时间, 类别, 内容, 持续时间, and the fields they are made of.
void bindTimelineColumns(db::GridModel& model);

}  // namespace tunnel::data
