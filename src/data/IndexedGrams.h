#pragma once

#include <QString>

#include <optional>

namespace tunnel::data {

// On PostgreSQL, the expression of the search index (SearchIndex.h): every piece of one, two
// and three characters of a device's number, physical number and connection parameters, as
// upper() leaves them. A condition on DEVICE must name it exactly so for the index to serve it.
extern const QString kIndexedGrams;

// The condition on DEVICE, served by that index, that every device holding `text` (a substring
// as the device search matches it, upper-cased) meets: it holds the text's own piece, or each of
// its three-character pieces. `exact`: only those devices meet it (a text of three characters
// or fewer); others may meet it too, and the search's own condition decides. None when the
// index cannot answer for the text: a control character, or a letter beyond ASCII that has a
// case (the server's upper() may fold it otherwise than this program).
struct GramsHolding {
    QString condition;
    bool exact = false;
};
std::optional<GramsHolding> gramsHolding(const QString& text);

}  // namespace tunnel::data
