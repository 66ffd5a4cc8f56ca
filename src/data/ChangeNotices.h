#pragma once

#include <QString>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// The channel on which a PostgreSQL server says that DEVICE, DEVICESTATUS or DEVICEALERT was
// written (the notice's text names the table): statement triggers, so that a bulk load pays one
// notice a statement, kept by the server for every writer that goes through the tables (a
// program writing straight into one month's partition is not heard).
inline constexpr char kChangeChannel[] = "tunnel_changes";
// The channel on which it says that AREA or DEVICETYPE, the catalogues every window reads as it
// opens, was written; a channel of its own, so that those who keep the catalogues are not woken
// by every change of state.
inline constexpr char kCatalogueChannel[] = "tunnel_catalogue";

bool hasChangeNotices(db::Database& db);
bool hasCatalogueNotices(db::Database& db);
// Adds the triggers of both channels where they are missing (PostgreSQL only); whether it added
// any.
bool addChangeNotices(db::Database& db);
void dropChangeNotices(db::Database& db);

}  // namespace tunnel::data
