#include "data/TunnelView.h"

#include "data/DeviceKey.h"
#include "data/Partitions.h"
#include "data/Timeline.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/SideSession.h"
#include "platform/db/ValueText.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <array>
#include <numeric>
#include <tuple>
#include <utility>

namespace tunnel::data {
namespace {

// A stake as the road's stakes go, K0+000 to K9999+999; none for a register's row without one
// or with one no road has (a kilometre below zero or beyond, a metre outside 0 to 999): one
// such device would otherwise stretch the picture over millions of kilometres.
std::optional<qint64> stakeOf(const QVariant& kilometres, const QVariant& metres) {
    constexpr qint64 kLastKilometre = 9999;
    constexpr qint64 kMetresInAKilometre = 1000;
    if (kilometres.isNull() && metres.isNull()) {
        return std::nullopt;
    }
    const qint64 kilometre = db::integerOf(kilometres);
    const qint64 metre = db::integerOf(metres);
    if (kilometre < 0 || kilometre > kLastKilometre || metre < 0 || metre >= kMetresInAKilometre) {
        return std::nullopt;
    }
    return kilometre * kMetresInAKilometre + metre;
}

std::optional<int> optionalInt(const QVariant& value) {
    return value.isNull() ? std::nullopt : std::optional<int>(db::integerOf(value));
}

// The latest row of a history table for the device of the outer query.
QString latestOf(const QString& column, const QString& table, const QString& time) {
    return QStringLiteral(
               "(select top 1 h.%1 from %2 h where h.DEVICETYPE=d.DEVICETYPE and "
               "h.DEVICECODE=d.DEVICECODE order by h.%3 desc)")
        .arg(column, table, time);
}

// The key of an event read, to pass over it when it is read again at the same time.
QString eventKey(const TunnelEvent& event) {
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(event.type)
        .arg(event.code)
        .arg(db::storedTimeText(event.at))
        .arg(event.value)
        .arg(event.text);
}

TunnelEvent eventOf(const QVariantList& row, bool alert) {
    return {wallClockOf(row[2]),   db::integerOf(row[0]),   db::integerOf(row[1]), alert,
            db::integerOf(row[3]), db::storedTextOf(row[4])};
}

// A print of the register that every insert, update and delete moves: on PostgreSQL its rows
// counted and their inserting transactions summed; on SQLite its rows counted and a hash of
// their values summed (a read of this connection's own, SQLite has no row versions); elsewhere
// its rows counted and its key and place summed. A read of the register's size, never a write.
QString registerPrintOf(db::Engine engine) {
    switch (engine) {
        case db::Engine::PostgreSQL:
            return QStringLiteral(
                "(select count(*) || ':' || coalesce(sum(xmin::text::bigint), 0) from DEVICE)");
        case db::Engine::SQLite:
            return QStringLiteral(
                "(select count(*) || ':' || coalesce(rows_print(DEVICETYPE, DEVICECODE, POSITION, "
                "SIDE, MILIMETER, METER, STATUS, PHYSICS, COMMDATA), 0) from DEVICE)");
        case db::Engine::SqlServer:
            break;
    }
    return QStringLiteral(
        "(select cast(count(*) as varchar(20)) + ':' + cast(checksum_agg(checksum(*)) as "
        "varchar(20)) from DEVICE)");
}

QString historySelect(db::Engine engine, bool alert) {
    return alert ? QStringLiteral(
                       "select DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, %1 AS ALERTDESC from "
                       "DEVICEALERT")
                       .arg(db::storedTextColumn(engine, QStringLiteral("ALERTDESC")))
                 : QStringLiteral(
                       "select DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS, %1 AS REMARK from "
                       "DEVICESTATUS")
                       .arg(db::storedTextColumn(engine, QStringLiteral("REMARK")));
}

QString timeColumn(bool alert) {
    return alert ? QStringLiteral("ALERTTIME") : QStringLiteral("STATUSTIME");
}

}  // namespace

QString stakeName(qint64 metres) {
    const qint64 kilometres = metres / 1000;
    return QStringLiteral("K%1+%2")
        .arg(kilometres)
        .arg(metres - kilometres * 1000, 3, 10, QLatin1Char('0'));
}

namespace {

// Areas in the order of their start, each in the first row whose areas end by then.
QVector<int> areaRowsOf(const QVector<TunnelArea>& areas) {
    QVector<int> order(areas.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return areas[a].from < areas[b].from; });
    QVector<int> rows(areas.size(), 0);
    QVector<qint64> rowEnds;
    for (const int index : order) {
        const TunnelArea& area = areas[index];
        qsizetype row = 0;
        while (row < rowEnds.size() && rowEnds[row] > area.from) {
            ++row;
        }
        if (row == rowEnds.size()) {
            rowEnds.append(area.to);
        } else {
            rowEnds[row] = area.to;
        }
        rows[index] = static_cast<int>(row);
    }
    return rows;
}

}  // namespace

