#pragma once

#include <QString>
#include <QVariant>

namespace tunnel::db {

// How a column value reads, whatever engine delivered it: NULL is 0 or the empty text; a
// date-time reads as yyyy-mm-dd hh:mm:ss.zzz, the form in which SQLite stores it.
int integerOf(const QVariant& value);
QString textOf(const QVariant& value);
// A date-time as a grid shows it: yyyy-mm-dd hh:mm:ss, to the second.
QString dateTimeText(const QVariant& value);

}  // namespace tunnel::db
