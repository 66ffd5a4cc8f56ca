#include "data/Availability.h"

#include "data/CodeName.h"
#include "data/DeviceKey.h"
#include "data/DisplayTexts.h"
#include "data/PeriodSums.h"
#include "data/Timeline.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SideSession.h"
#include "platform/db/ValueText.h"
#include "platform/text/Csv.h"

#include <QHash>
#include <QMap>

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>

namespace tunnel::data {
namespace {

constexpr int kWorst = 10;

int stateColumn(int state) {
    const auto at = std::find(kReportStates.begin(), kReportStates.end(), state);
    return at == kReportStates.end() ? static_cast<int>(kReportStates.size()) - 1
                                     : static_cast<int>(at - kReportStates.begin());
}

// The engine's text of a moment, and the milliseconds between two moments of a statement.
QString momentOf(db::Engine engine, const QDateTime& at) {
    const QString text = QStringLiteral("'%1'").arg(db::storedTimeText(at));
    return engine == db::Engine::PostgreSQL ? QStringLiteral("CAST(%1 AS TIMESTAMP)").arg(text)
                                            : text;
}

QString millisecondsBetween(db::Engine engine, const QString& from, const QString& to) {
    switch (engine) {
        case db::Engine::PostgreSQL:
            // In double precision: EXTRACT's numeric cost a tenth of the report's time, and
            // a double holds a century's milliseconds exactly.
            return QStringLiteral("CAST(ROUND(date_part('epoch', %2 - %1) * 1000) AS BIGINT)")
                .arg(from, to);
        case db::Engine::SqlServer:
            return QStringLiteral("DATEDIFF_BIG(millisecond, %1, %2)").arg(from, to);
        case db::Engine::SQLite:
            break;
    }
    return QStringLiteral("CAST(ROUND((julianday(%2) - julianday(%1)) * 86400000) AS INTEGER)")
        .arg(from, to);
}

// Whether the state in `column` is `state`; a code no table names, or none, is unknown (the
// last of kReportStates).
QString isState(const QString& column, int state) {
    if (state != kReportStates.back()) {
        return QStringLiteral("%1 = %2").arg(column).arg(state);
    }
    QStringList named;
    for (const int other : kReportStates) {
        if (other != state) {
            named.append(QString::number(other));
        }
    }
    return QStringLiteral("(%1 IS NULL OR %1 NOT IN (%2))")
        .arg(column, named.join(QStringLiteral(", ")));
}

// One column a state, in kReportStates' order: `column(i, state)`.
QString eachState(const std::function<QString(std::size_t, int)>& column) {
    QStringList columns;
    for (std::size_t i = 0; i < kReportStates.size(); ++i) {
        columns.append(column(i, kReportStates[i]));
    }
    return columns.join(QStringLiteral(", "));
}

// The state the device (`type`, `code`) was in at the range's start `from`: its last change's
// before it. On PostgreSQL the month before the range (from `monthBefore`) is looked in first,
// alone: a partitioned history then reads that month's partition for nearly every device, and
// the older ones only for a device without a change in it.
QString stateBeforeSql(db::Engine engine, const QString& type, const QString& code,
                       const QString& from, const QString& monthBefore) {
    const bool top = engine == db::Engine::SqlServer;
    const QString device =
        QStringLiteral("b.DEVICETYPE = %1 AND b.DEVICECODE = %2").arg(type, code);
    const auto lookUp = [&](const QString& when) {
        return QStringLiteral(
                   "(SELECT %1b.CURSTATUS FROM DEVICESTATUS b WHERE %2 AND %3 ORDER BY "
                   "b.STATUSTIME DESC%4)")
            .arg(top ? QStringLiteral("TOP 1 ") : QString(), device, when,
                 top ? QString() : QStringLiteral(" LIMIT 1"));
    };
    if (engine != db::Engine::PostgreSQL) {
        return lookUp(QStringLiteral("b.STATUSTIME < ") + from);
    }
    const QString inMonthBefore =
        QStringLiteral("b.STATUSTIME >= %1 AND b.STATUSTIME < %2").arg(monthBefore, from);
    return QStringLiteral(
               "CASE WHEN EXISTS (SELECT 1 FROM DEVICESTATUS b WHERE %1 AND %2) THEN %3 ELSE %4 "
               "END")
        .arg(device, inMonthBefore, lookUp(inMonthBefore),
             lookUp(QStringLiteral("b.STATUSTIME < ") + monthBefore));
}

// The state the device (`type`, `code`) left at its first change in the range: where no change
// before the range says its state at the start, that change's own record of the state before it
// does, as the device's timeline takes it.
QString stateLeftAtFirstChangeSql(db::Engine engine, const QString& type, const QString& code,
                                  const QString& from, const QString& to) {
    const bool top = engine == db::Engine::SqlServer;
    return QStringLiteral(
               "(SELECT %1f.PRESTATUS FROM DEVICESTATUS f WHERE f.DEVICETYPE = %2 AND "
               "f.DEVICECODE = %3 AND f.STATUSTIME >= %4 AND f.STATUSTIME < %5 ORDER BY "
               "f.STATUSTIME%6)")
        .arg(top ? QStringLiteral("TOP 1 ") : QString(), type, code, from, to,
             top ? QString() : QStringLiteral(" LIMIT 1"));
}

// That a history's row (`row` its name and a dot, or nothing) names its device: one that names
// none counts for no device.
QString ofADevice(const QString& row = {}) {
    return QStringLiteral("%1DEVICETYPE IS NOT NULL AND %1DEVICECODE IS NOT NULL").arg(row);
}

// SUMS(T, C, FIRSTAT, LASTAT, LASTS, M0…): each device's first and last change in the range,
// the last one's state, and the milliseconds in each state up to the last change.
QString changeSumsSql(db::Engine engine, const QString& from, const QString& to) {
    const QString changes =
        QStringLiteral(
            "CHANGES AS (SELECT DEVICETYPE AS T, DEVICECODE AS C, STATUSTIME AS AT, CURSTATUS AS "
            "S, %1 AS M FROM DEVICESTATUS WHERE STATUSTIME >= %2 AND STATUSTIME < %3 AND %4)")
            .arg(millisecondsBetween(engine, QStringLiteral("STATUSTIME"),
                                     QStringLiteral("LEAD(STATUSTIME) OVER (PARTITION BY "
                                                    "DEVICETYPE, DEVICECODE ORDER BY STATUSTIME)")),
                 from, to, ofADevice());
    return changes +
           QStringLiteral(
               ", SUMS AS (SELECT T, C, MIN(AT) AS FIRSTAT, MAX(AT) AS LASTAT, MAX(CASE WHEN M "
               "IS NULL THEN S END) AS LASTS, %1 FROM CHANGES GROUP BY T, C)")
               .arg(eachState([](std::size_t i, int state) {
                   return QStringLiteral("SUM(CASE WHEN %1 THEN M ELSE 0 END) AS M%2")
                       .arg(isState(QStringLiteral("S"), state))
                       .arg(i);
               }));
}

// PACKED(T, C, P): the aggregate `call` over the range's rows of `table` (as `h`), a device at
// a time, in the order of its device index `index`: first the register's devices, each a
// look-up; then, only when the range has rows they do not account for (`P`'s element
// `rowsAt` is its count of rows), the devices the register no longer has.
QString packedPeriodsSql(const QString& table, const QString& index, const QString& time,
                         const QString& call, int rowsAt, const QString& from, const QString& to) {
    const QString inRange = QStringLiteral("h.%1 >= %2 AND h.%1 < %3 AND %4")
                                .arg(time, from, to, ofADevice(QStringLiteral("h.")));
    const auto periodsOf = [&](const QString& type, const QString& code) {
        return QStringLiteral(
                   "(SELECT %1 FROM %2 h INDEXED BY %3 WHERE h.DEVICETYPE = %4 AND h.DEVICECODE "
                   "= %5 AND %6)")
            .arg(call, table, index, type, code, inRange);
    };
    return QStringLiteral(
               "REG AS (SELECT d.DEVICETYPE AS T, d.DEVICECODE AS C, %1 AS P FROM DEVICE d), "
               "GONE AS (SELECT DISTINCT h.DEVICETYPE AS T, h.DEVICECODE AS C FROM %2 h WHERE %3 "
               "AND (SELECT COUNT(*) FROM %2 h WHERE %3) > (SELECT COALESCE(SUM(json_extract(P, "
               "'$[%4]')), 0) FROM REG) AND NOT EXISTS (SELECT 1 FROM DEVICE d WHERE "
               "d.DEVICETYPE = h.DEVICETYPE AND d.DEVICECODE = h.DEVICECODE)), "
               "PACKED AS (SELECT T, C, P FROM REG WHERE P IS NOT NULL UNION ALL SELECT g.T, g.C, "
               "%5 FROM GONE g)")
        .arg(periodsOf(QStringLiteral("d.DEVICETYPE"), QStringLiteral("d.DEVICECODE")), table,
             inRange, QString::number(rowsAt),
             periodsOf(QStringLiteral("g.T"), QStringLiteral("g.C")));
}

// SUMS as changeSumsSql, reckoned by SQLite's period aggregate (PeriodSums.h).
QString changeSumsByAggregateSql(const QString& from, const QString& to) {
    constexpr int kFirstSum = 3;
    return packedPeriodsSql(QStringLiteral("DEVICESTATUS"),
                            QStringLiteral("IX_DEVICESTATUS_DEVICE_STATE"),
                            QStringLiteral("STATUSTIME"),
                            QStringLiteral("tunnel_state_periods(h.STATUSTIME, h.CURSTATUS)"),
                            kFirstSum + static_cast<int>(kReportStates.size()), from, to) +
           QStringLiteral(
               ", SUMS AS (SELECT T, C, json_extract(P, '$[0]') AS FIRSTAT, json_extract(P, "
               "'$[1]') AS LASTAT, json_extract(P, '$[2]') AS LASTS, %1 FROM PACKED)")
               .arg(eachState([](std::size_t i, int) {
                   return QStringLiteral("json_extract(P, '$[%1]') AS M%2")
                       .arg(kFirstSum + static_cast<int>(i))
                       .arg(i);
               }));
}

// Whether SQLite reckons the periods itself (PeriodSums.h): the aggregates need the device
// indexes that carry the state and the alert's kind, which a file of an earlier version lacks
// until `tunneldb upgrade`.
bool reckonsByAggregates(db::Database& db) {
    if (db.engine() != db::Engine::SQLite) {
        return false;
    }
    int indexes = 0;
    db.forEachRow(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                       "name IN ('IX_DEVICESTATUS_DEVICE_STATE', "
                       "'IX_DEVICEALERT_DEVICE_ALERT')"),
        {}, [&](const QVariantList& row) { indexes = db::integerOf(row[0]); },
        db::Database::Written::ForEngine);
    return indexes == 2;
}

// Each device's milliseconds in each state. Its changes in the range are read in the device's
// and time's order (the order of the index that carries the state, so that no sort is made),
// each lasting to the next; their sums are then completed with the period before the first
// change, in the state at the range's start (the last change's before it, else the state the
// first change in it left, else the register's; a change at the very start replaces it), and the
// one after the last, to the range's end. A device the register no longer has is counted where
// its history shows it: from the range's start when a change before it or the first in it gave
// its state, else from its first change, to its last.
QString stateTimesSql(db::Engine engine, bool byAggregates, const QString& from, const QString& to,
                      const QString& monthBefore) {
    const QString sums =
        byAggregates ? changeSumsByAggregateSql(from, to) : changeSumsSql(engine, from, to);
    // The state at the start: the last change's before the range, else the state the first
    // change in it left, else (no change before or in it) the register's.
    const auto stateAtStart = [&](const QString& type, const QString& code) {
        return QStringLiteral("COALESCE(%1, %2")
            .arg(stateBeforeSql(engine, type, code, from, monthBefore),
                 stateLeftAtFirstChangeSql(engine, type, code, from, to));
    };
    const QString starts =
        QStringLiteral(
            "STARTS AS (SELECT d.DEVICETYPE AS T, d.DEVICECODE AS C, %1, d.STATUS) AS B, 0 AS G "
            "FROM DEVICE d UNION ALL SELECT g.T, g.C, %2) AS B, 1 FROM SUMS g WHERE NOT EXISTS "
            "(SELECT 1 FROM DEVICE d WHERE d.DEVICETYPE = g.T AND d.DEVICECODE = g.C))")
            .arg(stateAtStart(QStringLiteral("d.DEVICETYPE"), QStringLiteral("d.DEVICECODE")),
                 stateAtStart(QStringLiteral("g.T"), QStringLiteral("g.C")));
    const QString beforeFirst =
        millisecondsBetween(engine, from, QStringLiteral("COALESCE(s.FIRSTAT, %1)").arg(to));
    const QString afterLast = millisecondsBetween(engine, QStringLiteral("s.LASTAT"), to);
    const QString times = eachState([&](std::size_t i, int state) {
        return QStringLiteral(
                   "COALESCE(s.M%1, 0) + CASE WHEN (X.G = 0 OR X.B IS NOT NULL) AND %2 THEN %3 "
                   "ELSE 0 END + CASE WHEN X.G = 0 AND s.LASTAT IS NOT NULL AND %4 THEN %5 ELSE "
                   "0 END")
            .arg(i)
            .arg(isState(QStringLiteral("X.B"), state), beforeFirst,
                 isState(QStringLiteral("s.LASTS"), state), afterLast);
    });
    return QStringLiteral(
               "WITH %1, %2 SELECT X.T, X.C, %3 FROM STARTS X LEFT JOIN SUMS s ON s.T = X.T "
               "AND s.C = X.C")
        .arg(sums, starts, times);
}

// Each device's alerts raised in the range, each lasting to its next alert row or the end.
QString alertTimesSql(db::Engine engine, bool byAggregates, const QString& from,
                      const QString& to) {
    if (byAggregates) {
        return QStringLiteral(
                   "WITH %1 SELECT T, C, json_extract(P, '$[0]'), json_extract(P, "
                   "'$[1]') FROM PACKED WHERE json_extract(P, '$[0]') > 0")
            .arg(packedPeriodsSql(
                QStringLiteral("DEVICEALERT"), QStringLiteral("IX_DEVICEALERT_DEVICE_ALERT"),
                QStringLiteral("ALERTTIME"),
                QStringLiteral("tunnel_alert_periods(h.ALERTTIME, h.ALERTTYPE, %1)").arg(to), 2,
                from, to));
    }
    return QStringLiteral(
               "WITH A AS (SELECT DEVICETYPE AS T, DEVICECODE AS C, ALERTTIME AS AT, ALERTTYPE AS "
               "F, COALESCE(LEAD(ALERTTIME) OVER (PARTITION BY DEVICETYPE, DEVICECODE ORDER BY "
               "ALERTTIME), %2) AS UNTIL FROM DEVICEALERT WHERE ALERTTIME >= %1 AND ALERTTIME < "
               "%2 AND %4) SELECT T, C, COUNT(*), SUM(%3) FROM A WHERE F > 0 GROUP BY T, C")
        .arg(from, to, millisecondsBetween(engine, QStringLiteral("AT"), QStringLiteral("UNTIL")),
             ofADevice());
}

void addTo(AvailabilityTotal& total, const DeviceAvailability& device) {
    ++total.devices;
    for (std::size_t i = 0; i < total.milliseconds.size(); ++i) {
        total.milliseconds[i] += device.milliseconds[i];
    }
    total.alerts += device.alerts;
    total.alertMilliseconds += device.alertMilliseconds;
}

void sumUp(AvailabilityReport& report) {
    QMap<std::pair<int, int>, AvailabilityTotal> groups;
    for (const DeviceAvailability& device : report.devices) {
        AvailabilityTotal& group = groups[{device.area, device.type}];
        group.area = device.area;
        group.type = device.type;
        addTo(group, device);
        addTo(report.whole, device);
    }
    report.totals = QVector<AvailabilityTotal>(groups.begin(), groups.end());
    QVector<int> order(report.devices.size());
    std::iota(order.begin(), order.end(), 0);
    const int fault = stateColumn(2);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return report.devices[a].milliseconds[fault] > report.devices[b].milliseconds[fault];
    });
    for (const int index : order) {
        if (report.worst.size() == kWorst || report.devices[index].milliseconds[fault] == 0) {
            break;
        }
        report.worst.append(index);
    }
}

}  // namespace

