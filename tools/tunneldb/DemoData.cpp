#include "DemoData.h"

#include "BatchInserter.h"
#include "SqlValues.h"

#include "data/OperationLog.h"
#include "platform/db/Database.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/Transaction.h"

#include <algorithm>
#include <random>

namespace tunnel::tools {
namespace {

using db::sqlQuote;

struct DeviceType {
    int code;
    const char* name;
};

const DeviceType kTypes[] = {
    {1, "摄像机"},      {2, "车辆检测器"}, {3, "CO/VI检测器"}, {4, "风速风向检测器"},
    {5, "照明回路"},    {6, "射流风机"},   {7, "交通信号灯"},  {8, "车道指示器"},
    {9, "光强检测器"},  {10, "紧急电话"},  {11, "火灾报警器"}, {12, "可变情报板"},
    {24, "网络IO网关"}, {27, "PLC控制器"},
};

struct Area {
    int code;
    const char* name;
    int fromKm, fromM, toKm, toM;
};

const Area kAreas[] = {
    {1, "北洞口", 10, 0, 10, 300},       {2, "上行隧道段", 10, 300, 12, 800},
    {3, "下行隧道段", 10, 300, 12, 800}, {4, "南洞口", 12, 800, 13, 100},
    {5, "管理站", 13, 100, 13, 400},
};

struct Param {
    int type, param, portType;
    const char* text;
};

const Param kParams[] = {
    {5, 1, 1, "开灯控制"}, {5, 2, 1, "关灯控制"}, {5, 3, 2, "回路状态"}, {6, 1, 1, "正转控制"},
    {6, 2, 1, "反转控制"}, {6, 3, 1, "停止控制"}, {6, 4, 2, "运行反馈"}, {6, 5, 2, "故障反馈"},
    {4, 1, 3, "风速值"},   {4, 2, 3, "风向值"},   {3, 1, 3, "CO浓度"},   {3, 2, 3, "VI透过率"},
    {3, 3, 4, "数据端口"}, {7, 1, 1, "红灯"},     {7, 2, 1, "绿灯"},     {7, 3, 1, "黄灯"},
    {8, 1, 1, "正向通行"}, {8, 2, 1, "禁止通行"}, {9, 1, 3, "洞内光强"}, {9, 2, 3, "洞外光强"},
};

struct Device {
    int type, code, position, km, m, status, area, side, commType;
    QString commData;
    int protocol;
};

QString deviceValues(const Device& d) {
    return QStringLiteral("%1, %2, %3, %4, %5, %6, 60, %7, %8, %9, %10, %11, %12, %13, %14, %15")
        .arg(d.type)
        .arg(d.code)
        .arg(d.position)
        .arg(d.km)
        .arg(d.m)
        .arg(d.status)
        .arg(d.area)
        .arg(d.type == 1 ? d.code : 1)
        .arg(sqlQuote(QStringLiteral("P%1-%2").arg(d.type).arg(d.code, 3, 10, QChar(u'0'))))
        .arg(sqlQuote(QStringLiteral("K%1+%2").arg(d.km).arg(d.m)))
        .arg(sqlQuote(QStringLiteral("K%1+%2").arg(d.km).arg(d.m + 50)))
        .arg(d.side)
        .arg(d.commType)
        .arg(sqlQuote(d.commData))
        .arg(d.protocol);
}

// Not every device is in order: a few in fault, one whose link is down, one out of use.
struct OutOfOrder {
    int type, code, status;
};
constexpr OutOfOrder kOutOfOrder[] = {{1, 11, 2}, {6, 5, 2}, {5, 4, 2}, {12, 3, 3}, {10, 6, 4}};
// The one alert still raised: the fan in fault's "设备故障" (the second alert text).
struct RaisedAlert {
    int type, code, what;
};
constexpr RaisedAlert kRaisedAlert = {6, 5, 1};

std::vector<Device> demoDevices() {
    std::vector<Device> devices;
    const auto add = [&](int type, int count, int commType, auto commData, int protocol) {
        for (int code = 1; code <= count; ++code) {
            const int position = code % 2 == 1 ? 1 : 2;
            const int metres = 300 + code * 170;
            const int km = 10 + metres / 1000;
            const int m = metres % 1000;
            const int area = position == 1 ? 2 : 3;
            devices.push_back(
                {type, code, position, km, m, 1, area, 1, commType, commData(code), protocol});
        }
    };
    const auto ip = [](int base) {
        return [base](int code) { return QStringLiteral("192.168.10.%1").arg(base + code); };
    };
    const auto serial = [](int code) { return QStringLiteral("%1;9600,8,N,1").arg(code); };
    const auto flag = [](const char* value) {
        return [value](int) { return QString::fromUtf8(value); };
    };
    add(1, 12, 1, ip(10), 2);
    add(2, 6, 2, serial, 1);
    add(3, 4, 3, flag("0"), 0);
    add(4, 2, 3, flag("0"), 0);
    add(5, 6, 3, flag("0"), 0);
    add(6, 8, 4, flag(""), 0);
    add(7, 4, 4, flag(""), 0);
    add(8, 6, 1, ip(60), 1);
    add(9, 2, 3, flag("0"), 0);
    add(10, 6, 2, serial, 1);
    add(11, 4, 0, flag(""), 0);
    add(12, 4, 1, ip(100), 2);
    add(24, 3, 1, ip(200), 1);
    add(27, 2, 1, ip(220), 1);
    for (Device& d : devices) {
        if (d.type == 24 || d.type == 27 || d.type == 12) {
            d.area = d.code % 2 == 1 ? 1 : 4;
            d.side = 2;
        }
        for (const OutOfOrder& o : kOutOfOrder) {
            if (o.type == d.type && o.code == d.code) {
                d.status = o.status;
            }
        }
    }
    return devices;
}

void insertCatalogues(db::Database& db) {
    for (const DeviceType& t : kTypes) {
        db.execute(QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (%1, %2)")
                       .arg(t.code)
                       .arg(sqlQuote(QString::fromUtf8(t.name))));
    }
    for (const Area& a : kAreas) {
        db.execute(QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME, FROMMETER, FROMMILI, "
                                  "TOMETER, TOMILI) VALUES (%1, %2, %3, %4, %5, %6)")
                       .arg(a.code)
                       .arg(sqlQuote(QString::fromUtf8(a.name)))
                       .arg(a.fromKm)
                       .arg(a.fromM)
                       .arg(a.toKm)
                       .arg(a.toM));
    }
    for (const Param& p : kParams) {
        db.execute(QStringLiteral("INSERT INTO NGDEVICEPARAM (DEVICETYPE, PARAM, PORTTYPE, "
                                  "DESCRIPT) VALUES (%1, %2, %3, %4)")
                       .arg(p.type)
                       .arg(p.param)
                       .arg(p.portType)
                       .arg(sqlQuote(QString::fromUtf8(p.text))));
    }
}

const char* portSuffix(int portType) {
    switch (portType) {
        case 1:
            return "(数字输出)";
        case 2:
            return "(数字输入)";
        case 3:
            return "(模拟输入)";
        case 4:
            return "(串行端口)";
        default:
            return "";
    }
}

// Lighting circuits 1 and 2 on gateway 1; wind sensor 1 on gateway 2.
void insertWiring(db::Database& db) {
    struct Wire {
        int gateway, device, deviceType;
    };
    const Wire wires[] = {{1, 1, 5}, {1, 2, 5}, {2, 1, 4}};
    int nextTerminal[5] = {0, 0, 0, 0, 0};
    int lastGateway = 0;
    for (const Wire& w : wires) {
        if (w.gateway != lastGateway) {
            std::fill(std::begin(nextTerminal), std::end(nextTerminal), 0);
            lastGateway = w.gateway;
        }
        for (const Param& p : kParams) {
            if (p.type != w.deviceType)
                continue;
            const int terminal = ++nextTerminal[p.portType];
            db.execute(QStringLiteral("INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, "
                                      "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES "
                                      "(24, %1, %2, %3, %4, %5, %6, %7)")
                           .arg(w.gateway)
                           .arg(p.portType)
                           .arg(terminal)
                           .arg(w.deviceType)
                           .arg(w.device)
                           .arg(p.param)
                           .arg(sqlQuote(QString::fromUtf8(p.text) +
                                         QString::fromUtf8(portSuffix(p.portType)))));
        }
        db.execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = '1' WHERE DEVICETYPE = %1 AND "
                                  "DEVICECODE = %2")
                       .arg(w.deviceType)
                       .arg(w.device));
    }
}

