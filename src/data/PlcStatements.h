#pragma once

#include <QString>
#include <QStringList>

namespace tunnel::data {

// The PLC mapping grid's statement, nine lines; the Omron window names its terminal types in
// the second line.
enum class PlcWords { Registers, OmronTerminals };
QStringList plcGridStatement(PlcWords words);

QString plcListStatement();
// Device types with at least one device reached through a PLC.
QString plcDeviceTypesStatement();
// The devices of a type (type code spliced as the item gave it); `reachedByPlcOnly` keeps
// those whose COMMTYPE is 4.
QString plcDevicesStatement(const QString& typeCode, bool reachedByPlcOnly);
QString plcParamsStatement(const QString& typeCode, int portType);

// One mapping as the windows compose it: the lists' texts spliced as they stand, the
// description quoted for SQL.
struct PlcMapping {
    QString plc;
    int registerType = 0;
    QString registerCode;
    QString registerBit;
    QString deviceType;
    QString deviceCode;
    QString param;
    QString descript;
};
QString insertPlcMappingStatement(const PlcMapping& mapping);
QString deletePlcMappingStatement(const QString& plc, int registerType, const QString& registerCode,
                                  const QString& registerBit);
QString usedBitsStatement(const QString& plc, int registerType, const QString& registerCode);
QString markPlcDeviceStatement(const QString& deviceType, const QString& deviceCode);

}  // namespace tunnel::data
