#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "platform/db/Engine.h"

namespace tunnel::db {

// How a column value reads, whatever engine delivered it: NULL is 0 or the empty text; a
// date-time reads as yyyy-mm-dd hh:mm:ss.zzz, the form in which SQLite stores it.
int integerOf(const QVariant& value);
QString textOf(const QVariant& value);
// A text column read as its stored bytes (SQLite's `CAST(column AS BLOB)`) as the program that
// wrote it meant them: UTF-8, or GBK (text::fromStoredText); any other value as textOf reads it.
QString storedTextOf(const QVariant& value);
// A text column as a statement reads it for storedTextOf: on SQLite its stored bytes, which
// other programs write in GBK as well as UTF-8; elsewhere the column itself.
QString storedTextColumn(Engine engine, const QString& column);
// yyyy-mm-dd hh:mm:ss.zzz (`between` the date and the time), by its fixed places: bulk loads
// write millions of these, where a format parser costs more than the row.
QString storedTimeText(const QDateTime& at, char16_t between = u' ');
// A date-time as a grid shows it: yyyy-mm-dd hh:mm:ss, to the second.
QString dateTimeText(const QVariant& value);

}  // namespace tunnel::db