// Fans 1 and 2 on PLC 1: run forward, reverse, stop as outputs; feedback as inputs.
void insertPlcMappings(db::Database& db) {
    int bit = 0;
    for (int fan = 1; fan <= 2; ++fan) {
        for (const Param& p : kParams) {
            if (p.type != 6)
                continue;
            const int registerType = p.portType == 1 ? 1 : 2;
            db.execute(QStringLiteral("INSERT INTO PLCCONFIG (PLCTYPE, PLCCODE, RegisterTYPE, "
                                      "RegisterCODE, RegisterBIT, DEVICETYPE, DEVICECODE, "
                                      "DEVICEPARAM, DESCRIPT) VALUES (27, 1, %1, %2, %3, 6, %4, "
                                      "%5, %6)")
                           .arg(registerType)
                           .arg(bit / 8)
                           .arg(bit % 8)
                           .arg(fan)
                           .arg(p.param)
                           .arg(sqlQuote(QStringLiteral("%1-%2").arg(p.param).arg(
                               QString::fromUtf8(p.text)))));
            ++bit;
        }
        db.execute(QStringLiteral("UPDATE DEVICE SET COMMDATA = '1' WHERE DEVICETYPE = 6 AND "
                                  "DEVICECODE = %1")
                       .arg(fan));
    }
}

