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
        query.setSql(
            QStringLiteral("SELECT MAX(DEVICECODE) AS HIGHEST FROM DEVICE WHERE DEVICETYPE = %1")
                .arg(range.type));
        query.open();
        range.firstCode = query.integer(QStringLiteral("HIGHEST")) + 1;
    }
    return types;
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
            code % 5 + 1,
            1,
            QStringLiteral("G%1").arg(code),
            QString(),
            QString(),
            code % 3,
            code % 5,
            QString(),
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
    BatchInserter inserter(db, table, columns, rows, [&](qint64 done, qint64 total) {
        if (progress)
            progress(table, done, total);
    });
    // Stored times carry no zone; reckoning them as UTC spares a time-zone look-up per row.
    const QDateTime end(options.now.date(), options.now.time(), Qt::UTC);
    const QDateTime start = end.addYears(-options.years);
    const double step = static_cast<double>(start.msecsTo(end)) / static_cast<double>(rows);
    for (qint64 i = 0; i < rows; ++i) {
        const QDateTime when = start.addMSecs(static_cast<qint64>(step * static_cast<double>(i)));
        inserter.add(rowValues(i, dateTimeValue(when, db.engine())));
    }
    inserter.finish();
}

}  // namespace

void generate(db::Database& db, const GenerateOptions& options, const GenerateProgress& progress) {
    std::vector<TypeRange> types = deviceTypes(db);
    std::mt19937 random(options.seed);

    if (options.devices > 0) {
        addTypesFor(db, types, options.devices);
        BatchInserter inserter(
            db, QStringLiteral("DEVICE"),
            QStringLiteral("DEVICETYPE, DEVICECODE, POSITION, MILIMETER, METER, STATUS, CYCLE, "
                           "AREACODE, VIDEO, PHYSICS, BEGINPOS, ENDPOS, SIDE, COMMTYPE, COMMDATA, "
                           "PROTOCOL")
                .split(QStringLiteral(", ")),
            options.devices, [&](qint64 done, qint64 total) {
                if (progress)
                    progress(QStringLiteral("DEVICE"), done, total);
            });
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
