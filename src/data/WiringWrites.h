#pragma once

#include "data/GatewayPorts.h"

#include <QList>
#include <QPair>
#include <QString>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// What another station or program took between the opening of a port assignment and its save.
struct WiringConflicts {
    QList<QPair<int, int>> takenTerminals;  // (port kind, terminal) of the pending assignments
    bool deviceWired = false;
    bool deviceGone = false;

    bool any() const { return !takenTerminals.isEmpty() || deviceWired || deviceGone; }
    // For the operator, naming the device ("摄像机(7)") and what was taken; after a save whose
    // outcome was unknown, a wired device is most likely that save's own work.
    QString message(const QString& deviceName, int gatewayCode, bool afterUnknownOutcome) const;
};

// One device's pending wiring to one gateway.
struct WiringClaim {
    int gatewayCode = 0;
    int deviceType = 0;
    int deviceCode = 0;
    QVector<TConnectParam> params;  // those with a terminal are stored
};

// Stores the claim's rows and marks the device wired, in one transaction on `db`, after
// checking under a lock that no other save can pass meanwhile (the gateway's and the device's
// rows of DEVICE) that every terminal is still free and the device still unwired. Returns the
// conflicts found, with nothing written, or none when the claim was stored. Throws DbError;
// CommitOutcomeUnknown when the answer to COMMIT was lost.
WiringConflicts storeWiring(db::Database& db, const WiringClaim& claim);

// Removes one device's wiring from one gateway and, when no wiring row of that device remains
// on any gateway, marks it unwired: both in one transaction. Throws DbError.
void removeDeviceWiring(db::Database& db, int gatewayCode, int deviceType, int deviceCode);

// The terminals that stored rows of the gateway take, as (port kind, terminal).
QList<QPair<int, int>> readGatewayTerminals(db::Database& db, int gatewayCode);

}  // namespace tunnel::data