// Six weeks of history, ending now.
struct HistorySpan {
    QDateTime start;
    qint64 milliseconds;

    QString at(qint64 t, db::Engine engine) const {
        return dateTimeValue(start.addMSecs(t), engine);
    }
    // Times of `count` rows, in order.
    std::vector<qint64> times(size_t count, std::mt19937& random) const {
        std::uniform_int_distribution<qint64> offset(0, milliseconds);
        std::vector<qint64> times(count);
        for (auto& t : times)
            t = offset(random);
        std::sort(times.begin(), times.end());
        return times;
    }
};

constexpr size_t kHistoryRows = 400;

void insertStates(db::Database& db, const std::vector<Device>& devices, const HistorySpan& span,
                  std::mt19937& random) {
    std::uniform_int_distribution<size_t> pick(0, devices.size() - 1);
    std::uniform_int_distribution<int> state(1, 4);
    const QStringList statusColumns = {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
                                       QStringLiteral("STATUSTIME"), QStringLiteral("PRESTATUS"),
                                       QStringLiteral("CURSTATUS"),  QStringLiteral("REMARK")};
    const std::vector<qint64> times = span.times(kHistoryRows, random);
    BatchInserter states(db, QStringLiteral("DEVICESTATUS"), statusColumns,
                         static_cast<qint64>(times.size()), {});
    // A device's changes follow each other: each starts from the state the last one left
    // (normal at first), and a fault is followed by its recovery.
    std::vector<int> current(devices.size(), 1);
    std::vector<qint64> last(devices.size(), 0);
    const auto change = [&](BatchInserter& rows, size_t which, qint64 t, int after) {
        const Device& d = devices[which];
        rows.add({d.type, d.code, span.at(t, db.engine()), current[which], after,
                  after == 1 ? QStringLiteral("恢复") : QStringLiteral("自动检测")});
        current[which] = after;
        last[which] = t;
    };
    for (qint64 t : times) {
        const size_t which = pick(random);
        change(states, which, t, current[which] == 1 ? state(random) % 3 + 2 : 1);
    }
    states.finish();
    // Each history ends in the state the register gives, so that every window tells one story.
    std::vector<size_t> unsettled;
    for (size_t which = 0; which < devices.size(); ++which) {
        if (current[which] != devices[which].status) {
            unsettled.push_back(which);
        }
    }
    BatchInserter settled(db, QStringLiteral("DEVICESTATUS"), statusColumns,
                          static_cast<qint64>(unsettled.size()), {});
    for (const size_t which : unsettled) {
        change(settled, which, last[which] + (span.milliseconds - last[which]) / 2,
               devices[which].status);
    }
    settled.finish();
}