TunnelLayout layOutTunnel(const QVector<TunnelDevice>& devices, const QVector<TunnelArea>& areas) {
    TunnelLayout layout;
    QMap<std::pair<int, int>, int> laneOf;
    for (const TunnelDevice& device : devices) {
        if (device.stake) {
            laneOf.insert({device.position, device.side}, 0);
        }
    }
    for (auto it = laneOf.begin(); it != laneOf.end(); ++it) {
        it.value() = static_cast<int>(layout.lanes.size());
        layout.lanes.append({it.key().first, it.key().second});
    }
    QVector<int> order(devices.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return std::tuple(devices[a].type, devices[a].code) <
               std::tuple(devices[b].type, devices[b].code);
    });
    QHash<std::pair<int, qint64>, int> stacked;
    bool any = false;
    for (const int index : order) {
        const TunnelDevice& device = devices[index];
        if (!device.stake) {
            layout.unplaced.append(index);
            continue;
        }
        const int lane = laneOf.value({device.position, device.side});
        const qint64 stake = *device.stake;
        layout.placed.append({index, lane, stake, stacked[{lane, stake}]++});
        layout.from = any ? std::min(layout.from, stake) : stake;
        layout.to = any ? std::max(layout.to, stake) : stake;
        any = true;
    }
    layout.areaRows = areaRowsOf(areas);
    for (const int row : std::as_const(layout.areaRows)) {
        layout.bandRows = std::max(layout.bandRows, row + 1);
    }
    for (const TunnelArea& area : areas) {
        layout.from =
            any ? std::min({layout.from, area.from, area.to}) : std::min(area.from, area.to);
        layout.to = any ? std::max({layout.to, area.from, area.to}) : std::max(area.from, area.to);
        any = true;
    }
    return layout;
}

TunnelFeed::TunnelFeed(db::Database& db) : db_(db) {}

TunnelFeed::~TunnelFeed() = default;

// SQLite says whether another connection wrote the file since the last look; a server is read
// at every look (its histories' time indexes find what came after the newest row seen). The
// register is read again when its print moved.
bool TunnelFeed::changedSinceLastLook() {
    if (db_.engine() == db::Engine::SQLite) {
        qint64 version = 0;
        db_.forEachRow(QStringLiteral("PRAGMA data_version"), {},
                       [&](const QVariantList& row) { version = row[0].toLongLong(); });
        lookedVersion_ = version;
        if (readVersion_ && version == *readVersion_) {
            return false;
        }
    }
    registerChanged_ = registerChanged_ || registerPrint() != registerPrint_;
    return true;
}

QString TunnelFeed::registerPrint() {
    const QString sql = QStringLiteral("select %1").arg(registerPrintOf(db_.engine()));
    QString print;
    db_.forEachRow(
        sql, {}, [&](const QVariantList& row) { print = row[0].toString(); },
        db::Database::Written::ForEngine);
    return print;
}

bool TunnelFeed::takeRegisterChange() {
    return std::exchange(registerChanged_, false);
}

