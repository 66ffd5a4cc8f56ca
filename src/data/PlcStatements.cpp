#include "data/PlcStatements.h"

#include "platform/db/SqlLiteral.h"

namespace tunnel::data {

QStringList plcGridStatement(PlcWords words) {
    return {QStringLiteral("SELECT PLCCONFIG.PLCCODE, RegisterTYPE= case "),
            words == PlcWords::Registers
                ? QStringLiteral("registerType when 1 then 'v' when 2 then 'i' end , ")
                : QStringLiteral("registerType when 1 then 'IO输出' when 2 then 'IO输入' when 4 "
                                 "then '串行接入'  end , "),
            QStringLiteral("PLCCONFIG.RegisterCODE, "),
            QStringLiteral("      PLCCONFIG.RegisterBIT, DEVICETYPE.TYPENAME, "),
            QStringLiteral("PLCCONFIG.DEVICECODE, "),
            QStringLiteral("      PLCCONFIG.DESCRIPT"),
            QStringLiteral("FROM PLCCONFIG INNER JOIN"),
            QStringLiteral("      DEVICETYPE ON PLCCONFIG.DEVICETYPE = "),
            QStringLiteral("DEVICETYPE.TYPECODE")};
}

QString plcListStatement() {
    return QStringLiteral("select deviceCode from Device where deviceType=27");
}

QString plcDeviceTypesStatement() {
    return QStringLiteral(
        "select TYPENAME,TypeCode from DEviceType where Typecode in (select distinct devicetype "
        "from device where commtype=4)");
}

QString plcDevicesStatement(const QString& typeCode, bool reachedByPlcOnly) {
    QString sql = QStringLiteral("select devicecode from DEvice where devicetype=") + typeCode;
    if (reachedByPlcOnly) {
        sql += QStringLiteral(" and ") + QStringLiteral("commtype=4");
    }
    return sql;
}

QString plcParamsStatement(const QString& typeCode, int portType) {
    return QStringLiteral("select param,descript from ngdeviceparam where devicetype=") + typeCode +
           QStringLiteral(" and Porttype=") + QString::number(portType);
}

QString insertPlcMappingStatement(const PlcMapping& m) {
    return QStringLiteral(
               "INSERT INTO PLCCONFIG  (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, "
               "RegisterBIT, DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES ( 27,") +
           m.plc + u',' + QString::number(m.registerType) + u',' + m.registerCode + u',' +
           m.registerBit + u',' + m.deviceType + u',' + m.deviceCode + u',' + m.param + u',' +
           db::sqlQuote(m.descript) + u')';
}

QString deletePlcMappingStatement(const QString& plc, int registerType, const QString& registerCode,
                                  const QString& registerBit) {
    return QStringLiteral("DELETE FROM PLCCONFIG   WHERE (PLCCODE = ") + plc +
           QStringLiteral(") AND (RegisterTYPE = ") + QString::number(registerType) +
           QStringLiteral(")") + QStringLiteral(" AND (RegisterCODE = ") + registerCode +
           QStringLiteral(") AND      (RegisterBIT = ") + registerBit + QStringLiteral(")");
}

QString usedBitsStatement(const QString& plc, int registerType, const QString& registerCode) {
    return QStringLiteral("select registerbit from plcconfig where Plccode=") + plc +
           QStringLiteral(" and ") + QStringLiteral("registertype=") +
           QString::number(registerType) + QStringLiteral(" and ") +
           QStringLiteral("registercode=") + registerCode;
}

QString markPlcDeviceStatement(const QString& deviceType, const QString& deviceCode) {
    return QStringLiteral("update device set commdata=1 where devicetype=") + deviceType +
           QStringLiteral(" and ") + QStringLiteral("devicecode=") + deviceCode;
}

}  // namespace tunnel::data