QString hoursText(qint64 milliseconds) {
    return QString::number(static_cast<double>(milliseconds) / 3'600'000.0, 'f', 2);
}

QStringList totalCells(const AvailabilityTotal& total) {
    QStringList cells{QString::number(total.devices)};
    const qint64 all =
        std::accumulate(total.milliseconds.begin(), total.milliseconds.end(), qint64{0});
    for (const qint64 milliseconds : total.milliseconds) {
        cells.append(shareText(all > 0 ? std::optional<double>(static_cast<double>(milliseconds) /
                                                               static_cast<double>(all))
                                       : std::nullopt));
    }
    cells.append(shareText(workingShare(total.milliseconds)));
    cells.append(QString::number(total.alerts));
    cells.append(hoursText(total.alertMilliseconds));
    return cells;
}

QStringList totalTitles() {
    QStringList titles{QStringLiteral("设备数")};
    for (const int state : kReportStates) {
        titles.append(StatusText(state));
    }
    titles << QStringLiteral("完好率") << QStringLiteral("报警次数")
           << QStringLiteral("报警时长(小时)");
    return titles;
}

AvailabilityReport onlyOf(const AvailabilityReport& report, std::optional<int> area,
                          std::optional<int> type) {
    AvailabilityReport part;
    part.from = report.from;
    part.to = report.to;
    for (const DeviceAvailability& device : report.devices) {
        if ((!area || device.area == *area) && (!type || device.type == *type)) {
            part.devices.append(device);
        }
    }
    sumUp(part);
    return part;
}

