#pragma once

#include <QStringList>

#include <optional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// Held by this many devices, a text is met within the first few hundred devices read in key
// order on any register (a 256-row batch then reads about 256 * devices / held rows), which
// costs less than the look-up and sort of this many matches.
constexpr int kHeldByMany = 2000;

// The search index's answer for a text a device search matches as a substring of the number,
// the physical number or the connection parameters, asked before the register is read: the
// index's tokens one of which every device holding the text holds (none: no device holds it);
// or nothing, when reading the register in key order is the faster way: so many devices hold
// the text that the first of them come at once (from the index all of them would be sorted
// first), or the text is not one the index can answer for. For a database with the current
// index (TextSearch::Index). Throws DbError.
std::optional<QStringList> indexTokensOf(db::Database& db, const QString& text);

}  // namespace tunnel::data