namespace {

TunnelDevice tunnelDeviceOf(const QVariantList& row) {
    TunnelDevice device;
    device.type = db::integerOf(row[0]);
    device.code = db::integerOf(row[1]);
    device.physics = db::storedTextOf(row[2]).trimmed();
    device.commData = db::storedTextOf(row[3]).trimmed();
    device.position = db::integerOf(row[4]);
    device.side = db::integerOf(row[5]);
    device.stake = stakeOf(row[6], row[7]);
    device.registered = db::integerOf(row[8]);
    device.changed = optionalInt(row[9]);
    device.since = wallClockOf(row[10]);
    device.alertRaised = db::integerOf(row[11]) > 0;
    device.alertText = db::storedTextOf(row[12]);
    device.alertAt = wallClockOf(row[13]);
    return device;
}

// On a server the devices' latest rows are read in two halves at once, each on a session of its
// own: the server's look-ups and the driver's reading of the rows take two processors. The
// halves are the even and the odd numbers, which needs no statement to find where to cut.
bool readsInHalves(db::Engine engine) {
    return engine == db::Engine::PostgreSQL;
}

// A device's latest row of a history on a server (`h.` before each of `columns` but the first).
// A partitioned history is looked in month by month, each look reading one partition and the
// first row found ending it: looked in at once, every partition's index is read for every
// device (93 s for 100,000 devices over forty months). The looks begin at the month of the
// history's newest row (the empty months ahead cost a read a device each; a row written after
// comes with the window's next look), rows without a time first when there are any, as the
// plain history's descending order puts them.
QString latestRowOnServer(db::Database& db, const QString& columns, const QString& table,
                          const QString& time, const QList<QDate>& months) {
    const QString lookUp = QStringLiteral(
                               "(select h.%1 from %2 h where h.DEVICETYPE=d.DEVICETYPE and "
                               "h.DEVICECODE=d.DEVICECODE%4 order by h.%3 desc limit 1)")
                               .arg(columns, table, time);
    if (months.isEmpty()) {
        return lookUp.arg(QString());
    }
    std::optional<QDate> newest;
    bool timeless = false;
    db.forEachRow(QStringLiteral("select to_char(max(%1), 'YYYY-MM-01'), exists (select 1 from "
                                 "%2 where %1 is null) from %2")
                      .arg(time, table),
                  {}, [&](const QVariantList& row) {
                      if (!row[0].isNull()) {
                          newest = QDate::fromString(row[0].toString(), Qt::ISODate);
                      }
                      timeless = row[1].toBool();
                  });
    QStringList looks;
    if (timeless) {
        looks.append(lookUp.arg(QStringLiteral(" and h.%1 is null").arg(time)));
    }
    if (newest) {
        QList<QDate> bounds{*newest};
        for (const QDate month : months) {
            if (month < *newest) {
                bounds.append(month);
            }
        }
        std::sort(bounds.begin() + 1, bounds.end(), std::greater<>());
        QDate upper = newest->addMonths(1);
        for (const QDate lower : bounds) {
            looks.append(lookUp.arg(QStringLiteral(" and h.%1>=%2 and h.%1<%3")
                                        .arg(time, dateLiteral(lower), dateLiteral(upper))));
            upper = lower;
        }
        looks.append(lookUp.arg(QStringLiteral(" and h.%1<%2").arg(time, dateLiteral(upper))));
    }
    if (looks.isEmpty()) {
        return lookUp.arg(QStringLiteral(" and false"));
    }
    return QStringLiteral("(select * from (%1) u limit 1)")
        .arg(looks.join(QStringLiteral(" union all ")));
}

// Where every device stands, and with `withLatestRows` each device's latest history rows, looked
// up in the histories' device indexes.
QString devicesStatement(db::Database& db, bool withLatestRows) {
    const bool server = db.engine() == db::Engine::PostgreSQL;
    const QString device =
        QStringLiteral(
            "select d.DEVICETYPE, d.DEVICECODE, %1, %2, d.POSITION, d.SIDE, "
            "d.MILIMETER, d.METER, d.STATUS, ")
            .arg(db::storedTextColumn(db.engine(), QStringLiteral("d.PHYSICS")),
                 db::storedTextColumn(db.engine(), QStringLiteral("d.COMMDATA")));
    if (!withLatestRows) {
        return device + QStringLiteral(
                            "NULL AS CURSTATE, NULL AS STATESINCE, NULL AS ALERTFLAG, NULL AS "
                            "ALERTTEXT, NULL AS ALERTAT from DEVICE d");
    }
    if (server) {
        // The times as text: the driver's own reading of 200,000 times asks the C library for
        // the local zone each time.
        const QString columns = QStringLiteral(
            "s.CURSTATUS AS CURSTATE, to_char(s.STATUSTIME, 'YYYY-MM-DD HH24:MI:SS.MS') AS "
            "STATESINCE, a.ALERTTYPE AS ALERTFLAG, a.ALERTDESC AS ALERTTEXT, "
            "to_char(a.ALERTTIME, 'YYYY-MM-DD HH24:MI:SS.MS') AS ALERTAT from DEVICE d");
        // Two index reads a device instead of five: each a server's loop of its own.
        const QHash<QString, QList<QDate>> months =
            partitionMonthsOf(db, {QStringLiteral("DEVICESTATUS"), QStringLiteral("DEVICEALERT")});
        return device + columns +
               QStringLiteral(" left join lateral %1 s on true left join lateral %2 a on true")
                   .arg(
                       latestRowOnServer(db, QStringLiteral("CURSTATUS, h.STATUSTIME"),
                                         QStringLiteral("DEVICESTATUS"),
                                         QStringLiteral("STATUSTIME"),
                                         months.value(QStringLiteral("devicestatus"))),
                       latestRowOnServer(db, QStringLiteral("ALERTTYPE, h.ALERTDESC, h.ALERTTIME"),
                                         QStringLiteral("DEVICEALERT"), QStringLiteral("ALERTTIME"),
                                         months.value(QStringLiteral("devicealert"))));
    }
    return device +
           QStringLiteral(
               "%1 AS CURSTATE, %2 AS STATESINCE, %3 AS ALERTFLAG, %4 AS ALERTTEXT, "
               "%5 AS ALERTAT from DEVICE d")
               .arg(latestOf(QStringLiteral("CURSTATUS"), QStringLiteral("DEVICESTATUS"),
                             QStringLiteral("STATUSTIME")),
                    latestOf(QStringLiteral("STATUSTIME"), QStringLiteral("DEVICESTATUS"),
                             QStringLiteral("STATUSTIME")),
                    latestOf(QStringLiteral("ALERTTYPE"), QStringLiteral("DEVICEALERT"),
                             QStringLiteral("ALERTTIME")),
                    db::storedTextColumn(db.engine(), latestOf(QStringLiteral("ALERTDESC"),
                                                               QStringLiteral("DEVICEALERT"),
                                                               QStringLiteral("ALERTTIME"))),
                    latestOf(QStringLiteral("ALERTTIME"), QStringLiteral("DEVICEALERT"),
                             QStringLiteral("ALERTTIME")));
}

enum class Half { All, Even, Odd };

QVector<TunnelDevice> readDevicesOf(db::Database& db, bool withLatestRows, Half half) {
    QString statement = devicesStatement(db, withLatestRows);
    if (half != Half::All) {
        statement += QStringLiteral(" where mod(d.DEVICECODE, 2) = %1").arg(half == Half::Odd);
    }
    QVector<TunnelDevice> devices;
    db.forEachRow(statement + QStringLiteral(" order by d.DEVICETYPE, d.DEVICECODE"), {},
                  [&](const QVariantList& row) { devices.append(tunnelDeviceOf(row)); });
    return devices;
}

QVector<TunnelDevice> inOrder(const QVector<TunnelDevice>& even, const QVector<TunnelDevice>& odd) {
    QVector<TunnelDevice> devices;
    devices.reserve(even.size() + odd.size());
    std::merge(even.cbegin(), even.cend(), odd.cbegin(), odd.cend(), std::back_inserter(devices),
               [](const TunnelDevice& a, const TunnelDevice& b) {
                   return std::pair(a.type, a.code) < std::pair(b.type, b.code);
               });
    return devices;
}

}  // namespace

