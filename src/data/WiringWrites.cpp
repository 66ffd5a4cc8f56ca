#include "data/WiringWrites.h"

#include "data/LoggedTransaction.h"
#include "data/OperationLog.h"
#include "data/WiringStatements.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/text/TextRules.h"

#include <QSet>

namespace tunnel::data {
namespace {

constexpr int kGatewayType = 24;

// Two saves for one gateway or one device run one after the other: each takes the write locks
// of both DEVICE rows, in key order so that two saves never wait for each other in a circle.
// SQLite needs nothing: BEGIN IMMEDIATE took the database's write lock already.
void lockParties(db::Database& db, const WiringClaim& claim) {
    const QString where = QStringLiteral(
                              " where (DEVICETYPE=%1 and DEVICECODE=%2) or (DEVICETYPE=%3 and "
                              "DEVICECODE=%4) order by DEVICETYPE, DEVICECODE")
                              .arg(kGatewayType)
                              .arg(claim.gatewayCode)
                              .arg(claim.deviceType)
                              .arg(claim.deviceCode);
    QString sql;
    switch (db.engine()) {
        case db::Engine::SQLite:
            return;
        case db::Engine::PostgreSQL:
            sql = QStringLiteral("select DEVICETYPE, DEVICECODE from DEVICE") + where +
                  QStringLiteral(" for update");
            break;
        case db::Engine::SqlServer:
            sql = QStringLiteral(
                      "select DEVICETYPE, DEVICECODE from DEVICE with (updlock, holdlock)") +
                  where;
            break;
    }
    QSqlQuery rows = db.select(sql, db::Database::Written::ForEngine);
    while (db.next(rows, sql)) {
    }
}

int countOf(db::Database& db, const QString& sql) {
    db::Query query(db);
    query.setSql(sql);
    query.open();
    const int value = query.isEmpty() ? 0 : query.integer(QStringLiteral("N"));
    query.close();
    return value;
}

WiringConflicts conflictsOf(db::Database& db, const WiringClaim& claim) {
    WiringConflicts conflicts;
    QSet<QPair<int, int>> stored;
    for (const QPair<int, int>& terminal : readGatewayTerminals(db, claim.gatewayCode)) {
        stored.insert(terminal);
    }
    for (const TConnectParam& param : claim.params) {
        if (param.PortCode != 0 && stored.contains({param.PortType, param.PortCode})) {
            conflicts.takenTerminals.append({param.PortType, param.PortCode});
        }
    }
    db::Query device(db);
    device.setSql(deviceCommDataStatement(claim.deviceType, claim.deviceCode));
    device.open();
    conflicts.deviceGone = device.isEmpty();
    conflicts.deviceWired =
        !conflicts.deviceGone &&
        (text::trimmed(device.text(QStringLiteral("COMMDATA"))) == u"1" ||
         countOf(db, deviceWiringCountStatement(claim.deviceType, claim.deviceCode)) > 0);
    device.close();
    return conflicts;
}

}  // namespace

QString WiringConflicts::message(const QString& deviceName, int gatewayCode,
                                 bool afterUnknownOutcome) const {
    if (deviceGone) {
        return QStringLiteral("设备 %1 已被其他程序删除，没有保存。").arg(deviceName);
    }
    if (deviceWired && afterUnknownOutcome) {
        return QStringLiteral("设备 %1 已经接线：上次确认时的保存已经生效，没有再次保存。")
            .arg(deviceName);
    }
    if (deviceWired) {
        return QStringLiteral("设备 %1 已在其他工作站接线，没有保存。").arg(deviceName);
    }
    QStringList names;
    for (const auto& [portType, portCode] : takenTerminals) {
        names.append(PortTypeText(portType) + QStringLiteral("端子 ") + QString::number(portCode));
    }
    return QStringLiteral(
               "网关 %1 的%2已被其他工作站占用，没有保存。"
               "这些参数已退回待接线，请重新选择端子。")
        .arg(gatewayCode)
        .arg(names.join(QStringLiteral("、")));
}

QList<QPair<int, int>> readGatewayTerminals(db::Database& db, int gatewayCode) {
    QList<QPair<int, int>> terminals;
    db::Query query(db);
    query.setSql(gatewayTerminalsStatement(gatewayCode));
    query.open();
    for (; !query.eof(); query.next()) {
        terminals.append(
            {query.integer(QStringLiteral("PORTTYPE")), query.integer(QStringLiteral("PORTCODE"))});
    }
    query.close();
    return terminals;
}

namespace {

// One log row a terminal: what it was wired to, gone (`removed`) or new.
LoggedChange terminalChange(const QString& action, const WiringRow& row, bool removed) {
    const QString wired = changeTexts({QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
                                       QStringLiteral("DEVICEPARAM"), QStringLiteral("DESCRIPT")},
                                      {}, {row.deviceType, row.deviceCode, row.param, row.descript})
                              .after;
    return {funcCode::kGatewayWiring,
            action,
            QStringLiteral("NGCONFIG"),
            QStringLiteral("NGTYPE=24,NGCODE=%1,PORTTYPE=%2,PORTCODE=%3")
                .arg(row.gatewayCode)
                .arg(row.portType)
                .arg(row.portCode),
            removed ? wired : QString(),
            removed ? QString() : wired};
}

QVector<WiringRow> deviceWiring(db::Database& db, int gatewayCode, int deviceType, int deviceCode) {
    QVector<WiringRow> rows;
    db.forEachRow(
        QStringLiteral("select NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, DEVICEPARAM, "
                       "DESCRIPT from NGCONFIG where NGCODE=%1 and DEVICETYPE=%2 and "
                       "DEVICECODE=%3 order by PORTTYPE, PORTCODE")
            .arg(gatewayCode)
            .arg(deviceType)
            .arg(deviceCode),
        {}, [&](const QVariantList& v) {
            rows.append({v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt(), v[4].toInt(),
                         v[5].toInt(), v[6].toString()});
        });
    return rows;
}

}  // namespace

WiringConflicts storeWiring(db::Database& db, const WiringClaim& claim) {
    LoggedTransaction transaction(db);
    lockParties(db, claim);
    WiringConflicts conflicts = conflictsOf(db, claim);
    if (conflicts.any()) {
        return conflicts;
    }
    for (const TConnectParam& param : claim.params) {
        if (param.PortCode != 0) {
            const WiringRow row{claim.gatewayCode, param.PortType, param.PortCode, claim.deviceType,
                                claim.deviceCode,  param.Param,    param.Text};
            db.execute(insertWiringStatement(row));
            transaction.log(terminalChange(QStringLiteral("接线"), row, false));
        }
    }
    db.execute(markDeviceWiredStatement(claim.deviceType, claim.deviceCode));
    transaction.commit();
    return conflicts;
}

void removeDeviceWiring(db::Database& db, int gatewayCode, int deviceType, int deviceCode) {
    // Both or neither: wiring rows gone with the device still marked wired would leave it
    // offered nowhere. A device wired on a second gateway (possible before saves were checked)
    // keeps its mark while rows of it remain there.
    LoggedTransaction transaction(db);
    for (const WiringRow& row : deviceWiring(db, gatewayCode, deviceType, deviceCode)) {
        transaction.log(terminalChange(QStringLiteral("断开"), row, true));
    }
    db.execute(deleteDeviceWiringStatement(gatewayCode, deviceType, deviceCode));
    if (countOf(db, deviceWiringCountStatement(deviceType, deviceCode)) == 0) {
        db.execute(freeDeviceStatement(deviceType, deviceCode));
    }
    transaction.commit();
}

}  // namespace tunnel::data
