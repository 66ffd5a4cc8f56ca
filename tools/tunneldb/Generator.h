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
    qint64 gateways = 0;  // devices of type 24, numbered on past the editor's 999 if need be
    qint64 wiring = 0;    // NGCONFIG rows spread over every gateway
    qint64 mappings = 0;  // PLCCONFIG rows, every bit of PLC 1's registers, then PLC 2's, ...
    int years = 3;        // history reaches this far back from `now`
    unsigned seed = 1;
    QDateTime now = QDateTime::currentDateTime();
};

// Reports progress of one table: its name, rows written, rows asked for.
using GenerateProgress = std::function<void(const QString& table, qint64 done, qint64 total)>;

// Adds large volumes for benchmarks: devices spread over the device types (the demo types are
// added when DEVICETYPE is empty), numbered on from the highest number of each type, and state
// changes and alerts of those devices in time order; gateways and wiring rows that tie the
// generated devices' parameters to their terminals (a gateway given more rows than its 32
// terminals gets clashes, as a busy installation's other programs can write them), and a
// wiring catalogue of four parameters, one per port kind, for every type when it is empty (for
// the wiring and the PLC mappings alike).
void generate(db::Database& db, const GenerateOptions& options, const GenerateProgress& progress);

}  // namespace tunnel::tools
