#pragma once

#include "data/SearchIndex.h"

#include <QString>

#include <optional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// A place on the road: kilometre and metre, compared as numbers (K9+999 lies before K10+000).
struct Stake {
    int kilometre = 0;
    int metre = 0;
};

// "K12+345", "k12+345" or "12+345" (blanks around it allowed), a kilometre alone ("K12",
// "K12+") as its first metre; none for anything else, a metre of 1000 or more included.
std::optional<Stake> parseStake(const QString& text);

// What the operator asks for in the device search.
struct DeviceSearch {
    enum class Side { All, Inside, Outside };
    QString text;               // any text; a stake form ("K12+3") matches stakes
    std::optional<Stake> from;  // inclusive; the two bounds in either order
    std::optional<Stake> to;    // inclusive
    Side side = Side::All;
    std::optional<int> onlyType;  // the gateways of the wiring list
    bool reachedByPlc = false;    // the devices of the PLC windows
};

// The devices matching the search, by the database: the text as a substring, case-insensitive,
// of the number, the physical number, the connection parameters, the type's or the area's name,
// as the grids show them (texts another program stored in GBK too); a text of a stake's form
// matches the stakes it starts ("K12+3": kilometre 12, metres from 3). `how`: what the
// database offers (SearchIndex.h); its index is asked first, on `db`, whether the text is rare
// enough to be looked up in it. Throws DbError.
QString deviceSearchStatement(db::Database& db, const DeviceSearch& search, TextSearch how);

}  // namespace tunnel::data
