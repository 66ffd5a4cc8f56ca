#include "Generator.h"

#include "BatchInserter.h"
#include "SqlValues.h"

#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SqlLiteral.h"

#include <QHash>

#include <random>

namespace tunnel::tools {
namespace {

// The device editor numbers devices 1 to 999 within a type, so a type holds that many.
constexpr int kHighestCode = 999;

struct TypeRange {
    int type;
    int firstCode;  // the first number this run gives
    qint64 count = 0;
};

// The highest `column` of the rows `from` names; 0 when it names none.
int highest(db::Database& db, const QString& column, const QString& from) {
    db::Query query(db);
    query.setSql(QStringLiteral("SELECT MAX(%1) AS HIGHEST FROM %2").arg(column, from));
    query.open();
    return query.integer(QStringLiteral("HIGHEST"));
}

std::vector<TypeRange> deviceTypes(db::Database& db) {
    db::Query query(db);
    query.setSql(QStringLiteral("SELECT TYPECODE FROM DEVICETYPE ORDER BY TYPECODE"));
    query.open();
    std::vector<TypeRange> types;
    for (; !query.eof(); query.next()) {
        types.push_back({query.integer(QStringLiteral("TYPECODE")), 1});
    }
    if (types.empty()) {
        db.execute(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (1, '设备')"));
        types.push_back({1, 1});
    }
    for (TypeRange& range : types) {
        range.firstCode = highest(db, QStringLiteral("DEVICECODE"),
                                  QStringLiteral("DEVICE WHERE DEVICETYPE = %1").arg(range.type)) +
                          1;
    }
    return types;
}

// Reports a table's progress through the caller's progress, when there is one.
BatchInserter::Progress tableProgress(const GenerateProgress& progress, const QString& table) {
    return [progress, table](qint64 done, qint64 total) {
        if (progress)
            progress(table, done, total);
    };
}

qint64 room(const TypeRange& range) {
    return std::max(0, kHighestCode - range.firstCode + 1);
}

// Adds catalogued types until the devices fit, numbered after the highest type code.
void addTypesFor(db::Database& db, std::vector<TypeRange>& types, qint64 devices) {
    qint64 capacity = 0;
    int highest = 0;
    for (const TypeRange& range : types) {
        capacity += room(range);
        highest = std::max(highest, range.type);
    }
    while (capacity < devices) {
        const int type = ++highest;
        db.execute(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (%1, '生成类型%1')")
                .arg(type));
        types.push_back({type, 1});
        capacity += kHighestCode;
    }
    types.erase(
        std::remove_if(types.begin(), types.end(), [](const TypeRange& r) { return room(r) == 0; }),
        types.end());
}

constexpr int kAreas = 5;  // the devices' AREACODE runs 1 to 5

// COMMDATA as the connection window writes it for the connection type (a gateway's devices
// start free).
QString connectionText(int commType, int code) {
    switch (commType) {
        case 1:
            return QStringLiteral("172.16.%1.%2").arg(code / 250 % 250).arg(code % 250 + 1);
        case 2:
            return QStringLiteral("%1;9600,8,N,1").arg(code % 8 + 1);
        case 3:
            return QStringLiteral("0");
        default:
            return {};
    }
}

QVariantList deviceRow(int type, int code, std::mt19937& random) {
    std::uniform_int_distribution<int> metres(0, 99999);
    const int at = metres(random);
    return {type,
            code,
            code % 2 + 1,
            at / 1000,
            at % 1000,
            code % 17 == 0 ? 2 : 1,
            60,
            code % kAreas + 1,
            1,
            QStringLiteral("G%1").arg(code),
            QString(),
            QString(),
            code % 3,
            code % 5,
            connectionText(code % 5, code),
            0};
}

struct DeviceKey {
    int type;
    int code;
};

quint64 keyOf(const DeviceKey& device) {
    return (static_cast<quint64>(static_cast<quint32>(device.type)) << 32) |
           static_cast<quint32>(device.code);
}

constexpr int kNormal = 1;
constexpr int kAlertDescriptions = 5;
constexpr const char16_t* kAlertTexts[kAlertDescriptions] = {u"设备故障", u"通讯中断", u"数据超限",
                                                             u"供电异常", u"门禁打开"};

DeviceKey randomDevice(const std::vector<TypeRange>& types, std::mt19937& random) {
    std::uniform_int_distribution<size_t> pickType(0, types.size() - 1);
    const TypeRange& range = types[pickType(random)];
    if (range.count == 0) {
        return {range.type, range.firstCode};
    }
    std::uniform_int_distribution<qint64> pickCode(0, range.count - 1);
    return {range.type, static_cast<int>(range.firstCode + pickCode(random))};
}

template <typename RowValues>
void writeHistory(db::Database& db, const QString& table, const QStringList& columns, qint64 rows,
                  const GenerateOptions& options, const GenerateProgress& progress,
                  RowValues rowValues) {
    if (rows <= 0) {
        return;
    }
    BatchInserter inserter(db, table, columns, rows, tableProgress(progress, table));
    // Stored times carry no zone; reckoning them as UTC spares a time-zone look-up per row.
    const QDateTime end(options.now.date(), options.now.time(), Qt::UTC);
    const QDateTime start = end.addYears(-options.years);
    const double step = static_cast<double>(start.msecsTo(end)) / static_cast<double>(rows);
    for (qint64 i = 0; i < rows; ++i) {
        const QDateTime when = start.addMSecs(static_cast<qint64>(step * static_cast<double>(i)));
        const QVariantList row = rowValues(i, dateTimeValue(when, db.engine()));
        inserter.add(row);
    }
    inserter.finish();
}

constexpr int kGatewayType = 24;
constexpr int kPortKinds = 4;
constexpr int kTerminals = 8;

QVariantList gatewayRow(int code) {
    return {kGatewayType,
            code,
            1,
            code / 100,
            code % 100 * 10,
            1,
            60,
            code % 5 + 1,
            1,
            QStringLiteral("NG%1").arg(code),
            QString(),
            QString(),
            1,
            1,
            QStringLiteral("10.%1.%2.1").arg(code / 250).arg(code % 250),
            0};
}

const QStringList& deviceColumns() {
    static const QStringList columns =
        QStringLiteral(
            "DEVICETYPE, DEVICECODE, POSITION, MILIMETER, METER, STATUS, CYCLE, "
            "AREACODE, VIDEO, PHYSICS, BEGINPOS, ENDPOS, SIDE, COMMTYPE, COMMDATA, "
            "PROTOCOL")
            .split(QStringLiteral(", "));
    return columns;
}

QList<int> gatewayCodes(db::Database& db) {
    db::Query query(db);
    query.setSql(
        QStringLiteral("SELECT DEVICECODE FROM DEVICE WHERE DEVICETYPE = 24 ORDER BY "
                       "DEVICECODE"));
    query.open();
    QList<int> codes;
    for (; !query.eof(); query.next()) {
        codes.append(query.integer(QStringLiteral("DEVICECODE")));
    }
    return codes;
}

void writeGateways(db::Database& db, qint64 gateways, const GenerateProgress& progress) {
    const int first =
        highest(db, QStringLiteral("DEVICECODE"), QStringLiteral("DEVICE WHERE DEVICETYPE = 24")) +
        1;
    BatchInserter inserter(db, QStringLiteral("DEVICE"), deviceColumns(), gateways,
                           tableProgress(progress, QStringLiteral("DEVICE (gateways)")));
    for (qint64 i = 0; i < gateways; ++i) {
        inserter.add(gatewayRow(first + static_cast<int>(i)));
    }
    inserter.finish();
}

void writeCatalogue(db::Database& db, const std::vector<TypeRange>& types) {
    db::Query query(db);
    query.setSql(QStringLiteral("SELECT COUNT(*) AS N FROM NGDEVICEPARAM"));
    query.open();
    if (query.integer(QStringLiteral("N")) > 0) {
        return;
    }
    query.close();
    static const char16_t* const kParams[kPortKinds] = {u"控制", u"状态", u"测量值", u"数据端口"};
    BatchInserter inserter(db, QStringLiteral("NGDEVICEPARAM"),
                           {QStringLiteral("DEVICETYPE"), QStringLiteral("PARAM"),
                            QStringLiteral("PORTTYPE"), QStringLiteral("DESCRIPT")},
                           static_cast<qint64>(types.size()) * kPortKinds, {});
    for (const TypeRange& range : types) {
        for (int kind = 1; kind <= kPortKinds; ++kind) {
            inserter.add({range.type, kind, kind, QString::fromUtf16(kParams[kind - 1])});
        }
    }
    inserter.finish();
}

// Row i goes to gateway i modulo the gateways, on the next terminal of that gateway, kind by
// kind; the device is a generated one and its parameter the kind's.
void writeWiring(db::Database& db, const std::vector<TypeRange>& types, qint64 rows,
                 std::mt19937& random, const GenerateProgress& progress) {
    const QList<int> gateways = gatewayCodes(db);
    if (rows <= 0 || gateways.isEmpty()) {
        return;
    }
    static const char16_t* const kTexts[kPortKinds] = {u"控制(数字输出)", u"状态(数字输入)",
                                                       u"测量值(模拟输入)", u"数据端口(串行端口)"};
    BatchInserter inserter(
        db, QStringLiteral("NGCONFIG"),
        QStringLiteral("NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, DEVICEPARAM, "
                       "DESCRIPT")
            .split(QStringLiteral(", ")),
        rows, tableProgress(progress, QStringLiteral("NGCONFIG")));
    for (qint64 i = 0; i < rows; ++i) {
        const qint64 place = i / gateways.size();
        const int kind = static_cast<int>(place / kTerminals % kPortKinds) + 1;
        const int terminal = static_cast<int>(place % kTerminals) + 1;
        const DeviceKey d = randomDevice(types, random);
        inserter.add({kGatewayType, gateways[static_cast<int>(i % gateways.size())], kind, terminal,
                      d.type, d.code, kind, QString::fromUtf16(kTexts[kind - 1])});
    }
    inserter.finish();
}

// Mapping i takes the next free place: PLC, register type (1 or 2), register 0 to 7, bit 0 to
// 15, so a PLC's 256 places fill up before the next PLC's; PLC numbers go on after the highest
// stored one.
void writeMappings(db::Database& db, const std::vector<TypeRange>& types, qint64 rows,
                   std::mt19937& random, const GenerateProgress& progress) {
    constexpr int kPlaces = 2 * 8 * 16;
    const int firstPlc = highest(db, QStringLiteral("PLCCODE"), QStringLiteral("PLCCONFIG")) + 1;
    BatchInserter inserter(
        db, QStringLiteral("PLCCONFIG"),
        QStringLiteral("PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, DEVICETYPE, "
                       "DEVICECODE, DEVICEPARAM, DESCRIPT")
            .split(QStringLiteral(", ")),
        rows, tableProgress(progress, QStringLiteral("PLCCONFIG")));
    for (qint64 i = 0; i < rows; ++i) {
        const int place = static_cast<int>(i % kPlaces);
        const int registerType = place / 128 + 1;
        const DeviceKey d = randomDevice(types, random);
        inserter.add(
            {27, firstPlc + static_cast<int>(i / kPlaces), registerType, place % 128 / 16,
             place % 16, d.type, d.code, registerType,
             QStringLiteral("%1-%2")
                 .arg(registerType)
                 .arg(registerType == 1 ? QStringLiteral("控制") : QStringLiteral("状态"))});
    }
    inserter.finish();
}

// The areas the generated devices lie in, where the installation lacks them.
void addAreas(db::Database& db) {
    for (int area = 1; area <= kAreas; ++area) {
        db::Query query(db);
        query.setSql(
            QStringLiteral("SELECT COUNT(*) AS N FROM AREA WHERE AREACODE = %1").arg(area));
        query.open();
        if (query.integer(QStringLiteral("N")) == 0) {
            db.execute(
                QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (%1, '生成区域%1')")
                    .arg(area));
        }
    }
}

}  // namespace

void generate(db::Database& db, const GenerateOptions& options, const GenerateProgress& progress) {
    std::vector<TypeRange> types = deviceTypes(db);
    std::mt19937 random(options.seed);

    if (options.devices > 0) {
        addTypesFor(db, types, options.devices);
        addAreas(db);
        BatchInserter inserter(db, QStringLiteral("DEVICE"), deviceColumns(), options.devices,
                               tableProgress(progress, QStringLiteral("DEVICE")));
        size_t next = 0;
        for (qint64 i = 0; i < options.devices; ++i) {
            while (types[next % types.size()].count >= room(types[next % types.size()]))
                ++next;
            TypeRange& range = types[next++ % types.size()];
            inserter.add(
                deviceRow(range.type, range.firstCode + static_cast<int>(range.count), random));
            ++range.count;
        }
        inserter.finish();
    }
    if (options.gateways > 0) {
        writeGateways(db, options.gateways, progress);
    }
    if (options.wiring > 0 || options.mappings > 0) {
        writeCatalogue(db, types);
    }
    if (options.wiring > 0) {
        writeWiring(db, types, options.wiring, random, progress);
    }
    if (options.mappings > 0) {
        writeMappings(db, types, options.mappings, random, progress);
    }

    // A device's states follow each other: a change starts from the state the device's
    // previous change left it in (normal at first).
    QHash<quint64, int> stateOf;
    std::uniform_int_distribution<int> otherState(1, 3);
    writeHistory(
        db, QStringLiteral("DEVICESTATUS"),
        QStringLiteral("DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, REMARK")
            .split(QStringLiteral(", ")),
        options.states, options, progress, [&](qint64, const QString& when) {
            const DeviceKey d = randomDevice(types, random);
            int& current = stateOf[keyOf(d)];
            const int before = current == 0 ? kNormal : current;
            const int after = (before - 1 + otherState(random)) % 4 + 1;
            current = after;
            return QVariantList{
                d.type, d.code,
                when,   before,
                after,  after == kNormal ? QStringLiteral("恢复正常") : QStringLiteral("状态变化")};
        });
    // Alerts come in pairs: raised, later cancelled with the same description.
    QHash<quint64, int> openAlert;  // the description number of the device's raised alert
    std::uniform_int_distribution<int> description(0, kAlertDescriptions - 1);
    writeHistory(db, QStringLiteral("DEVICEALERT"),
                 QStringLiteral("DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC")
                     .split(QStringLiteral(", ")),
                 options.alerts, options, progress, [&](qint64, const QString& when) {
                     const DeviceKey d = randomDevice(types, random);
                     const auto raised = openAlert.constFind(keyOf(d));
                     const bool cancels = raised != openAlert.constEnd();
                     const int what = cancels ? *raised : description(random);
                     if (cancels) {
                         openAlert.remove(keyOf(d));
                     } else {
                         openAlert.insert(keyOf(d), what);
                     }
                     return QVariantList{d.type, d.code, when, cancels ? 0 : 1,
                                         QStringLiteral("%1号%2").arg(d.code).arg(
                                             QString::fromUtf16(kAlertTexts[what]))};
                 });
}

}  // namespace tunnel::tools