qint64 DeviceAvailability::total() const {
    return std::accumulate(milliseconds.begin(), milliseconds.end(), qint64{0});
}

qint64 DeviceAvailability::inState(int state) const {
    return milliseconds[static_cast<std::size_t>(stateColumn(state))];
}

std::optional<double> workingShare(const std::array<qint64, 5>& milliseconds) {
    const qint64 all = std::accumulate(milliseconds.begin(), milliseconds.end(), qint64{0});
    const qint64 counted = all - milliseconds[static_cast<std::size_t>(stateColumn(4))];
    if (counted <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(milliseconds[static_cast<std::size_t>(stateColumn(1))]) /
           static_cast<double>(counted);
}

QString shareText(std::optional<double> share) {
    return share ? QString::number(*share * 100, 'f', 1) + u'%' : QStringLiteral("-");
}

AvailabilityReport readAvailability(db::Database& db, const QDateTime& from, const QDateTime& to,
                                    const QDateTime& now) {
    AvailabilityReport report;
    report.from = from;
    report.to = std::max(from, std::min(to, now));
    QHash<qint64, int> indexOf;
    db.forEachRow(QStringLiteral("select DEVICETYPE, DEVICECODE, AREACODE, PHYSICS from DEVICE "
                                 "order by DEVICETYPE, DEVICECODE"),
                  {}, [&](const QVariantList& row) {
                      DeviceAvailability device;
                      device.type = db::integerOf(row[0]);
                      device.code = db::integerOf(row[1]);
                      device.area = db::integerOf(row[2]);
                      device.physics = row[3].toString().trimmed();
                      indexOf.insert(deviceKey(device.type, device.code),
                                     static_cast<int>(report.devices.size()));
                      report.devices.append(device);
                  });
    const qsizetype registered = report.devices.size();
    const QString start = momentOf(db.engine(), report.from);
    const QString end = momentOf(db.engine(), report.to);
    // A device met only in the histories is one the register no longer has.
    const auto deviceOf = [&](int type, int code) -> DeviceAvailability& {
        auto at = indexOf.find(deviceKey(type, code));
        if (at == indexOf.end()) {
            DeviceAvailability removed;
            removed.type = type;
            removed.code = code;
            removed.area = kRemovedArea;
            at = indexOf.insert(deviceKey(type, code), static_cast<int>(report.devices.size()));
            report.devices.append(removed);
        }
        return report.devices[at.value()];
    };
    constexpr auto kForEngine = db::Database::Written::ForEngine;
    // The alerts are summed meanwhile on a session of their own: the two statements take the
    // engine's two processors instead of one after the other.
    struct AlertSums {
        int type;
        int code;
        int alerts;
        qint64 milliseconds;
    };
    QVector<AlertSums> alertSums;
    const bool byAggregates = reckonsByAggregates(db);
    db::SideSession alerts(db.connectionString(), [&](db::Database& side) {
        if (byAggregates) {
            addPeriodFunctions(side);
        }
        side.forEachRow(
            alertTimesSql(side.engine(), byAggregates, start, end), {},
            [&](const QVariantList& row) {
                alertSums.append({db::integerOf(row[0]), db::integerOf(row[1]),
                                  db::integerOf(row[2]), row[3].toLongLong()});
            },
            kForEngine);
    });
    if (byAggregates) {
        addPeriodFunctions(db);
    }
    db.forEachRow(
        stateTimesSql(db.engine(), byAggregates, start, end,
                      momentOf(db.engine(), report.from.addMonths(-1))),
        {},
        [&](const QVariantList& row) {
            DeviceAvailability& device = deviceOf(db::integerOf(row[0]), db::integerOf(row[1]));
            for (std::size_t i = 0; i < device.milliseconds.size(); ++i) {
                device.milliseconds[i] = row[static_cast<int>(i) + 2].toLongLong();
            }
        },
        kForEngine);
    alerts.finish(db);
    for (const AlertSums& sums : alertSums) {
        DeviceAvailability& device = deviceOf(sums.type, sums.code);
        device.alerts = sums.alerts;
        device.alertMilliseconds = sums.milliseconds;
    }
    // Devices the register no longer has come in the order the engine found them.
    std::sort(report.devices.begin() + registered, report.devices.end(),
              [](const DeviceAvailability& a, const DeviceAvailability& b) {
                  return std::pair(a.type, a.code) < std::pair(b.type, b.code);
              });
    sumUp(report);
    return report;
}

ReportNames readReportNames(db::Database& db) {
    db::Query query(db);
    CodeNameList areas;
    CodeNameList types;
    readAreasAndTypes(query, areas, types);
    return reportNamesOf(areas, types, db.settings().describe());
}

ReportNames reportNamesOf(const CodeNameList& areaList, const CodeNameList& typeList,
                          const QString& installation) {
    auto areas = std::make_shared<CodeNameList>(areaList);
    auto types = std::make_shared<CodeNameList>(typeList);
    // A code the catalogue does not name (another program's, or removed since) is shown as
    // its code, never as a blank.
    const auto named = [](const QString& name, const QString& unnamed, int code) {
        const QString trimmed = name.trimmed();
        return trimmed.isEmpty() ? unnamed.arg(code) : trimmed;
    };
    return {[areas, named](int code) {
                return code == kRemovedArea
                           ? QStringLiteral("（已删除的设备）")
                           : named(areas->nameOf(code), QStringLiteral("区域 %1"), code);
            },
            [types, named](int code) {
                return named(types->nameOf(code), QStringLiteral("设备类型 %1"), code);
            },
            installation};
}

QByteArray availabilityCsv(const AvailabilityReport& report, const ReportNames& names) {
    const auto& areaName = names.area;
    const auto& typeName = names.type;
    QString lines;
    QStringList titles{QStringLiteral("区域"), QStringLiteral("设备类型"),
                       QStringLiteral("设备数")};
    for (const int state : kReportStates) {
        titles.append(StatusText(state));
    }
    titles << QStringLiteral("完好率") << QStringLiteral("报警次数")
           << QStringLiteral("报警时长(小时)");
    // What the file is, then each of its two tables after a line that names it.
    text::appendCsvLine(lines, {QStringLiteral("设备完好率报表"), names.installation,
                                QStringLiteral("%1 至 %2")
                                    .arg(report.from.toString(QStringLiteral("yyyy-MM-dd hh:mm")),
                                         report.to.toString(QStringLiteral("yyyy-MM-dd hh:mm")))});
    text::appendCsvLine(lines, {});
    text::appendCsvLine(lines, {QStringLiteral("表一：按区域与设备类型")});
    text::appendCsvLine(lines, titles);
    for (const AvailabilityTotal& total : report.totals) {
        text::appendCsvLine(lines, QStringList{text::spreadsheetText(areaName(total.area)),
                                               text::spreadsheetText(typeName(total.type))} +
                                       totalCells(total));
    }
    text::appendCsvLine(lines,
                        QStringList{QStringLiteral("合计"), QString()} + totalCells(report.whole));
    text::appendCsvLine(lines, {});
    text::appendCsvLine(lines, {QStringLiteral("表二：故障时间最长的十台设备")});
    text::appendCsvLine(lines, {QStringLiteral("故障时间最长的设备"), QStringLiteral("编号"),
                                QStringLiteral("物理编号"), QStringLiteral("故障(小时)"),
                                QStringLiteral("完好率")});
    for (const int index : report.worst) {
        const DeviceAvailability& device = report.devices[index];
        text::appendCsvLine(
            lines, {text::spreadsheetText(typeName(device.type)), QString::number(device.code),
                    text::spreadsheetText(device.physics), hoursText(device.inState(2)),
                    shareText(workingShare(device.milliseconds))});
    }
    return text::kUtf8Bom + lines.toUtf8();
}

}  // namespace tunnel::data
