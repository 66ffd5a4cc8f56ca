#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

namespace tunnel::text {

// A JSON object of the names and values in their order (a JSON reader takes any order, a person
// reads the columns as the table has them): null as null, whole numbers as numbers, everything
// else as a string with JSON's escapes, other characters as they are.
QString jsonObject(const QStringList& names, const QVariantList& values);

// A text as a JSON string, in its quotes, with JSON's escapes.
QString jsonString(const QString& text);

// The values of a flat JSON object as they are written in it (a string's text between its
// quotes, escapes as written; a number, null, true or false as written), without the names and
// the punctuation; none when the text is not such an object.
std::optional<QStringList> jsonObjectValues(const QString& text);

}  // namespace tunnel::text