void insertAlerts(db::Database& db, const std::vector<Device>& devices, const HistorySpan& span,
                  std::mt19937& random) {
    std::uniform_int_distribution<size_t> pick(0, devices.size() - 1);
    const char* const alerts[] = {"通讯中断", "设备故障", "数据超限", "供电异常", "门禁打开"};
    const QStringList alertColumns = {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
                                      QStringLiteral("ALERTTIME"), QStringLiteral("ALERTTYPE"),
                                      QStringLiteral("ALERTDESC")};
    const std::vector<qint64> times = span.times(kHistoryRows, random);
    BatchInserter alertRows(db, QStringLiteral("DEVICEALERT"), alertColumns,
                            static_cast<qint64>(times.size()), {});
    // Alerts come in pairs: a device's raised alert is cancelled, with its description, before
    // the device raises another.
    std::vector<int> open(devices.size(), -1);
    std::vector<qint64> last(devices.size(), 0);
    const auto alert = [&](BatchInserter& rows, size_t which, qint64 t, int what) {
        const Device& d = devices[which];
        const bool cancels = open[which] >= 0;
        rows.add({d.type, d.code, span.at(t, db.engine()), cancels ? 0 : 1,
                  QStringLiteral("%1号%2").arg(d.code).arg(QString::fromUtf8(alerts[what]))});
        open[which] = cancels ? -1 : what;
        last[which] = t;
    };
    for (size_t i = 0; i < times.size(); ++i) {
        const size_t which = pick(random);
        alert(alertRows, which, times[i],
              open[which] >= 0 ? open[which] : static_cast<int>(i % std::size(alerts)));
    }
    alertRows.finish();
    // By now every alert is cancelled but the one still raised.
    BatchInserter settled(db, QStringLiteral("DEVICEALERT"), alertColumns,
                          static_cast<qint64>(devices.size()), {});
    const auto later = [&](size_t which) {
        return last[which] + (span.milliseconds - last[which]) / 2;
    };
    for (size_t which = 0; which < devices.size(); ++which) {
        if (open[which] >= 0) {
            alert(settled, which, later(which), open[which]);
        }
        if (devices[which].type == kRaisedAlert.type && devices[which].code == kRaisedAlert.code) {
            alert(settled, which, later(which), kRaisedAlert.what);
        }
    }
    settled.finish();
}

void insertHistory(db::Database& db, const std::vector<Device>& devices, const QDateTime& now) {
    std::mt19937 random(20041);
    const qint64 sixWeeks = 42LL * 24 * 3600 * 1000;
    const HistorySpan span{now.addMSecs(-sixWeeks), sixWeeks};
    insertStates(db, devices, span, random);
    insertAlerts(db, devices, span, random);
}

// The log of how the demo came to be, as the windows write it: its areas added, and the devices
// that are not in order set so.
void logDemoChanges(db::Database& db, const std::vector<Device>& devices) {
    QVector<data::LoggedChange> changes;
    const QStringList areaColumns = {QStringLiteral("AREACODE"), QStringLiteral("AREANAME")};
    for (const Area& a : kAreas) {
        const QVariantList key = {a.code};
        const data::ChangeTexts texts =
            data::changeTexts(areaColumns, {}, {a.code, QString::fromUtf8(a.name)});
        changes.append({data::funcCode::kAreas, QStringLiteral("增加"), QStringLiteral("AREA"),
                        data::keyText({areaColumns.front()}, key), texts.before, texts.after});
    }
    const QStringList deviceKey = {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")};
    for (const Device& d : devices) {
        if (d.status != 1) {
            const data::ChangeTexts texts =
                data::changeTexts({QStringLiteral("STATUS")}, {1}, {d.status});
            changes.append({data::funcCode::kDeviceList, QStringLiteral("修改"),
                            QStringLiteral("DEVICE"), data::keyText(deviceKey, {d.type, d.code}),
                            texts.before, texts.after});
        }
    }
    data::logChanges(db, changes);
}

void insertSignProperties(db::Database& db) {
    db.execute(
        QStringLiteral("UPDATE DEVICE SET int1 = 0, int2 = 128, int3 = 64, int4 = 32, "
                       "char1 = '1,2,4', char2 = '1,3', char3 = '16,24' "
                       "WHERE DEVICETYPE = 12 AND DEVICECODE = 1"));
    db.execute(
        QStringLiteral("UPDATE DEVICE SET int1 = 1, int2 = 256, int3 = 96, int4 = 48, "
                       "char1 = '1,2,3,4,7', char2 = '1,2,3', char3 = '24,32,48' "
                       "WHERE DEVICETYPE = 12 AND DEVICECODE = 2"));
}

}  // namespace

void loadDemoData(db::Database& db, const QDateTime& now) {
    const std::vector<Device> devices = demoDevices();
    {
        db::Transaction transaction(db);
        insertCatalogues(db);
        for (const Device& d : devices) {
            db.execute(QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, POSITION, "
                                      "MILIMETER, METER, STATUS, CYCLE, AREACODE, VIDEO, PHYSICS, "
                                      "BEGINPOS, ENDPOS, SIDE, COMMTYPE, COMMDATA, PROTOCOL) "
                                      "VALUES (") +
                       deviceValues(d) + u')');
        }
        insertSignProperties(db);
        insertWiring(db);
        insertPlcMappings(db);
        logDemoChanges(db, devices);
        transaction.commit();
    }
    insertHistory(db, devices, now);
}

}  // namespace tunnel::tools
