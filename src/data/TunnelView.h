#pragma once

#include "data/CodeName.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>
#include <vector>

namespace tunnel::db {
class Database;
class SideSession;
}  // namespace tunnel::db

namespace tunnel::data {

// A device as the tunnel view shows it: where the register places it and the state it is in.
struct TunnelDevice {
    int type = 0;
    int code = 0;
    QString physics;
    QString commData;
    int position = 0;             // carriageway (1 上行, 2 下行), as stored
    int side = 0;                 // 1 内, 2 外, as stored
    std::optional<qint64> stake;  // metres from K0+000; none when the register gives none
    int registered = 0;           // DEVICE.STATUS
    std::optional<int> changed;   // CURSTATUS of its latest state change
    QDateTime since;              // that change's time
    bool alertRaised = false;     // its latest alert row raises one
    QString alertText;
    QDateTime alertAt;

    // The state it is in: its latest change's, else the register's.
    int state() const { return changed.value_or(registered); }
};

struct TunnelArea {
    int code = 0;
    QString name;
    qint64 from = 0;  // metres
    qint64 to = 0;
};

// The areas with their stakes and the device types, as the view reads them at its open.
struct TunnelCatalogues {
    QVector<TunnelArea> areas;
    CodeNameList types;
};

// A state change or an alert row, for the live list.
struct TunnelEvent {
    QDateTime at;
    int type = 0;
    int code = 0;
    bool alert = false;  // an alert row; a state change otherwise
    int value = 0;       // CURSTATUS, or ALERTTYPE
    QString text;        // ALERTDESC
};

// One lane a carriageway and side: the devices of a lane are drawn on one line along the stakes.
struct TunnelLane {
    int position = 0;
    int side = 0;
};

struct PlacedDevice {
    int device = 0;  // index into the devices
    int lane = 0;
    qint64 stake = 0;
    int stack = 0;  // 0 for the first device at its stake in its lane, 1 for the next, ...
};

struct TunnelLayout {
    QVector<TunnelLane> lanes;  // by carriageway, then side
    QVector<PlacedDevice> placed;
    QVector<int> unplaced;  // devices without a stake, listed apart
    qint64 from = 0;        // the stakes the picture spans (devices and areas), metres
    qint64 to = 0;
    // Each area's row of bands: areas that overlap (one for each tube over the same stakes)
    // take rows of their own, so that each is seen; the first row that is free at its start.
    QVector<int> areaRows;
    int bandRows = 1;
};

// Where every device goes: a lane for each carriageway and side that devices have, each device
// at its stake, devices at one stake in one lane stacked in the order of type and number.
TunnelLayout layOutTunnel(const QVector<TunnelDevice>& devices, const QVector<TunnelArea>& areas);

// "K12+345" for a stake in metres.
QString stakeName(qint64 metres);

// What is wrong now, worst first: devices in fault with an alert raised, in fault, without
// communication, then those whose latest alert row raises one (by type and number within each);
// and how many devices are in each of those.
struct WrongNow {
    QVector<int> devices;  // indexes into the devices
    int faults = 0;
    int lost = 0;
    int alerting = 0;
};
WrongNow wrongNow(const QVector<TunnelDevice>& devices);

// A device as the operator names it: its type's name and its number ("摄像机 11"); a type the
// catalogue does not name shows as its code ("设备类型 88 11").
QString deviceName(const QHash<int, QString>& typeNames, int type, int code);

// Every device, in the order of type and number, with (`withLatestRows`) its latest state change
// and alert row looked up in the histories, or without them. On a server the look-ups are read
// in two halves at once, the second on a session of its own. Throws DbError.
QVector<TunnelDevice> readTunnelDevices(db::Database& db, bool withLatestRows);
// Takes into `shown` what `read` has of each device's latest rows where it is newer than what
// `shown` has (a look may have brought newer rows meanwhile).
void takeLatestRows(QVector<TunnelDevice>& shown, const QVector<TunnelDevice>& read);

// Every device's latest rows read on sessions and threads of their own (on a server two, each
// reading half), while the caller shows the register: the look-ups take the time of the
// register's size in the histories' indexes (a second or two at 100,000 devices), which the
// caller's thread must not wait for. Started at a window's open, the sessions open beside the
// window's own, kept sessions lent where there are (LentSession.h).
class LatestRowsReading {
public:
    explicit LatestRowsReading(const QString& connectionString);
    // Waits for the reads to end.
    ~LatestRowsReading();
    LatestRowsReading(const LatestRowsReading&) = delete;
    LatestRowsReading& operator=(const LatestRowsReading&) = delete;

    bool ready() const;
    // The devices read (readTunnelDevices with their latest rows); throws the DbError that ended
    // the read. Once ready.
    QVector<TunnelDevice> take();

private:
    QVector<TunnelDevice> even_;  // or all of them, read in one
    QVector<TunnelDevice> odd_;
    std::vector<std::unique_ptr<db::SideSession>> sides_;
};

// Reads the tunnel for the view and, after, only what other programs wrote since: state changes
// and alerts after the newest seen (their times; rows at that very time already seen are passed
// over), the register's devices again only when it changed. Throws DbError.
class TunnelFeed {
public:
    explicit TunnelFeed(db::Database& db);
    ~TunnelFeed();
    TunnelFeed(const TunnelFeed&) = delete;
    TunnelFeed& operator=(const TunnelFeed&) = delete;

    // Whether another connection may have written since the last look: SQLite's data version
    // tells; elsewhere always. Notes meanwhile whether the register was written.
    bool changedSinceLastLook();
    // Whether the register was written since this was last asked (another station added, moved
    // or edited a device): its devices are then read again.
    bool takeRegisterChange();
    // Every device with its latest history rows.
    QVector<TunnelDevice> readDevices();
    // Every device as the register places it, without its history rows: a read of the
    // register's size, whatever the histories hold.
    QVector<TunnelDevice> readRegister();
    QVector<TunnelArea> readAreas();
    TunnelCatalogues readCatalogues();
    // The newest `count` events, newest first; what follows them is what `readNew` gives.
    QVector<TunnelEvent> readNewest(int count);
    // The events written since the last read, oldest first; after a failed read, the next one
    // gives what it missed.
    QVector<TunnelEvent> readNew();

private:
    // The newest time read of a table, as stored, and the rows read at that very time.
    struct Seen {
        QString time = QStringLiteral("1900-01-01 00:00:00.000");
        QSet<QString> keys;
    };
    QVector<TunnelEvent> readSince(bool alert);
    // Takes note of events read, oldest first.
    void see(bool alert, const QVector<TunnelEvent>& events);
    QString registerPrint();

    db::Database& db_;
    // SQLite's data version at the last look, and at the last look whose rows were read.
    std::optional<qint64> lookedVersion_;
    std::optional<qint64> readVersion_;
    // The register's print at its last read.
    QString registerPrint_;
    bool registerChanged_ = false;
    Seen states_;
    Seen alerts_;
};

}  // namespace tunnel::data
