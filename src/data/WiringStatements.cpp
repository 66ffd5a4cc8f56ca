#include "data/WiringStatements.h"

#include "platform/db/SqlLiteral.h"

namespace tunnel::data {

QString gatewayListStatement(std::optional<int> areaCode) {
    QString sql = QStringLiteral("select * from DEVICE  where DEVICETYPE=24");
    if (areaCode) {
        sql += QStringLiteral(" and AREACODE=") + QString::number(*areaCode);
    }
    return sql;
}

QString gatewayWiringStatement(int gatewayType, int gatewayCode) {
    return QStringLiteral("select * from NGCONFIG where NGTYPE=%1 and NGCODE=%2")
        .arg(gatewayType)
        .arg(gatewayCode);
}

QString deleteDeviceWiringStatement(int gatewayCode, int deviceType, int deviceCode) {
    return QStringLiteral("delete from ") + QStringLiteral("NGCONFIG") +
           QStringLiteral(" where NGCODE=") + QString::number(gatewayCode) +
           QStringLiteral(" and DEVICETYPE=") + QString::number(deviceType) +
           QStringLiteral(" and DEVICECODE=") + QString::number(deviceCode);
}

QString freeDeviceStatement(int deviceType, int deviceCode) {
    return QStringLiteral("update DEVICE set COMMDATA='0'") + QStringLiteral(" where DEVICETYPE=") +
           QString::number(deviceType) + QStringLiteral(" and DEVICECODE=") +
           QString::number(deviceCode);
}

QString deviceWiringCountStatement(int deviceType, int deviceCode) {
    return QStringLiteral(
               "select count(*) AS N from NGCONFIG where DEVICETYPE=%1 and DEVICECODE=%2")
        .arg(deviceType)
        .arg(deviceCode);
}

QString deviceCommDataStatement(int deviceType, int deviceCode) {
    return QStringLiteral("select COMMDATA from DEVICE where DEVICETYPE=%1 and DEVICECODE=%2")
        .arg(deviceType)
        .arg(deviceCode);
}

QString wiringCatalogueStatement() {
    return QStringLiteral("SELECT * FROM NGDEVICEPARAM order by DEVICETYPE, PARAM");
}

QString gatewayTerminalsStatement(int gatewayCode) {
    return QStringLiteral("select * from ") + QStringLiteral("NGCONFIG") +
           QStringLiteral(" where NGCODE=") + QString::number(gatewayCode);
}

QString freeDevicesStatement() {
    return QStringLiteral("select * from DEVICE where COMMTYPE=3 and COMMDATA<>'1'");
}

QString insertWiringStatement(const WiringRow& row) {
    return QStringLiteral("insert into ") + QStringLiteral("NGCONFIG") +
           QStringLiteral(
               "(NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
               "DEVICEPARAM, DESCRIPT) values(24,") +
           QString::number(row.gatewayCode) + u',' + QString::number(row.portType) + u',' +
           QString::number(row.portCode) + u',' + QString::number(row.deviceType) + u',' +
           QString::number(row.deviceCode) + u',' + QString::number(row.param) + u',' +
           db::sqlQuote(row.descript) + u')';
}

QString markDeviceWiredStatement(int deviceType, int deviceCode) {
    return QStringLiteral("update DEVICE set COMMDATA='1' where DEVICETYPE=") +
           QString::number(deviceType) + QStringLiteral(" and DEVICECODE=") +
           QString::number(deviceCode);
}

}  // namespace tunnel::data
