#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace tunnel::text {

// A JSON object of the names and values in their order (a JSON reader takes any order, a person
// reads the columns as the table has them): null as null, whole numbers as numbers, everything
// else as a string with JSON's escapes, other characters as they are.
QString jsonObject(const QStringList& names, const QVariantList& values);

}  // namespace tunnel::text