QVector<TunnelDevice> readTunnelDevices(db::Database& db, bool withLatestRows) {
    if (!withLatestRows || !readsInHalves(db.engine())) {
        return readDevicesOf(db, withLatestRows, Half::All);
    }
    QVector<TunnelDevice> odd;
    db::SideSession side(db.connectionString(), [&](db::Database& session) {
        odd = readDevicesOf(session, true, Half::Odd);
    });
    const QVector<TunnelDevice> even = readDevicesOf(db, true, Half::Even);
    side.finish(db);
    return inOrder(even, odd);
}

WrongNow wrongNow(const QVector<TunnelDevice>& devices) {
    WrongNow wrong;
    // 0 is the worst; devices with nothing wrong have none.
    const auto rank = [](const TunnelDevice& device) -> std::optional<int> {
        const int state = device.state();
        if (state == 2) {
            return device.alertRaised ? 0 : 1;
        }
        if (state == 3) {
            return 2;
        }
        return device.alertRaised ? std::optional<int>(3) : std::nullopt;
    };
    QVector<std::pair<int, int>> ranked;  // rank, index
    for (int i = 0; i < devices.size(); ++i) {
        const TunnelDevice& device = devices[i];
        wrong.faults += device.state() == 2 ? 1 : 0;
        wrong.lost += device.state() == 3 ? 1 : 0;
        wrong.alerting += device.alertRaised ? 1 : 0;
        if (const std::optional<int> r = rank(device)) {
            ranked.append({*r, i});
        }
    }
    std::stable_sort(ranked.begin(), ranked.end(), [&](const auto& a, const auto& b) {
        return std::tuple(a.first, devices[a.second].type, devices[a.second].code) <
               std::tuple(b.first, devices[b.second].type, devices[b.second].code);
    });
    for (const auto& [r, index] : ranked) {
        wrong.devices.append(index);
    }
    return wrong;
}

