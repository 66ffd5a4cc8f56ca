#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace tunnel::data {

// The sixteen values the device editor writes, in the order of its statements.
struct DeviceRecord {
    QString deviceType;  // the code of the chosen type item, spliced as it stands
    int deviceCode = 1;
    int position = 1;
    int kilometres = 1;
    int metres = 1;
    int status = 1;
    int cycle = 60;
    QString areaCode = QStringLiteral("0");  // the code of the chosen area item, or "0"
    int video = 1;
    QString physics;
    QString beginPos;
    QString endPos;
    int side = 0;
    int commType = 0;
    QString commData;
    int protocol = 0;
};

QString insertDeviceStatement(const DeviceRecord& device);
// The where clause names the key the editor was given, so a changed type or number re-keys.
QString updateDeviceStatement(const DeviceRecord& device, int keyType, int keyCode);
QString selectDeviceStatement(int keyType, int keyCode);
QString deleteDeviceStatement(int deviceType, int deviceCode);

// How a device is reached: COMMTYPE, COMMDATA (not written for a gateway device, whose wiring
// flag it holds) and PROTOCOL.
struct ConnectionSetting {
    int commType = 0;
    QString commData;
    int protocol = 0;
};

QString selectConnectionStatement(int keyType, int keyCode);
QString updateConnectionStatement(const ConnectionSetting& setting, int keyType, int keyCode);

// Serial line settings as the connection window shows them; the parity is the list's text.
struct SerialSettings {
    QString port;
    QString baud;
    QString dataBits;
    QString parity;
    QString stopBits;
};

// "port;baud,data,parity letter,stop", e.g. 1;9600,8,N,1 (texts trimmed, not validated).
QString serialSettingsText(const SerialSettings& settings);
// Reads the text back; an empty piece ends the reading, pieces after the fourth are ignored.
SerialSettings parseSerialSettings(const QString& commData);

// A message sign's properties as the sign window edits them.
struct SignProperties {
    int mounting = 0;
    int width = 1;
    int height = 1;
    int pictureSize = 0;
    QList<int> colours;  // 1 to 8
    QList<int> fonts;    // 1 to 5
    QStringList sizes;   // "16", "24", "32", "48"
};

QString selectSignStatement(int deviceCode);
QString updateSignStatement(const SignProperties& sign, int deviceCode);
// The sign's values for int1 to int4 and char1 to char3, as the statement writes them.
QVariantList signColumnValues(const SignProperties& sign);

// "DEVICETYPE=t and DEVICECODE=c": one device, in a where clause.
QString deviceWhere(int deviceType, int deviceCode);
// Checked entries in ascending order, joined by "," (the empty text for none).
QString entryList(const QStringList& entries);

}  // namespace tunnel::data
