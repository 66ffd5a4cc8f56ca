#pragma once

#include <QDateTime>

#include <functional>

namespace tunnel::db {
class Database;
}

namespace tunnel::tools {

struct GenerateOptions {
    qint64 devices = 0;
    qint64 alerts = 0;
    qint64 states = 0;
    int years = 3;  // history reaches this far back from `now`
    unsigned seed = 1;
    QDateTime now = QDateTime::currentDateTime();
};

// Reports progress of one table: its name, rows written, rows asked for.
using GenerateProgress = std::function<void(const QString& table, qint64 done, qint64 total)>;

// Adds large volumes for benchmarks: devices spread over the device types (the demo types are
// added when DEVICETYPE is empty), numbered on from the highest number of each type, and state
// changes and alerts of those devices in time order.
void generate(db::Database& db, const GenerateOptions& options, const GenerateProgress& progress);

}  // namespace tunnel::tools