QString deviceName(const QHash<int, QString>& typeNames, int type, int code) {
    const QString name = typeNames.value(type);
    return QStringLiteral("%1 %2")
        .arg(name.isEmpty() ? QStringLiteral("设备类型 %1").arg(type) : name)
        .arg(code);
}

void takeLatestRows(QVector<TunnelDevice>& shown, const QVector<TunnelDevice>& read) {
    QHash<qint64, const TunnelDevice*> byKey;
    for (const TunnelDevice& device : read) {
        byKey.insert(deviceKey(device.type, device.code), &device);
    }
    for (TunnelDevice& device : shown) {
        const TunnelDevice* latest = byKey.value(deviceKey(device.type, device.code));
        if (latest == nullptr) {
            continue;
        }
        if (latest->changed && (!device.changed || latest->since > device.since)) {
            device.changed = latest->changed;
            device.since = latest->since;
        }
        if (latest->alertAt.isValid() &&
            (!device.alertAt.isValid() || latest->alertAt > device.alertAt)) {
            device.alertRaised = latest->alertRaised;
            device.alertText = latest->alertText;
            device.alertAt = latest->alertAt;
        }
    }
}

LatestRowsReading::LatestRowsReading(const QString& connectionString) {
    const auto read = [this, connectionString](Half half, QVector<TunnelDevice>& into) {
        sides_.push_back(std::make_unique<db::SideSession>(
            connectionString,
            [half, &into](db::Database& session) { into = readDevicesOf(session, true, half); }));
    };
    if (readsInHalves(db::ConnectionSettings::parse(connectionString).engine)) {
        read(Half::Even, even_);
        read(Half::Odd, odd_);
    } else {
        read(Half::All, even_);
    }
}

LatestRowsReading::~LatestRowsReading() = default;

bool LatestRowsReading::ready() const {
    return std::all_of(sides_.cbegin(), sides_.cend(),
                       [](const std::unique_ptr<db::SideSession>& side) { return side->ready(); });
}

QVector<TunnelDevice> LatestRowsReading::take() {
    for (const std::unique_ptr<db::SideSession>& side : sides_) {
        side->finish();
    }
    return inOrder(even_, odd_);
}

// The print taken before the read: a write after it moves the print again.
QVector<TunnelDevice> TunnelFeed::readDevices() {
    registerPrint_ = registerPrint();
    registerChanged_ = false;
    return readTunnelDevices(db_, true);
}

// The print read in the register's own statement: one round trip, and the print and the rows
// one snapshot.
QVector<TunnelDevice> TunnelFeed::readRegister() {
    QVector<TunnelDevice> devices;
    QString print;
    db_.forEachRow(
        QStringLiteral("select t.*, %1 AS REGISTERPRINT from (%2) t order by t.DEVICETYPE, "
                       "t.DEVICECODE")
            .arg(registerPrintOf(db_.engine()), devicesStatement(db_, false)),
        {},
        [&](const QVariantList& row) {
            devices.append(tunnelDeviceOf(row));
            print = row.last().toString();
        },
        db::Database::Written::ForEngine);
    registerPrint_ = devices.isEmpty() ? registerPrint() : print;
    registerChanged_ = false;
    return devices;
}

QVector<TunnelArea> TunnelFeed::readAreas() {
    return readCatalogues().areas;
}

