#pragma once

#include <QDateTime>

namespace tunnel::db {
class Database;
}

namespace tunnel::tools {

// A small, believable installation: areas, device types (12 message sign, 24 gateway, 27 PLC
// among them), some dozens of devices with their connections, gateway wiring parameters and
// wiring, PLC mappings, and some weeks of state changes and alerts up to `now`.
void loadDemoData(db::Database& db, const QDateTime& now);

}  // namespace tunnel::tools