// Both catalogues in one statement: the areas with their stakes, the types with their names.
TunnelCatalogues TunnelFeed::readCatalogues() {
    TunnelCatalogues catalogues;
    const db::Engine engine = db_.engine();
    // An area's stakes: FROMMETER and TOMETER are its kilometres, FROMMILI and TOMILI metres.
    db_.forEachRow(
        QStringLiteral("select 1, AREACODE, %1, FROMMETER, FROMMILI, TOMETER, TOMILI from AREA "
                       "union all select 2, TYPECODE, %2, NULL, NULL, NULL, NULL from DEVICETYPE")
            .arg(db::storedTextColumn(engine, QStringLiteral("AREANAME")),
                 db::storedTextColumn(engine, QStringLiteral("TYPENAME"))),
        {},
        [&](const QVariantList& row) {
            const int code = db::integerOf(row[1]);
            const QString name = db::storedTextOf(row[2]);
            if (db::integerOf(row[0]) == 2) {
                catalogues.types.append({code, name});
                return;
            }
            const std::optional<qint64> from = stakeOf(row[3], row[4]);
            const std::optional<qint64> to = stakeOf(row[5], row[6]);
            if (from && to) {
                catalogues.areas.append(
                    {code, name.trimmed(), std::min(*from, *to), std::max(*from, *to)});
            }
        },
        db::Database::Written::ForEngine);
    std::stable_sort(catalogues.areas.begin(), catalogues.areas.end(),
                     [](const TunnelArea& a, const TunnelArea& b) { return a.code < b.code; });
    return catalogues;
}

// Both histories' newest rows in one statement, each history's newest first.
QVector<TunnelEvent> TunnelFeed::readNewest(int count) {
    const auto newestOf = [&](bool alert) {
        return QStringLiteral(
                   "select %1 AS K, n.* from (select top %2 * from (%3) t order by %4 "
                   "desc) n")
            .arg(int(alert))
            .arg(count)
            .arg(historySelect(db_.engine(), alert), timeColumn(alert));
    };
    std::array<QVector<TunnelEvent>, 2> newest;
    db_.forEachRow(newestOf(false) + QStringLiteral(" union all ") + newestOf(true), {},
                   [&](const QVariantList& row) {
                       const bool alert = db::integerOf(row[0]) == 1;
                       newest[alert].append(eventOf(row.mid(1), alert));
                   });
    QVector<TunnelEvent> events;
    for (const bool alert : {false, true}) {
        std::stable_sort(newest[alert].begin(), newest[alert].end(),
                         [](const TunnelEvent& a, const TunnelEvent& b) { return a.at < b.at; });
        see(alert, newest[alert]);
        events += newest[alert];
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const TunnelEvent& a, const TunnelEvent& b) { return a.at > b.at; });
    events.resize(std::min<qsizetype>(events.size(), count));
    return events;
}

QVector<TunnelEvent> TunnelFeed::readNew() {
    // Both read before either is taken note of: a read that fails leaves the other's rows to
    // be read again, instead of lost.
    const QVector<TunnelEvent> states = readSince(false);
    const QVector<TunnelEvent> alerts = readSince(true);
    see(false, states);
    see(true, alerts);
    readVersion_ = lookedVersion_;
    QVector<TunnelEvent> events = states + alerts;
    std::stable_sort(events.begin(), events.end(),
                     [](const TunnelEvent& a, const TunnelEvent& b) { return a.at < b.at; });
    return events;
}

void TunnelFeed::see(bool alert, const QVector<TunnelEvent>& events) {
    if (events.isEmpty()) {
        return;
    }
    Seen& seen = alert ? alerts_ : states_;
    const QString newest = db::storedTimeText(events.back().at);
    if (newest != seen.time) {
        seen.time = newest;
        seen.keys.clear();
    }
    for (const TunnelEvent& event : events) {
        if (db::storedTimeText(event.at) == newest) {
            seen.keys.insert(eventKey(event));
        }
    }
}

QVector<TunnelEvent> TunnelFeed::readSince(bool alert) {
    const Seen& seen = alert ? alerts_ : states_;
    QVector<TunnelEvent> events;
    db_.forEachRow(QStringLiteral("%1 where %2>='%3' order by %2")
                       .arg(historySelect(db_.engine(), alert), timeColumn(alert), seen.time),
                   {}, [&](const QVariantList& row) {
                       TunnelEvent event = eventOf(row, alert);
                       if (!seen.keys.contains(eventKey(event))) {
                           events.append(std::move(event));
                       }
                   });
    return events;
}

}  // namespace tunnel::data
